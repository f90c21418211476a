#include "gfx/bitmap.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>

#include "core/exceptions.h"
#include "core/scope.h"
#include "gfx/guards.h"
#include "gfx/masked_draw.h"

namespace orn {

namespace {

std::atomic<bool> GBitmapDrawLocking{false};

TOwnedPalette CopyPalette(HPALETTE Palette) {
  return TOwnedPalette(Palette ? CreatePalette(Palette->Entries) : nullptr);
}

TColor ShownColor(const TGdiBitmap& B, int X, int Y) {
  if (B.Dib.BitCount == 1 && !B.IsDIB) return B.Dib.Raw(X, Y) ? clWhite : clBlack;
  return B.Dib.PixelColor(X, Y);
}

std::vector<TRGBQuad> DefaultTable(int BitCount) {
  std::vector<TRGBQuad> T;
  if (BitCount == 1) {
    T = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  } else if (BitCount == 4) {
    // The 16 colours of the standard VGA palette.
    const uint8_t V[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                              {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                              {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                              {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (auto& C : V) T.push_back(TRGBQuad{C[2], C[1], C[0], 0});
  } else if (BitCount == 8) {
    // A 6 x 6 x 6 colour cube, then black.
    for (int R = 0; R < 6; ++R)
      for (int G = 0; G < 6; ++G)
        for (int B = 0; B < 6; ++B)
          T.push_back(TRGBQuad{static_cast<uint8_t>(B * 51), static_cast<uint8_t>(G * 51),
                               static_cast<uint8_t>(R * 51), 0});
    T.resize(256);
  }
  return T;
}

void StoreWord(uint8_t* P, uint32_t V) {
  std::memcpy(P, &V, 4);
}

// The 32-bit form of Source's pixels a row at a time: indexed pixels through a table of the
// stored words of every index (unpacked a byte at a time), 24- and 32-bit pixels byte by byte.
void ConvertTo32(const TGdiBitmap& Source, TDib& D) {
  const TDib& S = Source.Dib;
  uint32_t Table[256] = {};
  if (S.BitCount <= 8) {
    const size_t N = size_t{1} << S.BitCount;
    for (size_t I = 0; I < N; ++I) {
      TColor C = clBlack;
      if (S.BitCount == 1 && !Source.IsDIB)
        C = I ? clWhite : clBlack;
      else if (I < S.Colors.size())
        C = RGB(S.Colors[I].rgbRed, S.Colors[I].rgbGreen, S.Colors[I].rgbBlue);
      Table[I] =
          uint32_t{GetBValue(C)} | (uint32_t{GetGValue(C)} << 8) | (uint32_t{GetRValue(C)} << 16);
    }
  }
  const int W = S.Width;
  for (int Y = 0; Y < S.Height; ++Y) {
    const uint8_t* In = S.ScanLine(Y);
    uint8_t* Out = D.ScanLine(Y);
    switch (S.BitCount) {
      case 8:
        for (int X = 0; X < W; ++X) StoreWord(Out + X * 4, Table[In[X]]);
        break;
      case 4: {
        int X = 0;
        for (; X + 2 <= W; X += 2) {
          const uint8_t B = In[X >> 1];
          StoreWord(Out + X * 4, Table[B >> 4]);
          StoreWord(Out + X * 4 + 4, Table[B & 0x0F]);
        }
        if (X < W) StoreWord(Out + X * 4, Table[In[X >> 1] >> 4]);
        break;
      }
      case 1: {
        int X = 0;
        for (; X + 8 <= W; X += 8) {
          const uint8_t B = In[X >> 3];
          for (int K = 0; K < 8; ++K) StoreWord(Out + (X + K) * 4, Table[(B >> (7 - K)) & 1]);
        }
        for (; X < W; ++X) StoreWord(Out + X * 4, Table[(In[X >> 3] >> (7 - (X & 7))) & 1]);
        break;
      }
      default: {
        const int Bytes = S.BitCount / 8;
        for (int X = 0; X < W; ++X) {
          const uint8_t* P = In + X * Bytes;
          StoreWord(Out + X * 4, uint32_t{P[0]} | (uint32_t{P[1]} << 8) | (uint32_t{P[2]} << 16));
        }
        break;
      }
    }
  }
}

// The pixels of Source, as Source shows them, in a picture of BitCount bits per pixel; an
// indexed result keeps Source's colour table when it has one of that depth.
TDib Convert(const TGdiBitmap& Source, int BitCount) {
  const TDib& S = Source.Dib;
  TDib D(S.Width, S.Height, BitCount);
  if (BitCount == 32) {
    ConvertTo32(Source, D);
    return D;
  }
  if (BitCount <= 8) {
    D.Colors = (S.BitCount == BitCount && Source.IsDIB) ? S.Colors : DefaultTable(BitCount);
    D.Colors.resize(size_t{1} << BitCount);
  }
  for (int Y = 0; Y < S.Height; ++Y)
    for (int X = 0; X < S.Width; ++X) {
      TColor C = ShownColor(Source, X, Y);
      D.SetRaw(X, Y, BitCount > 8 ? C : static_cast<uint32_t>(D.NearestIndex(C)));
    }
  return D;
}

}  // namespace

void SetBitmapDrawLocking(bool On) {
  GBitmapDrawLocking.store(On);
}
bool BitmapDrawLocking() {
  return GBitmapDrawLocking.load();
}

// ---- Shared pixels -----------------------------------------------------------------------------

TBitmapImage::~TBitmapImage() {
  FreeHandle();
}

void TBitmapImage::FreeHandle() {
  DeleteObject(FHandle);
  FHandle = nullptr;
  DeleteObject(FPalette);
  FPalette = nullptr;
}

// ---- The bitmap's canvas -----------------------------------------------------------------------

class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* Bitmap) : FBitmap(Bitmap) {}
  ~TBitmapCanvas() override { FreeContext(); }

  void FreeContext() {
    if (!FHandle) return;
    DeleteDC(FHandle);
    FHandle = nullptr;
  }

 protected:
  void CreateHandle() override {
    HDC Dc = CreateCompatibleDC(nullptr);
    if (HBITMAP B = FBitmap->FImage->FHandle) SelectObject(Dc, B);
    if (HPALETTE P = FBitmap->GetPalette()) {
      SelectPalette(Dc, P, true);
      RealizePalette(Dc);
    }
    FHandle = Dc;
  }

 private:
  TBitmap* FBitmap;
};

// ---- TBitmap
// -------------------------------------------------------------------------------------

TBitmap::TBitmap() {
  FImage = new TBitmapImage;
  FImage->Reference();
}

TBitmap::~TBitmap() {
  FCanvas.reset();
  FImage->Release();
}

void TBitmap::DetachCanvas() {
  if (FCanvas) static_cast<TBitmapCanvas*>(FCanvas.get())->FreeContext();
}

void TBitmap::NewImage(TOwnedBitmap Handle, TOwnedPalette Palette) {
  DetachCanvas();
  FEmptyWidth = 0;
  FEmptyHeight = 0;
  auto* Image = new TBitmapImage;
  Image->FHandle = Handle.release();
  Image->FPalette = Palette.release();
  ReplaceSharedImage(FImage, Image);
}

void TBitmap::Unshare() {
  if (FImage->RefCount() <= 1) return;
  TOwnedBitmap Copy;
  if (FImage->FHandle) Copy.reset(new TGdiBitmap(*FImage->FHandle));
  NewImage(std::move(Copy), CopyPalette(FImage->FPalette));
}

void TBitmap::CanvasChanging() {
  Unshare();
}

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TBitmapCanvas>(this);
    FCanvas->OnChanging = [this](TObject*) { CanvasChanging(); };
    FCanvas->OnChange = [this](TObject*) { Changed(this); };
  }
  return *FCanvas;
}

void TBitmap::Assign(TPersistent* Source) {
  if (!Source) {
    NewImage(nullptr, nullptr);
    SetPaletteModified(false);
    Changed(this);
    return;
  }
  auto* Other = dynamic_cast<TBitmap*>(Source);
  if (!Other) {
    TGraphic::Assign(Source);
    return;
  }
  if (Other == this) return;
  DetachCanvas();
  ReplaceSharedImage(FImage, Other->FImage);
  FEmptyWidth = Other->FEmptyWidth;
  FEmptyHeight = Other->FEmptyHeight;
  FEmptyBitCount = Other->FEmptyBitCount;
  FEmptyIsDIB = Other->FEmptyIsDIB;
  SetTransparentFlag(Other->GetTransparent());
  FTransparentColor = Other->FTransparentColor;
  FTransparentMode = Other->FTransparentMode;
  SetPaletteModified(GetPalette() != nullptr);
  Changed(this);
}

void TBitmap::Draw(TCanvas& Canvas, const TRect& Rect) {
  if (GetEmpty()) return;
  std::optional<TCanvasLock> Lock;
  if (BitmapDrawLocking()) Lock.emplace(this->Canvas());
  HDC Dest = Canvas.Handle();
  HDC Src = this->Canvas().Handle();
  if (!Dest || !Src) return;
  HPALETTE Pal = GetPalette();
  TPaletteSelection Selection(Dest, Pal, true);
  const TGdiBitmap& B = *FImage->FHandle;
  if (GetTransparent()) {
    TColor Key = B.Dib.BitCount == 1 ? clWhite : (TransparentColor() & 0xFFFFFF);
    MaskedStretchBlt(Dest, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), Src, 0, 0, B.Dib.Width,
                     B.Dib.Height, Pal, Key);
    return;
  }
  // A monochrome bitmap always shows black and white.
  const bool Mono = B.Dib.BitCount == 1 && !B.IsDIB;
  const TColor OldText = Mono ? SetTextColor(Dest, clBlack) : 0;
  const TColor OldBk = Mono ? SetBkColor(Dest, clWhite) : 0;
  TScopeExit RestoreColours([&] {
    if (!Mono) return;
    SetTextColor(Dest, OldText);
    SetBkColor(Dest, OldBk);
  });
  StretchBlt(Dest, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), Src, 0, 0, B.Dib.Width,
             B.Dib.Height, Canvas.CopyMode());
}

