// The software graphics on the paths the animation and the frame decoding use: loading an 8-bit
// BMP into a bitmap and converting it to the display's 32-bit form, plain and stretched copies,
// the keyed (transparent) stretched draw, a monochrome mask applied with SRCAND, and solid
// fills. Run in the release preset.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/stream.h"
#include "gfx/bitmap.h"
#include "gfx/gdi.h"
#include "gfx/masked_draw.h"

namespace orn {
namespace {

constexpr TColor Key = 0xFF00FF;

// A memory context over its own 32-bit bitmap whose pixels follow a busy pattern with bands of
// the key colour.
struct TBenchSurface {
  TBenchSurface(int W, int H, bool Mono = false) {
    Bmp = CreateBitmap(W, H, 1, Mono ? 1 : 32);
    Dc = CreateCompatibleDC(nullptr);
    Old = SelectObject(Dc, Bmp);
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        uint32_t V = ((X + Y) / 6) % 3 == 0
                         ? Key
                         : RGB(static_cast<uint8_t>(X * 7), static_cast<uint8_t>(Y * 3), 90);
        Bmp->Dib.SetRaw(X, Y, Mono ? ((X ^ Y) >> 2) & 1 : V);
      }
  }
  ~TBenchSurface() {
    SelectObject(Dc, Old);
    DeleteObject(Bmp);
    DeleteDC(Dc);
  }
  HBITMAP Bmp;
  HDC Dc;
  HBITMAP Old;
};

// An 8-bit BMP file with a full colour table and a pattern of indexes.
std::vector<uint8_t> Bmp8(int W, int H) {
  TDib D(W, H, 8);
  for (int I = 0; I < 256; ++I)
    D.Colors[static_cast<size_t>(I)] = TRGBQuad{
        static_cast<uint8_t>(I), static_cast<uint8_t>(I * 3), static_cast<uint8_t>(255 - I), 0};
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) D.SetRaw(X, Y, static_cast<uint32_t>((X * 5 + Y * 11) & 0xFF));
  TMemoryStream S;
  WriteBMP(D, S);
  return S.Bytes();
}

void BM_LoadBmp8ToDDB(benchmark::State& State) {
  const int W = static_cast<int>(State.range(0)), H = static_cast<int>(State.range(1));
  std::vector<uint8_t> File = Bmp8(W, H);
  TMemoryStream S;
  S.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
  for (auto _ : State) {
    S.SetPosition(0);
    TBitmap B;
    B.LoadFromStream(S);
    B.SetHandleType(TBitmapHandleType::bmDDB);
    benchmark::DoNotOptimize(B.Handle());
  }
  State.SetItemsProcessed(State.iterations() * W * H);
}
BENCHMARK(BM_LoadBmp8ToDDB)->Args({1024, 1024})->Args({118, 170})->Unit(benchmark::kMicrosecond);

// Args: source width, height, destination scale (1 = same size, 2 = double).
void BM_StretchBltCopy(benchmark::State& State) {
  const int W = static_cast<int>(State.range(0)), H = static_cast<int>(State.range(1));
  const int F = static_cast<int>(State.range(2));
  TBenchSurface Src(W, H), Dst(W * F, H * F);
  SetStretchBltMode(Dst.Dc, COLORONCOLOR);
  for (auto _ : State) StretchBlt(Dst.Dc, 0, 0, W * F, H * F, Src.Dc, 0, 0, W, H, SRCCOPY);
  State.SetItemsProcessed(State.iterations() * W * H * F * F);
}
BENCHMARK(BM_StretchBltCopy)
    ->Args({190, 225, 1})
    ->Args({190, 225, 2})
    ->Args({118, 170, 2})
    ->Unit(benchmark::kMicrosecond);

// Halving with the default stretch mode, which ANDs the dropped pixels together.
void BM_StretchBltShrinkAnd(benchmark::State& State) {
  const int W = 380, H = 450;
  TBenchSurface Src(W, H), Dst(W / 2, H / 2);
  for (auto _ : State) StretchBlt(Dst.Dc, 0, 0, W / 2, H / 2, Src.Dc, 0, 0, W, H, SRCCOPY);
  State.SetItemsProcessed(State.iterations() * W * H);
}
BENCHMARK(BM_StretchBltShrinkAnd)->Unit(benchmark::kMicrosecond);

// Args: source width, height, destination scale.
void BM_DrawBitmapRectMasked(benchmark::State& State) {
  const int W = static_cast<int>(State.range(0)), H = static_cast<int>(State.range(1));
  const int F = static_cast<int>(State.range(2));
  TBitmap Picture;
  Picture.SetSize(W, H);
  TBenchSurface Pattern(W, H);
  BitBlt(Picture.Canvas().Handle(), 0, 0, W, H, Pattern.Dc, 0, 0, SRCCOPY);
  TBitmap Target;
  Target.SetSize(W * F, H * F);
  TCanvas& C = Target.Canvas();
  for (auto _ : State) DrawBitmapRectMasked(C, 0, 0, W * F, H * F, Rect(0, 0, W, H), Picture, Key);
  State.SetItemsProcessed(State.iterations() * W * H * F * F);
}
BENCHMARK(BM_DrawBitmapRectMasked)
    ->Args({190, 225, 1})
    ->Args({190, 225, 2})
    ->Args({118, 170, 2})
    ->Unit(benchmark::kMicrosecond);

void BM_BitBltMonoMaskAnd(benchmark::State& State) {
  const int W = 190, H = 225;
  TBenchSurface Mask(W, H, true), Dst(W, H);
  SetTextColor(Dst.Dc, clBlack);
  SetBkColor(Dst.Dc, clWhite);
  for (auto _ : State) BitBlt(Dst.Dc, 0, 0, W, H, Mask.Dc, 0, 0, SRCAND);
  State.SetItemsProcessed(State.iterations() * W * H);
}
BENCHMARK(BM_BitBltMonoMaskAnd)->Unit(benchmark::kMicrosecond);

void BM_FillRect(benchmark::State& State) {
  const int W = 190, H = 225;
  TBenchSurface Dst(W, H);
  for (auto _ : State) FillRect(Dst.Dc, Rect(0, 0, W, H), 0x336699);
  State.SetItemsProcessed(State.iterations() * W * H);
}
BENCHMARK(BM_FillRect)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orn

BENCHMARK_MAIN();
