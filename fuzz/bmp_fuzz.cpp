// A BMP file from outside through the bitmap class, then drawn and saved.
#include <cstddef>
#include <cstdint>

#include "core/exceptions.h"
#include "core/stream.h"
#include "gfx/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  orn::TBitmap Bitmap;
  try {
    orn::TMemoryStream In;
    In.WriteBuffer(Data, static_cast<int64_t>(Size));
    In.SetPosition(0);
    Bitmap.LoadFromStream(In);
  } catch (const orn::Exception&) {
    return 0;
  }
  try {
    orn::TMemoryStream Out;
    Bitmap.SaveToStream(Out);
    if (!Bitmap.Empty()) {
      orn::TBitmap Target;
      Target.SetSize(16, 16);
      Target.Canvas().StretchDraw(orn::Rect(0, 0, 16, 16), &Bitmap);
    }
  } catch (const orn::Exception&) {
  }
  return 0;
}