bool TBitmap::GetEmpty() const {
  HBITMAP B = FImage->FHandle;
  return !B || B->Dib.Width == 0 || B->Dib.Height == 0;
}

int TBitmap::GetWidth() {
  return FImage->FHandle ? FImage->FHandle->Dib.Width : FEmptyWidth;
}
int TBitmap::GetHeight() {
  return FImage->FHandle ? FImage->FHandle->Dib.Height : FEmptyHeight;
}
void TBitmap::SetWidth(int Value) {
  SetSize(Value, GetHeight());
}
void TBitmap::SetHeight(int Value) {
  SetSize(GetWidth(), Value);
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == GetWidth() && AHeight == GetHeight()) return;
  HBITMAP Old = FImage->FHandle;
  int BitCount = Old ? Old->Dib.BitCount : FEmptyBitCount;
  bool IsDIB = Old ? Old->IsDIB : FEmptyIsDIB;
  if (AWidth == 0 || AHeight == 0) {
    FEmptyBitCount = BitCount;
    FEmptyIsDIB = IsDIB;
    NewImage(nullptr, CopyPalette(FImage->FPalette));
    FEmptyWidth = AWidth;
    FEmptyHeight = AHeight;
    Changed(this);
    return;
  }
  TOwnedBitmap B(new TGdiBitmap);
  B->IsDIB = IsDIB;
  B->Dib = TDib(AWidth, AHeight, BitCount);
  if (Old && Old->Dib.BitCount <= 8) {
    B->Dib.Colors = Old->Dib.Colors;
  } else if (BitCount <= 8) {
    B->Dib.Colors = DefaultTable(BitCount);
  }
  if (!IsDIB) B->Dib.Colors.clear();
  // New area shows the brush colour; the old pixels stay where they fit.
  TColor Fill = ColorToRGB(Canvas().Brush().Color()) & 0xFFFFFF;
  uint32_t FillValue = Fill;
  if (BitCount == 1 && !IsDIB)
    FillValue = (GetRValue(Fill) + GetGValue(Fill) + GetBValue(Fill) >= 383) ? 1 : 0;
  else if (BitCount <= 8)
    FillValue = static_cast<uint32_t>(B->Dib.NearestIndex(Fill));
  // One row is filled, the others copy it.
  for (int X = 0; X < AWidth; ++X) B->Dib.SetRaw(X, 0, FillValue);
  const size_t Stride = static_cast<size_t>(B->Dib.Stride());
  for (int Y = 1; Y < AHeight; ++Y) std::memcpy(B->Dib.ScanLine(Y), B->Dib.ScanLine(0), Stride);
  if (Old) {
    int W = std::min(AWidth, Old->Dib.Width), H = std::min(AHeight, Old->Dib.Height);
    if (BitCount >= 8) {
      const size_t Bytes = static_cast<size_t>(W) * static_cast<size_t>(BitCount / 8);
      for (int Y = 0; Y < H; ++Y) std::memcpy(B->Dib.ScanLine(Y), Old->Dib.ScanLine(Y), Bytes);
    } else {
      for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) B->Dib.SetRaw(X, Y, Old->Dib.Raw(X, Y));
    }
  }
  NewImage(std::move(B), CopyPalette(FImage->FPalette));
  Changed(this);
}

