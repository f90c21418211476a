// Codec benchmarks against the platform's GIF library, on the same bytes in one run.
//   codec_bench [FILE.gif ...] [--benchmark_* options]
// Inputs: a 1024 x 1024 photographic gradient with noise reduced to 256 colours, a flat-colour
// drawing, a 40-frame 118 x 170 animation (all made here through the codec's own writer), and
// every GIF named on the command line. Items per second are pixels per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/giflib_baseline.h"
#include "core/stream.h"
#include "gfx/bitmap.h"
#include "gif/color_reduction.h"
#include "gif/gif_image.h"
#include "gif/lzw_decoder.h"
#include "gif/lzw_encoder.h"

using namespace orn;

namespace {

struct TInput {
  std::string Name;
  std::vector<uint8_t> Gif;
};

// A 24-bit picture filled by Pixel(x, y) -> 0xRRGGBB.
template <class F>
std::unique_ptr<TBitmap> MakeBitmap(int W, int H, F Pixel) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(TPixelFormat::pf24bit);
  B->SetSize(W, H);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = B->ScanLine(Y);
    for (int X = 0; X < W; ++X) {
      const uint32_t C = Pixel(X, Y);
      Row[X * 3] = static_cast<uint8_t>(C);
      Row[X * 3 + 1] = static_cast<uint8_t>(C >> 8);
      Row[X * 3 + 2] = static_cast<uint8_t>(C >> 16);
    }
  }
  return B;
}

std::vector<uint8_t> SaveGif(TGIFImage& Image) {
  TMemoryStream S;
  Image.SaveToStream(S);
  return S.Bytes();
}

std::vector<uint8_t> MakePhoto() {
  std::mt19937 Rng(7);
  std::normal_distribution<double> Noise(0.0, 12.0);
  auto Clamp = [](double V) {
    return static_cast<uint32_t>(std::lround(std::fmin(255, std::fmax(0, V))));
  };
  auto B = MakeBitmap(1024, 1024, [&](int X, int Y) {
    const double R = 128 + 100 * std::sin(X / 140.0) + Noise(Rng);
    const double G = 255.0 * Y / 1023 + Noise(Rng);
    const double Bl = 255.0 * (X + Y) / 2046 + Noise(Rng);
    return (Clamp(R) << 16) | (Clamp(G) << 8) | Clamp(Bl);
  });
  TGIFImage Image;
  Image.AppendFrame(B.get());
  return SaveGif(Image);
}

std::vector<uint8_t> MakeDrawing() {
  auto B = MakeBitmap(1024, 1024, [](int X, int Y) -> uint32_t {
    const int Dx = X - 512, Dy = Y - 512;
    if (Dx * Dx + Dy * Dy < 200 * 200) return 0xD02020;
    if ((X / 128 + Y / 128) % 2) return 0x2040C0;
    if (Y > 900) return 0x20A040;
    return 0xF0F0F0;
  });
  TGIFImage Image;
  Image.AppendFrame(B.get());
  return SaveGif(Image);
}

std::vector<uint8_t> MakeAnimation() {
  TGIFImage Image;
  for (int F = 0; F < 40; ++F) {
    auto B = MakeBitmap(118, 170, [F](int X, int Y) -> uint32_t {
      const int Cx = 59 + static_cast<int>(40 * std::sin(F * 0.157));
      const int Dx = X - Cx, Dy = Y - 85;
      if (Dx * Dx + Dy * Dy < 30 * 30) return 0xFFD700;
      if (Y > 140) return 0x6B4423;
      const int Tree = 59 - std::abs(X - 59);
      if (Y > 20 && Tree > (140 - Y) / 2) return 0x1F7A1F + ((X * 3 + Y + F) % 16) * 0x000800;
      return 0x101040;
    });
    Image.AppendFrame(B.get());
    Image.Frames(F)->SetDelayMs(50);
  }
  Image.SetLoopEnabled(true);
  Image.SetLoopCount(0);
  return SaveGif(Image);
}

std::unique_ptr<TGIFImage> LoadImage(const std::vector<uint8_t>& Bytes) {
  auto Image = std::make_unique<TGIFImage>();
  TMemoryStream S;
  S.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  S.SetPosition(0);
  Image->LoadFromStream(S);
  return Image;
}

