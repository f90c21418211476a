// Turning a frame's encoded data into an indexed bitmap, and drawing frames and images.
#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "core/exceptions.h"
#include "gfx/masked_draw.h"
#include "gif/gif_image.h"
#include "gif/lzw_decoder.h"

namespace orn {

namespace {

// Bitmap depth for a frame's bits per pixel: 1 stays 1, 2..4 become 4, 5..8 become 8.
int DepthForPixelBits(int PixelBits) {
  if (PixelBits == 1) return 1;
  if (PixelBits >= 2 && PixelBits <= 4) return 4;
  if (PixelBits >= 5 && PixelBits <= 8) return 8;
  RaiseGIFFailure(SGIFColorCount);
}

void PutWord(uint8_t* P, uint32_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
}

void PutDWord(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
}

TProgressStage StageOf(TDecodeStage Stage) {
  switch (Stage) {
    case TDecodeStage::dsStarting:
      return TProgressStage::psStarting;
    case TDecodeStage::dsRunning:
      return TProgressStage::psRunning;
    case TDecodeStage::dsEnding:
      break;
  }
  return TProgressStage::psEnding;
}

}  // namespace

void PaletteToQuads(const TGIFPaletteRec& Table, uint8_t (&Quads)[1024]) {
  std::memset(Quads, 128, sizeof Quads);
  const int Count = std::clamp(Table.EntryCount, 0, 256);
  for (int I = 0; I < Count; ++I) {
    Quads[4 * I] = Table.Entries[I].Blue;
    Quads[4 * I + 1] = Table.Entries[I].Green;
    Quads[4 * I + 2] = Table.Entries[I].Red;
    Quads[4 * I + 3] = 0;
  }
}

void TGIFFrame::BuildDIBStream(TMemoryStream& Stream) {
  const int PixelBits = FItem->FPixelBits;
  const int Depth = DepthForPixelBits(PixelBits);
  const int W = std::max(0, FItem->FExtent.Width);
  const int H = std::max(0, FItem->FExtent.Height);
  // Outside data may declare frames of up to 65535 x 65535; refuse before allocating.
  if (static_cast<int64_t>(W) * H > MaxGIFFramePixels)
    throw EInvalidGraphicOperation("GIF frame too large: " + std::to_string(W) + " x " +
                                   std::to_string(H) + " pixels");

  const int64_t Stride = DIBStride(W, Depth);
  const int64_t ImageSize = Stride * H;
  const int64_t Colors = int64_t{1} << Depth;
  const int64_t BitsOffset = 54 + 4 * Colors;

  Stream.Clear();
  uint8_t Header[54] = {};
  Header[0] = 'B';
  Header[1] = 'M';
  PutDWord(Header + 2, static_cast<uint32_t>(BitsOffset + ImageSize));
  PutDWord(Header + 10, static_cast<uint32_t>(BitsOffset));
  PutDWord(Header + 14, 40);
  PutDWord(Header + 18, static_cast<uint32_t>(W));
  PutDWord(Header + 22, static_cast<uint32_t>(H));
  PutWord(Header + 26, 1);
  PutWord(Header + 28, static_cast<uint32_t>(Depth));
  PutDWord(Header + 34, static_cast<uint32_t>(ImageSize));
  Stream.WriteBuffer(Header, sizeof Header);
  uint8_t Quads[1024];
  PaletteToQuads(FItem->FFrameTable, Quads);
  Stream.WriteBuffer(Quads, 4 * Colors);

  // The rows are decoded straight into the zero-filled pixel area of the file.
  Stream.SetSize(BitsOffset + ImageSize);
  std::span<uint8_t> Rows(Stream.Memory() + BitsOffset, static_cast<size_t>(ImageSize));
  bool Damaged = false;
  TDecodeProgress Sink;
  if (FOwnerImage && FOwnerImage->OnProgress) {
    TGIFImage* Image = FOwnerImage;
    Sink = [Image](TDecodeStage Stage, int Percent, const std::string& Message) {
      Image->Progress(Image, StageOf(Stage), static_cast<uint8_t>(Percent), false,
                      TRect{0, 0, 0, 0}, Message);
    };
  }
  TMemoryStream Empty;
  TMemoryStream& Code = FItem->FCodeStream ? *FItem->FCodeStream : Empty;
  Code.SetPosition(0);
  try {
    DecodeLZW(Code, W, H, Depth, FIsInterlaced, Sink ? &Sink : nullptr, Damaged, Rows, PixelBits,
              GIFLenientLoading);
  } catch (...) {
    Stream.SetSize(BitsOffset);
    Stream.SetPosition(0);
    throw;
  }
  FDataCorrupt = FDataCorrupt || Damaged;
  Stream.SetPosition(0);
}

TBitmap* TGIFFrame::DecodedBitmap() {
  if (FFrameBitmap && !FFrameBitmap->Empty()) return FFrameBitmap.get();
  ReplaceBitmap();
  if (!FItem->FCodeStream) return FFrameBitmap.get();
  try {
    TMemoryStream File;
    BuildDIBStream(File);
    FFrameBitmap->LoadFromStream(File);
    if (!FFrameBitmap->Monochrome()) FFrameBitmap->SetHandleType(TBitmapHandleType::bmDDB);
  } catch (...) {
    ReplaceBitmap();  // the next request decodes again
    throw;
  }
  return FFrameBitmap.get();
}

void TGIFFrame::PaintTo(TCanvas& Canvas, const TRect& Rect, bool Transparent) {
  TBitmap* Bitmap = DecodedBitmap();
  if (FKeyColor != clNone && Transparent) {
    DrawBitmapRectMasked(Canvas, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(),
                         TRect{0, 0, Bitmap->Width(), Bitmap->Height()}, *Bitmap, FKeyColor);
  } else {
    Canvas.StretchDraw(Rect, Bitmap);
  }
}

void TGIFImage::Draw(TCanvas& Canvas, const TRect& Rect) {
  if (FCurrentIndex >= 0) Frames(FCurrentIndex)->PaintTo(Canvas, Rect, GetTransparent());
}

TBitmap* TGIFImage::CurrentBitmap() {
  if (!FFrames.empty()) {
    const int I = (FCurrentIndex >= 0 && FCurrentIndex < FrameCount()) ? FCurrentIndex : 0;
    return Frames(I)->DecodedBitmap();
  }
  FCurrentIndex = 0;
  TBitmap Empty;
  Assign(&Empty);
  return Frames(0)->DecodedBitmap();
}

}  // namespace orn