HPALETTE TBitmap::GetPalette() {
  HBITMAP B = FImage->FHandle;
  if (!FImage->FPalette && B && B->IsDIB && (B->Dib.BitCount == 4 || B->Dib.BitCount == 8)) {
    std::vector<TPaletteEntry> Entries;
    for (const TRGBQuad& Q : B->Dib.Colors)
      Entries.push_back(TPaletteEntry{Q.rgbRed, Q.rgbGreen, Q.rgbBlue, 0});
    FImage->FPalette = CreatePalette(Entries);
  }
  return FImage->FPalette;
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (Value == FImage->FPalette) return;
  Unshare();
  DetachCanvas();
  DeleteObject(FImage->FPalette);
  FImage->FPalette = Value;
  SetPaletteModified(true);
  Changed(this);
}

HBITMAP TBitmap::Handle() {
  Unshare();
  return FImage->FHandle;
}

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == FImage->FHandle) return;
  NewImage(TOwnedBitmap(Value), nullptr);
  Changed(this);
}

HBITMAP TBitmap::ReleaseHandle() {
  Unshare();
  DetachCanvas();
  HBITMAP B = FImage->FHandle;
  FImage->FHandle = nullptr;
  return B;
}

bool TBitmap::HandleAllocated() const {
  return FImage->FHandle != nullptr;
}

