// PNG bytes from outside, as giftool's encode reads them: any outcome but the reader's
// exception is a fault, and the size limit holds before anything is allocated.
#include <cstddef>
#include <cstdint>

#include "core/exceptions.h"
#include "tools/png_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    const orn::tools::TRgbaImage Image =
        orn::tools::ReadPngFromMemory(Data, Size, int64_t{1} << 22);
    if (Image.Pixels.size() != static_cast<size_t>(Image.Width) * Image.Height * 4)
      __builtin_trap();
  } catch (const orn::Exception&) {
  }
  return 0;
}
