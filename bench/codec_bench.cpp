// Codec benchmarks against the platform's GIF library, on the same bytes in one run.
//   codec_bench [FILE.gif ...] [--benchmark_* options]
// Inputs, all made here deterministically: a 1024 x 1024 photographic gradient with noise
// reduced to 256 colours, a flat-colour drawing, a 40-frame 118 x 170 animation (these three
// through the codec's own writer), an interlaced 1024 x 1024 64-colour gradient, a 2048 x 2048
// photographic picture, a 400-frame 470 x 300 animation whose frames are mostly small
// sub-rectangles (these three assembled here around the codec's LZW encoder); and every GIF
// named on the command line. Items per second are pixels per second.
// Besides the ratios: the fixed cost of decoding a 1 x 1 frame, and the peak of memory
// allocated while a 2048 x 2048 frame becomes a 32-bit bitmap, relative to that bitmap.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/alloc_counter.h"
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

// A GIF stream assembled around the codec's LZW encoder, for inputs the writer does not make
// (interlaced rows, sub-rectangle frames, pictures too large to reduce quickly).
class TGifAssembler {
 public:
  TGifAssembler(int W, int H, const std::vector<uint8_t>& PaletteRgb, bool Loop) {
    const int Bits = PaletteBits(static_cast<int>(PaletteRgb.size() / 3));
    FBytes.reserve(4096);
    Put("GIF89a", 6);
    Word(W);
    Word(H);
    Byte(static_cast<uint8_t>(0x80 | (Bits - 1)));
    Byte(0);
    Byte(0);
    std::vector<uint8_t> Table(size_t{3} << Bits, 0);
    std::copy(PaletteRgb.begin(), PaletteRgb.end(), Table.begin());
    Put(Table.data(), Table.size());
    if (Loop) {
      Put("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    }
  }

  // One frame of Indices (top-down rows of W bytes), stored interlaced when asked.
  void Frame(int Left, int Top, int W, int H, const std::vector<uint8_t>& Indices, bool Interlaced,
             int DelayHundredths) {
    Put("\x21\xF9\x04", 3);
    Byte(0x04);  // leave in place
    Word(DelayHundredths);
    Byte(0);
    Byte(0);
    Byte(',');
    Word(Left);
    Word(Top);
    Word(W);
    Word(H);
    Byte(Interlaced ? 0x40 : 0);
    // The encoder takes bottom-up rows and writes them from the top: the last stored row is
    // the first one in the stream.
    std::vector<int> Order;
    for (int Y = 0; Y < H; ++Y) Order.push_back(Y);
    if (Interlaced) {
      Order.clear();
      for (int Start : {0, 4, 2, 1})
        for (int Y = Start; Y < H; Y += (Start == 0 ? 8 : (Start == 4 ? 8 : (Start == 2 ? 4 : 2))))
          Order.push_back(Y);
    }
    const int64_t Stride = DIBStride(W, 8);
    std::vector<uint8_t> Dib(static_cast<size_t>(Stride * H));
    for (int K = 0; K < H; ++K)
      std::memcpy(&Dib[static_cast<size_t>((H - 1 - K) * Stride)],
                  &Indices[static_cast<size_t>(Order[K]) * W], static_cast<size_t>(W));
    TMemoryStream Code;
    EncodeImageData(Code, TEncodeHeader{W, H, 8}, Dib.data(), static_cast<int64_t>(Dib.size()), {});
    Put(Code.Memory(), static_cast<size_t>(Code.Size()));
  }

  std::vector<uint8_t> Finish() {
    Byte(';');
    return std::move(FBytes);
  }

 private:
  static int PaletteBits(int Count) {
    int B = 1;
    while ((1 << B) < Count) ++B;
    return B;
  }
  void Byte(uint8_t V) { FBytes.push_back(V); }
  void Word(int V) {
    Byte(static_cast<uint8_t>(V));
    Byte(static_cast<uint8_t>(V >> 8));
  }
  void Put(const void* P, size_t N) {
    const size_t Old = FBytes.size();
    FBytes.resize(Old + N);
    std::memcpy(FBytes.data() + Old, P, N);
  }
  std::vector<uint8_t> FBytes;
};

// 256 colours: 8 levels of red and green, 4 of blue.
std::vector<uint8_t> Palette884() {
  std::vector<uint8_t> P;
  for (int I = 0; I < 256; ++I) {
    P.push_back(static_cast<uint8_t>((I >> 5) * 255 / 7));
    P.push_back(static_cast<uint8_t>(((I >> 2) & 7) * 255 / 7));
    P.push_back(static_cast<uint8_t>((I & 3) * 255 / 3));
  }
  return P;
}

// A photographic picture: smooth colour fields with sensor-like noise, quantised to Palette884.
std::vector<uint8_t> PhotoIndices(int W, int H, uint32_t Seed) {
  std::mt19937 Rng(Seed);
  std::normal_distribution<double> Noise(0.0, 10.0);
  auto Level = [](double V, int Levels) {
    return static_cast<int>(std::lround(std::fmin(255, std::fmax(0, V)) * (Levels - 1) / 255));
  };
  std::vector<uint8_t> Px(static_cast<size_t>(W) * H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const double R = 128 + 110 * std::sin(X / 300.0 + Y / 500.0) + Noise(Rng);
      const double G = 255.0 * Y / (H - 1) + Noise(Rng);
      const double B = 128 + 120 * std::cos((X + Y) / 400.0) + Noise(Rng);
      Px[static_cast<size_t>(Y) * W + X] =
          static_cast<uint8_t>((Level(R, 8) << 5) | (Level(G, 8) << 2) | Level(B, 4));
    }
  return Px;
}

std::vector<uint8_t> MakePhoto2048() {
  TGifAssembler A(2048, 2048, Palette884(), false);
  A.Frame(0, 0, 2048, 2048, PhotoIndices(2048, 2048, 5), false, 0);
  return A.Finish();
}

// 64 colours in a smooth diagonal ramp with an ordered dither, stored interlaced.
std::vector<uint8_t> MakeInterlaced() {
  std::vector<uint8_t> Pal;
  for (int I = 0; I < 64; ++I) {
    Pal.push_back(static_cast<uint8_t>(I * 4));
    Pal.push_back(static_cast<uint8_t>(255 - I * 4));
    Pal.push_back(static_cast<uint8_t>(128 + I * 2));
  }
  const int N = 1024;
  static const int Bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  std::vector<uint8_t> Px(static_cast<size_t>(N) * N);
  for (int Y = 0; Y < N; ++Y)
    for (int X = 0; X < N; ++X) {
      const int V = (X + Y) * 63 * 16 / (2 * N - 2) + Bayer[Y & 3][X & 3] - 8;
      Px[static_cast<size_t>(Y) * N + X] = static_cast<uint8_t>(std::clamp(V / 16, 0, 63));
    }
  TGifAssembler A(N, N, Pal, false);
  A.Frame(0, 0, N, N, Px, true, 0);
  return A.Finish();
}

// 400 frames on a 470 x 300 screen: a full first frame, then small moving sprites (and a full
// frame every 100), as screen recordings and sprite animations are stored.
std::vector<uint8_t> MakeSprites() {
  const int W = 470, H = 300;
  TGifAssembler A(W, H, Palette884(), true);
  A.Frame(0, 0, W, H, PhotoIndices(W, H, 9), false, 4);
  std::mt19937 Rng(3);
  for (int F = 1; F < 400; ++F) {
    const bool Full = F % 100 == 0;
    const int Fw = Full ? W : 24 + static_cast<int>(Rng() % 96);
    const int Fh = Full ? H : 16 + static_cast<int>(Rng() % 80);
    const int Left = Full ? 0 : static_cast<int>(Rng() % (W - Fw));
    const int Top = Full ? 0 : static_cast<int>(Rng() % (H - Fh));
    std::vector<uint8_t> Px(static_cast<size_t>(Fw) * Fh);
    const int Cx = Fw / 2, Cy = Fh / 2, R2 = Cx * Cy / 2;
    for (int Y = 0; Y < Fh; ++Y)
      for (int X = 0; X < Fw; ++X) {
        const int Dx = X - Cx, Dy = Y - Cy;
        Px[static_cast<size_t>(Y) * Fw + X] = Dx * Dx + Dy * Dy < R2
                                                  ? static_cast<uint8_t>(200 + (X + F) % 8)
                                                  : static_cast<uint8_t>(((Y + F) / 4 % 8) << 2);
      }
    if (Full) Px = PhotoIndices(W, H, 9 + F);
    A.Frame(Left, Top, Fw, Fh, Px, false, 4);
  }
  return A.Finish();
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

// The fixed cost of one call: a 1 x 1 frame decoded to index rows, and to its bitmap.
std::vector<uint8_t> OnePixelGif() {
  TGifAssembler A(1, 1, {0, 0, 0, 255, 255, 255}, false);
  A.Frame(0, 0, 1, 1, {1}, false, 0);
  return A.Finish();
}

void FixedCostLZW(benchmark::State& State) {
  auto Image = LoadImage(OnePixelGif());
  TGIFItem* Item = Image->Frames(0)->Item();
  uint8_t Row[4] = {};
  bool Corrupt = false;
  for (auto _ : State) {
    Item->FCodeStream->SetPosition(0);
    DecodeLZW(*Item->FCodeStream, 1, 1, 8, false, nullptr, Corrupt, Row, Item->FPixelBits, true);
    benchmark::DoNotOptimize(Row);
  }
}

void FixedCostBitmap(benchmark::State& State) {
  auto Image = LoadImage(OnePixelGif());
  TGIFFrame* Frame = Image->Frames(0);
  for (auto _ : State) {
    Frame->ReplaceBitmap();
    benchmark::DoNotOptimize(Frame->DecodedBitmap()->ScanLine(0));
  }
}

// Memory allocated on top of what was live before, at its peak, while one frame becomes its
// 32-bit bitmap; as a multiple of that bitmap's pixel bytes.
void PeakMemory(benchmark::State& State, const TInput* In) {
  auto Image = LoadImage(In->Gif);
  TGIFFrame* Frame = Image->Frames(0);
  const double Picture = 4.0 * Frame->Item()->FExtent.Width * Frame->Item()->FExtent.Height;
  double Ratio = 0;
  for (auto _ : State) {
    Frame->ReplaceBitmap();
    bench::LiveBytes = bench::PeakBytes = 0;
    bench::Counting = true;
    benchmark::DoNotOptimize(Frame->DecodedBitmap()->ScanLine(0));
    bench::Counting = false;
    Ratio = static_cast<double>(bench::PeakBytes) / Picture;
  }
  State.counters["peak_ratio"] = Ratio;
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
  Inputs.push_back({"interlaced1024", MakeInterlaced()});
  Inputs.push_back({"photo2048", MakePhoto2048()});
  Inputs.push_back({"sprites470x300x400", MakeSprites()});
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
  benchmark::RegisterBenchmark("Fixed/ours/1x1-lzw", FixedCostLZW);
  benchmark::RegisterBenchmark("Fixed/ours/1x1-bitmap", FixedCostBitmap);
  benchmark::RegisterBenchmark("PeakMemory/ours/photo2048", PeakMemory, &Inputs[4])->Iterations(3);
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
