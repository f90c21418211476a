// A BMP file from outside through the bitmap class, then drawn and saved.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/exceptions.h"
#include "core/stream.h"
#include "gfx/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // Pictures up to the reader's own limits are legitimate and take time in proportion to their
  // size; the fuzzer looks for faults, so it skips files that declare more than 2^22 pixels.
  if (Size >= 26) {
    auto Le32 = [&](size_t At) {
      return static_cast<int32_t>(Data[At] | (Data[At + 1] << 8) | (Data[At + 2] << 16) |
                                  (static_cast<uint32_t>(Data[At + 3]) << 24));
    };
    const int64_t W = std::abs(int64_t{Le32(18)}), H = std::abs(int64_t{Le32(22)});
    if (W * H > (int64_t{1} << 22)) return 0;
  }
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
