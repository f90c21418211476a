// GIF bytes from outside: load, decode frames, save again. Any outcome but a documented
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
    // Frames are decoded below, within a pixel budget, so not while loading.
    Image.LoadGIFData(static_cast<int64_t>(Size), In, false);
  } catch (const orn::Exception&) {
    return 0;
  }
  // Decoding takes time in proportion to the pixels, and legitimate frames reach 2^26 pixels;
  // the fuzzer looks for faults, not for large pictures, so it decodes frames in order until
  // their pixels together reach 2^20 (well within the one-second limit per input, also with
  // the sanitizers on a busy machine).
  int64_t Pixels = 0;
  for (int I = 0; I < Image.FrameCount(); ++I) {
    const TGIFExtent& E = Image.Frames(I)->Item()->FExtent;
    Pixels += int64_t{E.Width} * E.Height;
    if (Pixels > (int64_t{1} << 20)) break;
    try {
      Image.Frames(I)->DecodedBitmap();
    } catch (const orn::Exception&) {
    }
  }
  // Saving copies the stored data and decodes nothing, so every loaded picture is saved, and
  // what is written must load again.
  orn::TMemoryStream Out;
  try {
    Image.SaveToStream(Out);
  } catch (const orn::Exception&) {
    return 0;
  }
  orn::TGIFImage Back;
  Out.SetPosition(0);
  Back.LoadGIFData(Out.Size(), Out, false);
  if (Back.FrameCount() != Image.FrameCount()) __builtin_trap();
  return 0;
}
