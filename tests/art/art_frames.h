// Reading back the frames of a GIF the art generator wrote: each image's place, its
// graphic control values and its decoded colour indices.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/stream.h"
#include "gif/lzw_decoder.h"
#include "gif/write_test_util.h"

namespace orn::testing {

// One frame as read back: where it lies, its control values and its decoded indices.
struct TFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  uint8_t Packed = 0;
  int Delay = 0, Disposal = 0;
  bool HasKey = false;
  int Key = -1;
  std::vector<uint8_t> Pixels;  // row by row, top first
};

inline std::vector<TFrame> DecodeFrames(const TParsedGIF& G) {
  std::vector<TFrame> Out;
  const TParsedBlock* Control = nullptr;
  for (const TParsedBlock& B : G.Blocks) {
    if (B.Kind == '!' && B.Label == 0xF9) {
      EXPECT_EQ(Control, nullptr) << "two graphic control extensions before one image";
      Control = &B;
      continue;
    }
    if (B.Kind != ',') continue;
    TFrame F;
    EXPECT_NE(Control, nullptr) << "image " << Out.size() << " without graphic control";
    if (Control) {
      EXPECT_EQ(Control->Fixed[0], 4);
      F.Disposal = (Control->Fixed[1] >> 2) & 7;
      F.Delay = Control->Fixed[2] | Control->Fixed[3] << 8;
      F.HasKey = (Control->Fixed[1] & 1) != 0;
      F.Key = Control->Fixed[4];
    }
    Control = nullptr;
    F.Left = B.Fixed[0] | B.Fixed[1] << 8;
    F.Top = B.Fixed[2] | B.Fixed[3] << 8;
    F.Width = B.Fixed[4] | B.Fixed[5] << 8;
    F.Height = B.Fixed[6] | B.Fixed[7] << 8;
    F.Packed = B.Fixed[8];
    EXPECT_EQ(B.Data.at(0), 8) << "minimum code size of image " << Out.size();
    orn::TMemoryStream Code;
    Code.WriteBuffer(B.Data.data(), static_cast<int64_t>(B.Data.size()));
    Code.SetPosition(0);
    const int64_t Stride = orn::DIBStride(F.Width, 8);
    std::vector<uint8_t> Rows(static_cast<size_t>(Stride * F.Height));
    bool Corrupt = false;
    orn::DecodeLZW(Code, F.Width, F.Height, 8, (F.Packed & 0x40) != 0, nullptr, Corrupt, Rows, 8,
                   false);
    EXPECT_FALSE(Corrupt);
    F.Pixels.resize(static_cast<size_t>(F.Width) * F.Height);
    for (int Y = 0; Y < F.Height; ++Y)
      for (int X = 0; X < F.Width; ++X)
        F.Pixels[static_cast<size_t>(Y) * F.Width + X] =
            Rows[static_cast<size_t>((F.Height - 1 - Y) * Stride + X)];
    Out.push_back(std::move(F));
  }
  EXPECT_EQ(Control, nullptr) << "graphic control extension without an image";
  return Out;
}

}  // namespace orn::testing
