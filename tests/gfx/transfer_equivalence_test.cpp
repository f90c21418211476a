// The row-at-a-time block transfers against the pixel-by-pixel general rules: random formats,
// sizes, offsets, mirrors, stretches, clip regions, origins, colours and raster operations must
// leave exactly the same pixels either way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "gfx/gdi.h"

namespace orn {
namespace {

struct TFormat {
  int BitCount;
  bool IsDIB;
};
constexpr TFormat Formats[] = {{1, false}, {1, true},  {4, true},  {8, true},
                               {24, true}, {32, true}, {32, false}};
constexpr uint32_t Rops[] = {SRCCOPY,   SRCAND,    SRCPAINT,  NOTSRCCOPY, SRCINVERT,  PATCOPY,
                             BLACKNESS, WHITENESS, DSTINVERT, 0x00220326, 0x00B8074A, 0x005A0049};

class TRandomCase {
 public:
  explicit TRandomCase(uint32_t Seed) : FRng(Seed) {}

  int Int(int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(FRng); }
  TColor Colour() {
    // Few distinct colours, so that keyed and background matches happen often.
    static constexpr TColor Palette[] = {0x000000, 0xFFFFFF, 0xFF00FF, 0x123456, 0x808080};
    return Int(0, 3) == 0 ? static_cast<TColor>(FRng() & 0xFFFFFF) : Palette[Int(0, 4)];
  }

  // A bitmap of the given format with random pixels and colour table; 32-bit pixels get random
  // reserved bytes too, as pixels loaded from files can have.
  HBITMAP Bitmap(const TFormat& F, int W, int H) {
    auto* B = new TGdiBitmap;
    B->Dib = TDib(W, H, F.BitCount);
    B->IsDIB = F.IsDIB;
    if (!F.IsDIB) B->Dib.Colors.clear();
    for (TRGBQuad& Q : B->Dib.Colors) {
      TColor C = Colour();
      Q = TRGBQuad{GetBValue(C), GetGValue(C), GetRValue(C), 0};
    }
    // Sometimes a short colour table (missing entries show black).
    if (F.IsDIB && F.BitCount == 8 && Int(0, 4) == 0) B->Dib.Colors.resize(100);
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X)
        B->Dib.SetRaw(X, Y, F.BitCount > 8 ? Colour() : FRng() & ((1u << F.BitCount) - 1));
    if (F.BitCount == 32)
      for (size_t I = 3; I < B->Dib.Bits.size(); I += 4) B->Dib.Bits[I] = FRng() & 0xFF;
    return B;
  }

 private:
  std::mt19937 FRng;
};

// A context set up the same way for both runs.
struct TContextSetup {
  TPoint Viewport;
  TColor Bk, Text, Brush;
  int StretchMode;
  std::vector<TRect> Clip;  // none when empty and !HasClip
  bool HasClip = false;

