// giftool: inspects and converts GIF files through the codec.
//   giftool info FILE.gif [--json]
//   giftool frames FILE.gif DIR [--composed]
//   giftool encode OUT.gif IN.png [IN.png ...] [--delay MS] [--loop N] [--method M]
//   giftool resave IN.gif OUT.gif
// Errors go to standard error as "giftool: <message>" with exit status 1; usage errors exit 2.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "anim/gif_animator.h"
#include "core/exceptions.h"
#include "gfx/bitmap.h"
#include "gif/color_reduction.h"
#include "gif/gif_image.h"
#include "tools/png_io.h"
#include "ui/headless/headless.h"

using namespace orn;
using orn::tools::TRgbaImage;

namespace {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const char* const Usage =
    "usage: giftool info FILE.gif [--json]\n"
    "       giftool frames FILE.gif DIR [--composed]\n"
    "       giftool encode OUT.gif IN.png [IN.png ...] [--delay MS] [--loop N]\n"
    "                      [--method popularity|median-cut|uniform784|uniform666|"
    "channel-cycle|grey]\n"
    "       giftool resave IN.gif OUT.gif\n";

std::string HexColor(TColor C) {
  if (C == clNone) return "";
  char Buf[8];
  std::snprintf(Buf, sizeof Buf, "#%02x%02x%02x", static_cast<unsigned>(C & 0xFF),
                static_cast<unsigned>((C >> 8) & 0xFF), static_cast<unsigned>((C >> 16) & 0xFF));
  return Buf;
}

std::string JsonString(const std::string& S) {
  std::string R = "\"";
  for (unsigned char C : S) {
    switch (C) {
      case '"':
        R += "\\\"";
        break;
      case '\\':
        R += "\\\\";
        break;
      case '\n':
        R += "\\n";
        break;
      case '\r':
        R += "\\r";
        break;
      case '\t':
        R += "\\t";
        break;
      default:
        if (C < 0x20) {
          char Buf[8];
          std::snprintf(Buf, sizeof Buf, "\\u%04x", C);
          R += Buf;
        } else {
          R += static_cast<char>(C);
        }
    }
  }
  return R + "\"";
}

std::string JsonColor(TColor C) {
  return C == clNone ? "null" : JsonString(HexColor(C));
}

// The comment lines of the image joined with LF.
std::string CommentText(TGIFImage& Image) {
  std::string R;
  const TStringList& L = Image.ImageComment();
  for (int I = 0; I < L.Count(); ++I) R += (I ? "\n" : "") + L[I];
  return R;
}

void LoadGif(TGIFImage& Image, const std::string& FileName) {
  Image.LoadFromFile(FileName);
}

int CmdInfo(const std::vector<std::string>& Args) {
  bool Json = false;
  std::vector<std::string> Files;
  for (const auto& A : Args) {
    if (A == "--json")
      Json = true;
    else if (A.rfind("--", 0) == 0)
      throw UsageError("unknown option " + A);
    else
      Files.push_back(A);
  }
  if (Files.size() != 1) throw UsageError("info takes one file");
  TGIFImage Image;
  LoadGif(Image, Files[0]);
  // Decoding each frame finds damage that reading alone cannot see; a frame whose decoding
  // fails counts as damaged.
  std::vector<bool> Corrupt;
  for (int I = 0; I < Image.FrameCount(); ++I) {
    TGIFFrame* F = Image.Frames(I);
    bool Bad = false;
    try {
      F->DecodedBitmap();
    } catch (const Exception&) {
      Bad = true;
    }
    Corrupt.push_back(Bad || F->DataCorrupt());
  }
  const std::string Version = GIFVersionTexts[static_cast<int>(Image.Revision())];
  std::ostringstream O;
  if (Json) {
    O << "{\"version\":" << JsonString(Version) << ",\"width\":" << Image.LogicalWidth()
      << ",\"height\":" << Image.LogicalHeight()
      << ",\"background\":" << JsonColor(Image.BackColor())
      << ",\"loop\":{\"enabled\":" << (Image.LoopEnabled() ? "true" : "false")
      << ",\"count\":" << Image.LoopCount() << "},\"comment\":" << JsonString(CommentText(Image))
      << ",\"frames\":[";
    for (int I = 0; I < Image.FrameCount(); ++I) {
      TGIFFrame* F = Image.Frames(I);
      O << (I ? "," : "") << "{\"left\":" << F->Origin().X << ",\"top\":" << F->Origin().Y
        << ",\"width\":" << F->Item()->FExtent.Width << ",\"height\":" << F->Item()->FExtent.Height
        << ",\"interlaced\":" << (F->IsInterlaced() ? "true" : "false")
        << ",\"local_table\":" << (F->HasLocalTable() ? "true" : "false")
        << ",\"colors\":" << F->Item()->FFrameTable.EntryCount << ",\"delay_ms\":" << F->DelayMs()
        << ",\"disposal\":" << static_cast<int>(F->DisposeMode())
        << ",\"key_color\":" << JsonColor(F->KeyColor())
        << ",\"corrupt\":" << (Corrupt[static_cast<size_t>(I)] ? "true" : "false") << "}";
    }
    O << "]}\n";
  } else {
    O << "version: " << Version << "\n"
      << "logical size: " << Image.LogicalWidth() << " x " << Image.LogicalHeight() << "\n"
      << "background: " << (Image.BackColor() == clNone ? "none" : HexColor(Image.BackColor()))
      << "\n"
      << "loop: " << (Image.LoopEnabled() ? "enabled" : "disabled") << ", count "
      << Image.LoopCount() << "\n"
      << "comment: " << CommentText(Image) << "\n"
      << "frames: " << Image.FrameCount() << "\n";
    for (int I = 0; I < Image.FrameCount(); ++I) {
      TGIFFrame* F = Image.Frames(I);
      O << "frame " << I << ": origin " << F->Origin().X << "," << F->Origin().Y << " size "
        << F->Item()->FExtent.Width << " x " << F->Item()->FExtent.Height
        << (F->IsInterlaced() ? " interlaced" : "")
        << (F->HasLocalTable() ? " local table" : " global table") << ", "
        << F->Item()->FFrameTable.EntryCount << " colours, delay " << F->DelayMs()
        << " ms, disposal " << static_cast<int>(F->DisposeMode()) << ", key colour "
        << (F->KeyColor() == clNone ? "none" : HexColor(F->KeyColor()))
        << (Corrupt[static_cast<size_t>(I)] ? ", damaged" : "") << "\n";
    }
  }
  std::cout << O.str();
  return 0;
}

// The pixels of a bitmap as RGBA, read through a 32-bit copy so that every pixel format
// (indexed with its palette, monochrome, true colour) comes out as the bitmap shows it.
TRgbaImage BitmapToRgba(TBitmap& Source) {
  TBitmap Copy;
  Copy.Assign(&Source);
  Copy.SetPixelFormat(TPixelFormat::pf32bit);
  TRgbaImage R;
  R.Width = Copy.Width();
  R.Height = Copy.Height();
  R.Pixels.resize(static_cast<size_t>(R.Width) * R.Height * 4);
  for (int Y = 0; Y < R.Height; ++Y) {
    const uint8_t* S = Copy.ScanLine(Y);
    uint8_t* D = R.Row(Y);
    for (int X = 0; X < R.Width; ++X) {
      D[X * 4] = S[X * 4 + 2];
      D[X * 4 + 1] = S[X * 4 + 1];
      D[X * 4 + 2] = S[X * 4];
      D[X * 4 + 3] = 255;
    }
  }
  return R;
}

std::string FrameFileName(const std::string& Dir, const char* Stem, int Index) {
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%s-%03d.png", Stem, Index);
  return (std::filesystem::path(Dir) / Buf).string();
}

// The full logical screen as the animator's frame compositor shows frame 0, 1, 2, ... in
// turn (each step built from the previous one, as during playback), the picture's transparent
// colour given alpha 0. The animator needs a window system; the headless one has no window.
void WriteComposedFrames(TGIFImage& Image, const std::string& Dir) {
  if (Image.Empty() || Image.LogicalWidth() <= 0 || Image.LogicalHeight() <= 0) return;
  THeadlessBackend Backend;
  TGIFAnimator Animator(nullptr);
  Animator.SetImage(&Image);
  for (int I = 0; I < Image.FrameCount(); ++I) {
    TColor Trans = clNone;
    TRgbaImage Picture = BitmapToRgba(*Animator.ComposeFrame(I, Trans));
    if (Trans != clNone) {
      const TColor Key = ColorToRGB(Trans);
      for (size_t P = 0; P < Picture.Pixels.size(); P += 4) {
        const uint8_t* Px = &Picture.Pixels[P];
        if ((Px[0] | (Px[1] << 8) | (Px[2] << 16)) == static_cast<int>(Key & 0xFFFFFF))
          Picture.Pixels[P + 3] = 0;
      }
    }
    tools::WritePng(FrameFileName(Dir, "composed", I), Picture, true);
  }
}

int CmdFrames(const std::vector<std::string>& Args) {
  bool Composed = false;
  std::vector<std::string> Pos;
  for (const auto& A : Args) {
    if (A == "--composed")
      Composed = true;
    else if (A.rfind("--", 0) == 0)
      throw UsageError("unknown option " + A);
    else
      Pos.push_back(A);
  }
  if (Pos.size() != 2) throw UsageError("frames takes a file and a folder");
  TGIFImage Image;
  LoadGif(Image, Pos[0]);
  std::filesystem::create_directories(Pos[1]);
  if (Composed) {
    WriteComposedFrames(Image, Pos[1]);
    return 0;
  }
  for (int I = 0; I < Image.FrameCount(); ++I) {
    TBitmap* B = Image.Frames(I)->DecodedBitmap();
    tools::WritePng(FrameFileName(Pos[1], "frame", I), BitmapToRgba(*B), false);
  }
  return 0;
}

TReductionMethod ParseMethod(const std::string& Name) {
  static const std::map<std::string, TReductionMethod> Methods = {
      {"popularity", TReductionMethod::rmPopularity},
      {"median-cut", TReductionMethod::rmMedianCut},
      {"uniform784", TReductionMethod::rmUniform784},
      {"uniform666", TReductionMethod::rmUniform666},
      {"channel-cycle", TReductionMethod::rmChannelCycle},
      {"grey", TReductionMethod::rmGreyScale}};
  auto It = Methods.find(Name);
  if (It == Methods.end()) throw UsageError("unknown method " + Name);
  return It->second;
}

int ParseNumber(const std::string& Option, const std::string& Value, int Max) {
  char* End = nullptr;
  const long N = std::strtol(Value.c_str(), &End, 10);
  if (Value.empty() || *End != '\0' || N < 0 || N > Max)
    throw UsageError(Option + " takes a whole number from 0 to " + std::to_string(Max));
  return static_cast<int>(N);
}

int CmdEncode(const std::vector<std::string>& Args) {
  int DelayMs = 0;
  int Loop = -1;
  TReductionMethod Method = DefaultReduction;
  std::vector<std::string> Pos;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    auto Value = [&]() -> const std::string& {
      if (I + 1 >= Args.size()) throw UsageError(A + " needs a value");
      return Args[++I];
    };
    if (A == "--delay")
      DelayMs = ParseNumber(A, Value(), 655350);
    else if (A == "--loop")
      Loop = ParseNumber(A, Value(), 65535);
    else if (A == "--method")
      Method = ParseMethod(Value());
    else if (A.rfind("--", 0) == 0)
      throw UsageError("unknown option " + A);
    else
      Pos.push_back(A);
  }
  if (Pos.size() < 2) throw UsageError("encode takes an output file and at least one PNG");
  if (DelayMs > 65535) throw UsageError("--delay takes at most 65535 ms");
  DefaultReduction = Method;
  TGIFImage Image;
  for (size_t I = 1; I < Pos.size(); ++I) {
    const TRgbaImage Png = tools::ReadPng(Pos[I]);
    TBitmap B;
    B.SetPixelFormat(TPixelFormat::pf32bit);
    B.SetSize(Png.Width, Png.Height);
    for (int Y = 0; Y < Png.Height; ++Y) {
      uint8_t* D = B.ScanLine(Y);
      const uint8_t* S = Png.Row(Y);
      for (int X = 0; X < Png.Width; ++X) {
        D[X * 4] = S[X * 4 + 2];
        D[X * 4 + 1] = S[X * 4 + 1];
        D[X * 4 + 2] = S[X * 4];
        D[X * 4 + 3] = 0;
      }
    }
    const int Index = Image.AppendFrame(&B);
    TGIFFrame* F = Image.Frames(Index);
    F->SetDelayMs(static_cast<uint16_t>(DelayMs));
    F->SetUseGrayPalette(Method == TReductionMethod::rmGreyScale);
  }
  if (Loop >= 0) {
    Image.SetLoopEnabled(true);
    Image.SetLoopCount(static_cast<uint16_t>(Loop));
  }
  Image.SaveToFile(Pos[0]);
  return 0;
}

int CmdResave(const std::vector<std::string>& Args) {
  if (Args.size() != 2) throw UsageError("resave takes an input and an output file");
  TGIFImage Image;
  LoadGif(Image, Args[0]);
  Image.SaveToFile(Args[1]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  try {
    if (Args.empty()) throw UsageError("no command given");
    const std::string Cmd = Args[0];
    Args.erase(Args.begin());
    InitializeGIFCodec();
    if (Cmd == "info") return CmdInfo(Args);
    if (Cmd == "frames") return CmdFrames(Args);
    if (Cmd == "encode") return CmdEncode(Args);
    if (Cmd == "resave") return CmdResave(Args);
    throw UsageError("unknown command " + Cmd);
  } catch (const UsageError& E) {
    std::cerr << "giftool: " << E.what() << "\n" << Usage;
    return 2;
  } catch (const std::exception& E) {
    std::cerr << "giftool: " << E.what() << "\n";
    return 1;
  }
}
