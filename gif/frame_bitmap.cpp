// Turning a frame's encoded data into an indexed bitmap, and drawing frames and images.
#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

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

// Outside data may declare frames of up to 65535 x 65535; refuse before allocating.
void CheckFrameSize(int W, int H) {
  if (static_cast<int64_t>(W) * H > MaxGIFFramePixels)
    throw EInvalidGraphicOperation("GIF frame too large: " + std::to_string(W) + " x " +
                                   std::to_string(H) + " pixels");
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
  CheckFrameSize(W, H);

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
  TLZWResult Result;
  try {
    Result = DecodeLZW(Code, TLZWFrame{W, H, Depth, PixelBits, FIsInterlaced},
                       TLZWOptions{GIFLenientLoading, Sink ? &Sink : nullptr}, Rows);
  } catch (...) {
    Stream.SetSize(BitsOffset);
    Stream.SetPosition(0);
    throw;
  }
  FDataCorrupt = FDataCorrupt || Result.DataCorrupt;
  Stream.SetPosition(0);
}

TBitmap* TGIFFrame::DecodedBitmap() {
  if (FFrameBitmap && !FFrameBitmap->Empty()) {
    NoteBitmapUsed();
    return FFrameBitmap.get();
  }
  ReplaceBitmap();
  if (!FItem->FCodeStream) return FFrameBitmap.get();
  try {
    const int PixelBits = FItem->FPixelBits;
    const int Depth = DepthForPixelBits(PixelBits);
    const int W = FItem->FExtent.Width, H = FItem->FExtent.Height;
    const bool Progress = FOwnerImage && FOwnerImage->OnProgress;
    if (Depth == 1 || W <= 0 || H <= 0 || Progress) {
      // Through the BMP file: a 1-bit frame stays a device-independent bitmap, and the
      // step-by-step decoder reports progress.
      TMemoryStream File;
      BuildDIBStream(File);
      FFrameBitmap->LoadFromStream(File);
      if (!FFrameBitmap->Monochrome()) FFrameBitmap->SetHandleType(TBitmapHandleType::bmDDB);
    } else {
      // The display's 32-bit form decoded straight from the code data through the colour
      // table: the same pixels and palette as loading the BMP file and converting it.
      CheckFrameSize(W, H);
      uint8_t Quads[1024];
      PaletteToQuads(FItem->FFrameTable, Quads);
      uint32_t Colors[256];
      for (int C = 0; C < 256; ++C)
        Colors[C] = static_cast<uint32_t>(Quads[4 * C]) |
                    (static_cast<uint32_t>(Quads[4 * C + 1]) << 8) |
                    (static_cast<uint32_t>(Quads[4 * C + 2]) << 16);
      std::vector<TPaletteEntry> Entries(size_t{1} << Depth);
      for (size_t C = 0; C < Entries.size(); ++C)
        Entries[C] = TPaletteEntry{Quads[4 * C + 2], Quads[4 * C + 1], Quads[4 * C], 0};
      HBITMAP Handle = CreateBitmap(W, H, 1, 32);
      TLZWResult Result;
      try {
        const TMemoryStream& Code = *FItem->FCodeStream;
        Result =
            DecodeLZWToColors(std::span<const uint8_t>(Code.Memory(), Code.Bytes().size()),
                              TLZWFrame{W, H, Depth, PixelBits, FIsInterlaced}, GIFLenientLoading,
                              Colors, reinterpret_cast<uint32_t*>(Handle->Dib.Bits.data()));
      } catch (...) {
        DeleteObject(Handle);
        throw;
      }
      FDataCorrupt = FDataCorrupt || Result.DataCorrupt;
      FFrameBitmap->SetHandle(Handle);
      FFrameBitmap->SetPalette(CreatePalette(Entries));
    }
  } catch (...) {
    ReplaceBitmap();  // the next request decodes again
    throw;
  }
  NoteBitmapDecoded();
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
