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

void PutWord(uint8_t* P, uint32_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
}

void PutDWord(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
}

// One 32-bit pixel: blue, green, red, 0.
inline void ExpandPixel(uint8_t* P, uint32_t Value) {
  P[0] = static_cast<uint8_t>(Value);
  P[1] = static_cast<uint8_t>(Value >> 8);
  P[2] = static_cast<uint8_t>(Value >> 16);
  P[3] = 0;
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
    const uint8_t* Bmp = File.Memory();
    const int Depth = Bmp[28];
    const int W = FItem->FExtent.Width, H = FItem->FExtent.Height;
    if (Depth == 1 || W <= 0 || H <= 0) {
      FFrameBitmap->LoadFromStream(File);
      if (!FFrameBitmap->Monochrome()) FFrameBitmap->SetHandleType(TBitmapHandleType::bmDDB);
    } else {
      // The display's 32-bit form made straight from the file's rows and colour table, in
      // one pass: the same pixels and palette as loading the file and converting it.
      const int Colors = 1 << Depth;
      const uint8_t* Quads = Bmp + 54;
      const uint8_t* Src = Quads + 4 * Colors;
      const int64_t Stride = DIBStride(W, Depth);
      uint32_t Lut[256];
      std::vector<TPaletteEntry> Entries(static_cast<size_t>(Colors));
      for (int C = 0; C < Colors; ++C) {
        Lut[C] = static_cast<uint32_t>(Quads[4 * C]) |
                 (static_cast<uint32_t>(Quads[4 * C + 1]) << 8) |
                 (static_cast<uint32_t>(Quads[4 * C + 2]) << 16);
        Entries[static_cast<size_t>(C)] =
            TPaletteEntry{Quads[4 * C + 2], Quads[4 * C + 1], Quads[4 * C], 0};
      }
      HBITMAP Handle = CreateBitmap(W, H, 1, 32);
      try {
        uint8_t* Dest = Handle->Dib.Bits.data();
        const int64_t DestStride = Handle->Dib.Stride();
        for (int Row = 0; Row < H; ++Row) {  // both are stored bottom-up
          const uint8_t* S = Src + Row * Stride;
          uint8_t* D = Dest + Row * DestStride;
          if (Depth == 8) {
            for (int X = 0; X < W; ++X) ExpandPixel(D + 4 * X, Lut[S[X]]);
          } else {
            for (int X = 0; X < W; ++X)
              ExpandPixel(D + 4 * X, Lut[(X & 1) ? (S[X >> 1] & 15) : (S[X >> 1] >> 4)]);
          }
        }
      } catch (...) {
        DeleteObject(Handle);
        throw;
      }
      FFrameBitmap->SetHandle(Handle);
      FFrameBitmap->SetPalette(CreatePalette(Entries));
    }
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