TBitmapHandleType TBitmap::HandleType() const {
  HBITMAP B = FImage->FHandle;
  bool IsDIB = B ? B->IsDIB : FEmptyIsDIB;
  return IsDIB ? TBitmapHandleType::bmDIB : TBitmapHandleType::bmDDB;
}

void TBitmap::SetHandleType(TBitmapHandleType Value) {
  if (Value == HandleType()) return;
  HBITMAP Old = FImage->FHandle;
  if (!Old) {
    FEmptyIsDIB = Value == TBitmapHandleType::bmDIB;
    FEmptyBitCount = FEmptyBitCount == 1 ? 1 : (FEmptyIsDIB ? FEmptyBitCount : 32);
    return;
  }
  // An indexed picture keeps its colours as a palette.
  TOwnedPalette Pal = CopyPalette(GetPalette());
  TOwnedBitmap B(new TGdiBitmap);
  bool Mono = Old->Dib.BitCount == 1;
  if (Value == TBitmapHandleType::bmDDB) {
    B->IsDIB = false;
    B->Dib = Convert(*Old, Mono ? 1 : 32);
    if (Mono) {
      // Monochrome device bitmaps store 1 for white.
      for (int Y = 0; Y < B->Dib.Height; ++Y)
        for (int X = 0; X < B->Dib.Width; ++X)
          B->Dib.SetRaw(X, Y, ShownColor(*Old, X, Y) == clWhite ? 1 : 0);
    }
    B->Dib.Colors.clear();
  } else {
    B->IsDIB = true;
    B->Dib = Convert(*Old, Mono ? 1 : 32);
  }
  NewImage(std::move(B), std::move(Pal));
  Changed(this);
}

bool TBitmap::Monochrome() const {
  HBITMAP B = FImage->FHandle;
  return (B ? B->Dib.BitCount : FEmptyBitCount) == 1;
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value == Monochrome()) return;
  HBITMAP Old = FImage->FHandle;
  if (!Old) {
    FEmptyBitCount = Value ? 1 : 32;
    FEmptyIsDIB = false;
    return;
  }
  TOwnedBitmap B(new TGdiBitmap);
  B->IsDIB = false;
  if (Value) {
    B->Dib = TDib(Old->Dib.Width, Old->Dib.Height, 1);
    B->Dib.Colors.clear();
    for (int Y = 0; Y < B->Dib.Height; ++Y)
      for (int X = 0; X < B->Dib.Width; ++X)
        B->Dib.SetRaw(X, Y, ShownColor(*Old, X, Y) == clWhite ? 1 : 0);
  } else {
    B->Dib = Convert(*Old, 32);
    B->Dib.Colors.clear();
  }
  NewImage(std::move(B), nullptr);
  Changed(this);
}

