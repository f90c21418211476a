// Saving images to component streams ("Data") and offering them on the clipboard.
#include <new>

#include "core/exceptions.h"
#include "gif/gif_image.h"

namespace orn {

void TGIFImage::WriteData(TStream& Stream) {
  SaveGIFStream(Stream, true);
}

void TGIFImage::SaveToClipboardFormat(TClipboardFormat& Format, std::vector<uint8_t>& Data,
                                      HPALETTE& Palette) {
  if (FrameCount() == 0) return;
  // The first frame as a bitmap, for every program that reads bitmaps.
  Frames(0)->DecodedBitmap()->SaveToClipboardFormat(Format, Data, Palette);
  // The GIF itself only when every frame has code data; a frame made from a bitmap and not
  // yet encoded is offered as the bitmap alone.
  for (auto& F : FFrames)
    if (!F->FItem->FCodeStream || F->FItem->FCodeStream->Size() == 0) return;

  TMemoryStream Gif;
  SaveGIFStream(Gif, true);
  std::vector<uint8_t> Block;
  try {
    Block.assign(Gif.Memory(), Gif.Memory() + Gif.Size());
  } catch (const std::bad_alloc&) {
    return;  // no memory for the clipboard block: only the bitmap is offered
  }
  SystemServices().SetClipboardData(GIFClipboardFormat, std::move(Block));
}

}  // namespace orn