  void Apply(HDC Dc) const {
    SetViewportOrgEx(Dc, Viewport.X, Viewport.Y, nullptr);
    SetBkColor(Dc, Bk);
    SetTextColor(Dc, Text);
    SetDCBrushColor(Dc, Brush);
    SetStretchBltMode(Dc, StretchMode);
    if (HasClip) {
      TGdiRegion R;
      R.Rects = Clip;
      SelectClipRgn(Dc, &R);
    }
  }
};

std::vector<uint32_t> RawPixels(const TDib& D) {
  std::vector<uint32_t> Out;
  for (int Y = 0; Y < D.Height; ++Y)
    for (int X = 0; X < D.Width; ++X) Out.push_back(D.Raw(X, Y));
  return Out;
}

struct TFastPathsOff {
  TFastPathsOff() { SetBlockTransferFastPaths(false); }
  ~TFastPathsOff() { SetBlockTransferFastPaths(true); }
};

// Runs one transfer on a copy of Target with and without the row paths.
void Compare(const TGdiBitmap& Target, const TContextSetup& DestSetup, const TGdiBitmap* Source,
             const TContextSetup& SrcSetup, bool SameBitmap, int X, int Y, int W, int H, int SX,
             int SY, int SW, int SH, uint32_t Rop, const std::string& Trace) {
  std::vector<uint32_t> Result[2];
  for (int Pass = 0; Pass < 2; ++Pass) {
    TGdiBitmap D = Target;
    TGdiBitmap S = Source ? *Source : TGdiBitmap{};
    HDC Dd = CreateCompatibleDC(nullptr), Sd = CreateCompatibleDC(nullptr);
    HBITMAP OldD = SelectObject(Dd, &D);
    HBITMAP OldS = SelectObject(Sd, SameBitmap ? &D : &S);
    DestSetup.Apply(Dd);
    SrcSetup.Apply(Sd);
    {
      std::optional<TFastPathsOff> Off;
      if (Pass == 1) Off.emplace();
      if (!Source)
        PatBlt(Dd, X, Y, W, H, Rop);
      else
        StretchBlt(Dd, X, Y, W, H, Sd, SX, SY, SW, SH, Rop);
    }
    Result[Pass] = RawPixels(D.Dib);
    SelectObject(Dd, OldD);
    SelectObject(Sd, OldS);
    DeleteDC(Dd);
    DeleteDC(Sd);
  }
  ASSERT_EQ(Result[0], Result[1]) << Trace;
}

TEST(TransferEquivalence, RowPathsGiveThePixelsOfTheGeneralRules) {
  TRandomCase R(20261211);
  for (int Case = 0; Case < 2500; ++Case) {
    // Every fifth case copies between wide monochrome bitmaps at the same size with source and
    // destination columns a whole number of bytes apart, so that whole bytes move.
    const bool Bytewise = Case % 5 == 0;
    const TFormat& DF = Bytewise ? Formats[R.Int(0, 1)] : Formats[R.Int(0, std::size(Formats) - 1)];
    const TFormat& SF = Bytewise ? Formats[R.Int(0, 1)] : Formats[R.Int(0, std::size(Formats) - 1)];
    const int DW = R.Int(1, Bytewise ? 90 : 37), DH = R.Int(1, 23);
    const int SWb = R.Int(1, Bytewise ? 90 : 29), SHb = R.Int(1, 19);
    HBITMAP Dest = R.Bitmap(DF, DW, DH);
    HBITMAP Src = R.Bitmap(SF, SWb, SHb);

    auto Setup = [&](int W, int H) {
      TContextSetup C;
      C.Viewport = R.Int(0, 3) == 0 ? TPoint{R.Int(-5, 5), R.Int(-5, 5)} : TPoint{};
      C.Bk = R.Colour();
      C.Text = R.Colour();
      C.Brush = R.Colour();
      C.StretchMode = R.Int(BLACKONWHITE, HALFTONE);
      if (R.Int(0, 3) == 0) {
        C.HasClip = true;
        for (int I = R.Int(0, 3); I > 0; --I) {
          int L = R.Int(-3, W), T = R.Int(-3, H);
          C.Clip.push_back(Rect(L, T, L + R.Int(1, W), T + R.Int(1, H)));
        }
        // Keep the rectangles banded as regions store them: separate rows.
        std::sort(C.Clip.begin(), C.Clip.end(),
                  [](const TRect& A, const TRect& B) { return A.Top < B.Top; });
        for (size_t I = 1; I < C.Clip.size(); ++I) {
          C.Clip[I].Top = std::max(C.Clip[I].Top, C.Clip[I - 1].Bottom);
          C.Clip[I].Bottom = std::max(C.Clip[I].Bottom, C.Clip[I].Top + 1);
        }
      }
      return C;
    };
    TContextSetup DS = Setup(DW, DH), SS = Setup(SWb, SHb);
    const uint32_t Rop = Rops[R.Int(0, std::size(Rops) - 1)];
    const int X = R.Int(-10, DW), Y = R.Int(-10, DH);
    int W = R.Int(1, 2 * DW) * (R.Int(0, 5) == 0 ? -1 : 1);
    int H = R.Int(1, 2 * DH) * (R.Int(0, 5) == 0 ? -1 : 1);
    int SX = R.Int(-6, SWb);
    const int SY = R.Int(-6, SHb);
    int SW = R.Int(1, 2 * SWb) * (R.Int(0, 7) == 0 ? -1 : 1);
    int SH = R.Int(1, 2 * SHb) * (R.Int(0, 7) == 0 ? -1 : 1);
    if (R.Int(0, 2) == 0) {  // plain copies at the same size are the commonest
      SW = W;
      SH = H;
    }
    if (Bytewise) {
      DS.Viewport = SS.Viewport = TPoint{};
      SX = X + 8 * R.Int(-2, 2);
      W = std::abs(W);
      SW = W;
      SH = H;
    }
    const bool Pattern = R.Int(0, 9) == 0;
    const bool Same = !Pattern && R.Int(0, 9) == 0;

    std::ostringstream Trace;
    Trace << "case " << Case << ": dest " << DF.BitCount << (DF.IsDIB ? "dib " : "ddb ") << DW
          << "x" << DH << " src " << SF.BitCount << (SF.IsDIB ? "dib " : "ddb ") << SWb << "x"
          << SHb << " rop " << std::hex << Rop << std::dec << " (" << X << "," << Y << " " << W
          << "x" << H << ") <- (" << SX << "," << SY << " " << SW << "x" << SH << ")"
          << (Same ? " same bitmap" : "") << " mode " << DS.StretchMode
          << (DS.HasClip ? " clipped" : "");
    Compare(*Dest, DS, Pattern ? nullptr : Src, SS, Same, X, Y, W, H, SX, SY, SW, SH, Rop,
            Trace.str());
    DeleteObject(Dest);
    DeleteObject(Src);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace orn