int64_t PixelCount(TGIFImage& Image) {
  int64_t N = 0;
  for (int I = 0; I < Image.FrameCount(); ++I)
    N += int64_t{Image.Frames(I)->Item()->FExtent.Width} * Image.Frames(I)->Item()->FExtent.Height;
  return N;
}

void DecodeLZWOurs(benchmark::State& State, const TInput* In) {
  auto Image = LoadImage(In->Gif);
  std::vector<uint8_t> Rows;
  for (auto _ : State) {
    for (int I = 0; I < Image->FrameCount(); ++I) {
      TGIFFrame* F = Image->Frames(I);
      TGIFItem* Item = F->Item();
      const int W = Item->FExtent.Width, H = Item->FExtent.Height;
      Rows.assign(static_cast<size_t>(DIBStride(W, 8) * H), 0);
      bool Corrupt = false;
      Item->FCodeStream->SetPosition(0);
      DecodeLZW(*Item->FCodeStream, W, H, 8, F->IsInterlaced(), nullptr, Corrupt, Rows,
                Item->FPixelBits, true);
      benchmark::DoNotOptimize(Rows.data());
    }
  }
  State.SetItemsProcessed(State.iterations() * PixelCount(*Image));
}

void DecodeLZWGiflib(benchmark::State& State, const TInput* In) {
  int64_t Pixels = 0;
  for (auto _ : State) Pixels = bench::GiflibDecodeAll(In->Gif);
  State.SetItemsProcessed(State.iterations() * Pixels);
}

void DecodeBitmapOurs(benchmark::State& State, const TInput* In) {
  int64_t Pixels = 0;
  for (auto _ : State) {
    auto Image = LoadImage(In->Gif);
    for (int I = 0; I < Image->FrameCount(); ++I)
      benchmark::DoNotOptimize(Image->Frames(I)->DecodedBitmap()->ScanLine(0));
    Pixels = PixelCount(*Image);
  }
  State.SetItemsProcessed(State.iterations() * Pixels);
}

