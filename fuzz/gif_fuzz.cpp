// GIF bytes from outside: load, decode every frame, save again. Any outcome but a documented
// exception is a fault.
#include <cstddef>
#include <cstdint>

#include "core/exceptions.h"
#include "core/stream.h"
#include "gif/gif_image.h"

using orn::TGIFExtent;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static bool Initialised = (orn::InitializeGIFCodec(), true);
  (void)Initialised;
  orn::TGIFImage Image;
  try {
    orn::TMemoryStream In;
    In.WriteBuffer(Data, static_cast<int64_t>(Size));
    In.SetPosition(0);
    // Frames are decoded below, the ones of a fitting size only, so not while loading.
    Image.LoadGIFData(static_cast<int64_t>(Size), In, false);
  } catch (const orn::Exception&) {
    return 0;
  }
  // Frames up to 2^26 pixels are legitimate and take time in proportion to their size; the
  // fuzzer looks for faults, not for large pictures, so it decodes only the smaller ones, and
  // saves (which measures, and so decodes, every frame) only when all of them are small.
  bool AllSmall = true;
  for (int I = 0; I < Image.FrameCount(); ++I) {
    const TGIFExtent& E = Image.Frames(I)->Item()->FExtent;
    if (int64_t{E.Width} * E.Height > (int64_t{1} << 22)) {
      AllSmall = false;
      continue;
    }
    try {
      Image.Frames(I)->DecodedBitmap();
    } catch (const orn::Exception&) {
    }
  }
  if (!AllSmall) return 0;
  try {
    orn::TMemoryStream Out;
    Image.SaveToStream(Out);
  } catch (const orn::Exception&) {
  }
  return 0;
}