TPixelFormat TBitmap::PixelFormat() const {
  HBITMAP B = FImage->FHandle;
  bool IsDIB = B ? B->IsDIB : FEmptyIsDIB;
  int Bits = B ? B->Dib.BitCount : FEmptyBitCount;
  if (!IsDIB) return TPixelFormat::pfDevice;
  switch (Bits) {
    case 1:
      return TPixelFormat::pf1bit;
    case 4:
      return TPixelFormat::pf4bit;
    case 8:
      return TPixelFormat::pf8bit;
    case 24:
      return TPixelFormat::pf24bit;
    case 32:
      return TPixelFormat::pf32bit;
    default:
      return TPixelFormat::pfCustom;
  }
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == PixelFormat()) return;
  int Bits = 0;
  switch (Value) {
    case TPixelFormat::pfDevice:
      SetHandleType(TBitmapHandleType::bmDDB);
      return;
    case TPixelFormat::pf1bit:
      Bits = 1;
      break;
    case TPixelFormat::pf4bit:
      Bits = 4;
      break;
    case TPixelFormat::pf8bit:
      Bits = 8;
      break;
    case TPixelFormat::pf24bit:
      Bits = 24;
      break;
    case TPixelFormat::pf32bit:
      Bits = 32;
      break;
    default:
      throw EInvalidGraphicOperation("Unsupported pixel format");
  }
  HBITMAP Old = FImage->FHandle;
  if (!Old) {
    FEmptyBitCount = Bits;
    FEmptyIsDIB = true;
    return;
  }
  TOwnedBitmap B(new TGdiBitmap);
  B->IsDIB = true;
  B->Dib = Convert(*Old, Bits);
  NewImage(std::move(B), nullptr);
  Changed(this);
}

TColor TBitmap::TransparentColor() {
  TColor Result;
  if (FTransparentColor == clDefault) {
    if (Monochrome())
      Result = clWhite;
    else
      Result = GetEmpty() ? clBlack : Canvas().Pixels(0, GetHeight() - 1);
  } else {
    Result = ColorToRGB(FTransparentColor);
  }
  return Result | PaletteRelativeFlag;
}

void TBitmap::SetTransparentColor(TColor Value) {
  if (Value == FTransparentColor) return;
  FTransparentMode = Value == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
  FTransparentColor = Value;
  Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == FTransparentMode) return;
  if (Value == TTransparentMode::tmAuto)
    SetTransparentColor(clDefault);
  else
    SetTransparentColor(TransparentColor() & 0xFFFFFF);
}

void TBitmap::Dormant() {
  DetachCanvas();
}

uint8_t* TBitmap::ScanLine(int Y) {
  Unshare();
  HBITMAP B = FImage->FHandle;
  if (!B || Y < 0 || Y >= B->Dib.Height)
    throw EInvalidGraphicOperation("Scan line index out of range");
  return B->Dib.ScanLine(Y);
}

void TBitmap::LoadFromStream(TStream& Stream) {
  TDib Dib = ReadBMP(Stream);
  NewImage(TOwnedBitmap(CreateDIBSection(std::move(Dib))), nullptr);
  SetPaletteModified(GetPalette() != nullptr);
  Changed(this);
}

void TBitmap::SaveToStream(TStream& Stream) {
  HBITMAP B = FImage->FHandle;
  if (!B) return;
  if (B->Dib.BitCount == 1 && !B->IsDIB) {
    // Monochrome device bitmaps are written as black-and-white pictures.
    TDib D = B->Dib;
    D.Colors = DefaultTable(1);
    WriteBMP(D, Stream);
    return;
  }
  WriteBMP(B->Dib, Stream);
}

void TBitmap::LoadFromClipboardFormat(TClipboardFormat Format, const std::vector<uint8_t>& Data,
                                      HPALETTE Palette) {
  if (Format != CF_BITMAP || Data.empty()) throw EInvalidGraphic("Unsupported clipboard format");
  TMemoryStream Stream;
  Stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  Stream.SetPosition(0);
  TDib Dib = ReadBMP(Stream);
  NewImage(TOwnedBitmap(CreateDIBSection(std::move(Dib))), CopyPalette(Palette));
  SetPaletteModified(GetPalette() != nullptr);
  Changed(this);
}

void TBitmap::SaveToClipboardFormat(TClipboardFormat& Format, std::vector<uint8_t>& Data,
                                    HPALETTE& Palette) {
  Format = CF_BITMAP;
  TMemoryStream Stream;
  SaveToStream(Stream);
  Data = Stream.Bytes();
  Palette = CopyPalette(GetPalette()).release();
}

void TBitmap::ReadData(TStream& Stream) {
  uint32_t Size = Stream.ReadDWord();
  if (Size == 0) {
    Assign(nullptr);
    return;
  }
  // The size field is not trusted: the picture is read by its own headers.
  LoadFromStream(Stream);
}

void TBitmap::WriteData(TStream& Stream) {
  TMemoryStream Bmp;
  SaveToStream(Bmp);
  Stream.WriteDWord(static_cast<uint32_t>(Bmp.Size()));
  if (Bmp.Size()) Stream.WriteBuffer(Bmp.Memory(), Bmp.Size());
}

}  // namespace orn