void DecodeBitmapGiflib(benchmark::State& State, const TInput* In) {
  std::vector<uint32_t> Out;
  int64_t Pixels = 0;
  for (auto _ : State) {
    Pixels = bench::GiflibDecodeToRgba(In->Gif, Out);
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetItemsProcessed(State.iterations() * Pixels);
}

// The first frame of an input as 8-bit rows (top-down, unpadded) with its palette.
struct TIndexed {
  int Width = 0, Height = 0;
  std::vector<uint8_t> TopDown, Dib, Palette;
};

TIndexed FirstFrameIndices(const TInput* In) {
  auto Image = LoadImage(In->Gif);
  TGIFItem* Item = Image->Frames(0)->Item();
  TIndexed R;
  R.Width = Item->FExtent.Width;
  R.Height = Item->FExtent.Height;
  const int64_t Stride = DIBStride(R.Width, 8);
  R.Dib.assign(static_cast<size_t>(Stride * R.Height), 0);
  bool Corrupt = false;
  Item->FCodeStream->SetPosition(0);
  DecodeLZW(*Item->FCodeStream, R.Width, R.Height, 8, Image->Frames(0)->IsInterlaced(), nullptr,
            Corrupt, R.Dib, Item->FPixelBits, true);
  R.TopDown.resize(static_cast<size_t>(R.Width) * R.Height);
  for (int Y = 0; Y < R.Height; ++Y)
    std::memcpy(&R.TopDown[static_cast<size_t>(Y) * R.Width],
                &R.Dib[static_cast<size_t>((R.Height - 1 - Y) * Stride)], R.Width);
  R.Palette.assign(768, 0);
  for (int C = 0; C < 256; ++C) {
    R.Palette[C * 3] = Item->FFrameTable.Entries[C].Red;
    R.Palette[C * 3 + 1] = Item->FFrameTable.Entries[C].Green;
    R.Palette[C * 3 + 2] = Item->FFrameTable.Entries[C].Blue;
  }
  return R;
}

void EncodeOurs(benchmark::State& State, const TInput* In) {
  const TIndexed Px = FirstFrameIndices(In);
  const TEncodeHeader Header{Px.Width, Px.Height, 8};
  for (auto _ : State) {
    TMemoryStream Out;
    EncodeImageData(Out, Header, Px.Dib.data(), static_cast<int64_t>(Px.Dib.size()), {});
    benchmark::DoNotOptimize(Out.Memory());
  }
  State.SetItemsProcessed(State.iterations() * Px.Width * Px.Height);
}

void EncodeGiflib(benchmark::State& State, const TInput* In) {
  const TIndexed Px = FirstFrameIndices(In);
  for (auto _ : State) {
    auto Out = bench::GiflibEncode(Px.TopDown, Px.Width, Px.Height, Px.Palette);
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetItemsProcessed(State.iterations() * Px.Width * Px.Height);
}

void Reduce(benchmark::State& State, TReductionMethod Method) {
  std::mt19937 Rng(11);
  std::uniform_int_distribution<int> Noise(-12, 12);
  const int W = 1024, H = 1024, Stride = W * 3;
  std::vector<uint8_t> Rows(static_cast<size_t>(Stride) * H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint8_t* P = &Rows[static_cast<size_t>(Y) * Stride + X * 3];
      P[0] = static_cast<uint8_t>(std::clamp((X + Y) / 8 + Noise(Rng), 0, 255));
      P[1] = static_cast<uint8_t>(std::clamp(Y / 4 + Noise(Rng), 0, 255));
      P[2] = static_cast<uint8_t>(
          std::clamp(128 + static_cast<int>(100 * std::sin(X / 140.0)) + Noise(Rng), 0, 255));
    }
  for (auto _ : State) {
    auto Out = ReduceRGBRows(W, H, Rows, Method);
    benchmark::DoNotOptimize(Out->Memory());
  }
  State.SetItemsProcessed(State.iterations() * W * H);
}

}  // namespace

int main(int argc, char** argv) {
  InitializeGIFCodec();
  static std::vector<TInput> Inputs;
  Inputs.push_back({"photo1024", MakePhoto()});
  Inputs.push_back({"drawing1024", MakeDrawing()});
  Inputs.push_back({"anim118x170x40", MakeAnimation()});
  std::vector<char*> Rest{argv[0]};
  for (int I = 1; I < argc; ++I) {
    if (std::strncmp(argv[I], "--", 2) == 0) {
      Rest.push_back(argv[I]);
      continue;
    }
    TMemoryStream S;
    S.LoadFromFile(argv[I]);
    Inputs.push_back({argv[I], S.Bytes()});
  }
  for (const TInput& In : Inputs) {
    benchmark::RegisterBenchmark(("DecodeLZW/ours/" + In.Name).c_str(), DecodeLZWOurs, &In);
    benchmark::RegisterBenchmark(("DecodeLZW/giflib/" + In.Name).c_str(), DecodeLZWGiflib, &In);
    benchmark::RegisterBenchmark(("DecodeBitmap/ours/" + In.Name).c_str(), DecodeBitmapOurs, &In);
    benchmark::RegisterBenchmark(("DecodeBitmap/giflib/" + In.Name).c_str(), DecodeBitmapGiflib,
                                 &In);
    benchmark::RegisterBenchmark(("Encode/ours/" + In.Name).c_str(), EncodeOurs, &In);
    benchmark::RegisterBenchmark(("Encode/giflib/" + In.Name).c_str(), EncodeGiflib, &In);
  }
  const std::pair<const char*, TReductionMethod> Methods[] = {
      {"popularity", TReductionMethod::rmPopularity},
      {"median-cut", TReductionMethod::rmMedianCut},
      {"uniform784", TReductionMethod::rmUniform784},
      {"uniform666", TReductionMethod::rmUniform666},
      {"channel-cycle", TReductionMethod::rmChannelCycle},
      {"grey", TReductionMethod::rmGreyScale}};
  for (const auto& [Name, Method] : Methods)
    benchmark::RegisterBenchmark((std::string("Reduce/") + Name).c_str(), Reduce, Method)
        ->Unit(benchmark::kMillisecond);
  int Argc = static_cast<int>(Rest.size());
  benchmark::Initialize(&Argc, Rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
