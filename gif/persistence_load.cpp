// Loading images from component streams, plain streams and the clipboard, and the codec's
// registration with the class registry and the picture framework.
#include <mutex>

#include "core/classregistry.h"
#include "core/exceptions.h"
#include "gfx/picture.h"
#include "gif/gif_image.h"

namespace orn {

namespace {

std::mutex GRegistrationLock;
bool GRegistered = false;

// A plain read of the 32-bit little-endian length that precedes a stored GIF stream; missing
// bytes read as 0.
int64_t ReadLength(TStream& Stream) {
  uint8_t B[4] = {};
  Stream.Read(B, 4);
  const uint32_t N = static_cast<uint32_t>(B[0]) | (static_cast<uint32_t>(B[1]) << 8) |
                     (static_cast<uint32_t>(B[2]) << 16) | (static_cast<uint32_t>(B[3]) << 24);
  return static_cast<int32_t>(N);  // a length above 2^31 - 1 counts as negative: no data
}

}  // namespace

void InitializeGIFCodec() {
  std::lock_guard<std::mutex> Guard(GRegistrationLock);
  if (GRegistered) return;
  GRegistered = true;
  GIFClipboardFormat = SystemServices().RegisterClipboardFormat("GIF Image");
  RegisterClasses({ClassEntry<TGIFFrame>("TGIFFrame"), ClassEntry<TGIFImage>("TGIFImage")});
  TPicture::RegisterFileFormat("gif", SGIFImageDescription,
                               MakeGraphicClass<TGIFImage>("TGIFImage"));
  TPicture::RegisterClipboardFormat(GIFClipboardFormat, MakeGraphicClass<TGIFImage>("TGIFImage"));
}

void FinalizeGIFCodec() {
  std::lock_guard<std::mutex> Guard(GRegistrationLock);
  if (!GRegistered) return;
  GRegistered = false;
  TPicture::UnregisterGraphicClass("TGIFImage");
}

void TGIFImage::ReadData(TStream& Stream) {
  const int64_t Size = ReadLength(Stream);
  LoadGIFData(Size, Stream, true);
}

void TGIFImage::LoadFromStream(TStream& Stream) {
  // A stream or file with nothing left is no picture at all (a stored "Data" property of
  // length 0 is the way to keep an empty image).
  const int64_t Size = Stream.Size() - Stream.Position();
  if (Size <= 0) {
    ResetToEmpty();
    RaiseGIFFailure(SGIFReadError);
  }
  LoadGIFData(Size, Stream, true);
}

void TGIFImage::LoadFromClipboardFormat(TClipboardFormat Format, const std::vector<uint8_t>& Data,
                                        HPALETTE Palette) {
  TSystemServices& Services = SystemServices();
  std::optional<std::vector<uint8_t>> Block;
  std::optional<std::vector<uint8_t>> Bitmap;
  Services.OpenClipboard();
  try {
    if (GIFClipboardFormat != 0) Block = Services.GetClipboardData(GIFClipboardFormat);
    if (Block) Bitmap = Services.GetClipboardData(CF_BITMAP);
  } catch (...) {
    Services.CloseClipboard();
    throw;
  }
  Services.CloseClipboard();

  if (Block) {
    TMemoryStream Copy;
    if (!Block->empty()) Copy.WriteBuffer(Block->data(), static_cast<int64_t>(Block->size()));
    Copy.SetPosition(0);
    const int64_t Size = ReadLength(Copy);
    LoadGIFData(Size, Copy, false);
    if (FrameCount() > 0) {
      FCurrentIndex = 0;
      if (Bitmap) {
        // Frame 0 shows the clipboard's bitmap and need not be decoded.
        TGIFFrame* First = Frames(0);
        First->ReplaceBitmap();
        First->FFrameBitmap->LoadFromClipboardFormat(CF_BITMAP, *Bitmap, Palette);
      }
    }
  } else {
    TBitmap Temp;
    Temp.LoadFromClipboardFormat(Format, Data, Palette);
    Assign(&Temp);
  }
}

}  // namespace orn
