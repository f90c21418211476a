// giftool: inspects and converts GIF files through the codec.
//   giftool info FILE.gif [--json]
//   giftool frames FILE.gif DIR [--composed]
//   giftool encode OUT.gif IN.png [IN.png ...] [--delay MS] [--loop N] [--method M]
//   giftool resave IN.gif OUT.gif
//   giftool help | --help | -h
// "-" names standard input or output. Errors go to standard error as
// "giftool: FILE: <message>" with exit status 1; usage errors exit 2.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

// A failure that concerns one file: printed as "FILE: reason".
struct FileError : std::runtime_error {
  FileError(const std::string& File, const std::string& Reason)
      : std::runtime_error(File + ": " + Reason) {}
};

const char* const Usage =
    "usage: giftool info FILE.gif [--json]\n"
    "       giftool frames FILE.gif DIR [--composed]\n"
    "       giftool encode OUT.gif IN.png [IN.png ...] [--delay MS] [--loop N]\n"
    "                      [--method popularity|median-cut|uniform784|uniform666|"
    "channel-cycle|grey]\n"
    "       giftool resave IN.gif OUT.gif\n"
    "       giftool help\n"
    "\n"
    "  info       the picture's header and frames (--json: as one JSON object)\n"
    "  frames     each frame as DIR/frame-NNN.png; --composed: the whole picture as it is\n"
    "             shown at each frame, DIR/composed-NNN.png, transparent where nothing is\n"
    "  encode     one frame per PNG; fully transparent pixels become the transparent colour\n"
    "             --delay MS   display time of each frame in milliseconds, 0 to 65530; GIF\n"
    "                          stores hundredths of a second, so MS is rounded to the\n"
    "                          nearest 10\n"
    "             --loop N     repeat the animation N times, 0 = for ever (needs two or\n"
    "                          more frames)\n"
    "             --method M   colour reduction for pictures of more than 256 colours\n"
    "  resave     read and write a GIF again\n"
    "A file named - is standard input or output. Output files are replaced only when the\n"
    "whole result has been written.\n";

// ---- Files --------------------------------------------------------------------------------

std::vector<uint8_t> ReadInput(const std::string& Name) {
  int Fd = 0;
  if (Name != "-") {
    Fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0) throw FileError(Name, std::strerror(errno));
  }
  // Read to the end: a pipe or a terminal has no size to ask for.
  std::vector<uint8_t> Data;
  char Chunk[1 << 16];
  while (true) {
    const ssize_t N = ::read(Fd, Chunk, sizeof Chunk);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) {
      const int Error = errno;
      if (Fd != 0) ::close(Fd);
      throw FileError(Name, std::strerror(Error));
    }
    if (N == 0) break;
    Data.insert(Data.end(), Chunk, Chunk + N);
  }
  if (Fd != 0) ::close(Fd);
  return Data;
}

void WriteOutput(const std::string& Name, const uint8_t* Data, size_t Size) {
  if (Name == "-") {
    size_t Done = 0;
    while (Done < Size) {
      const ssize_t N = ::write(1, Data + Done, Size - Done);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) throw FileError("standard output", std::strerror(N < 0 ? errno : ENOSPC));
      Done += static_cast<size_t>(N);
    }
    return;
  }
  if (const int Error = TrySaveBytesToFile(Name, Data, static_cast<int64_t>(Size)); Error != 0)
    throw FileError(Name, std::strerror(Error));
}

void LoadGif(TGIFImage& Image, const std::string& Name) {
  TMemoryStream S;
  {
    const std::vector<uint8_t> Bytes = ReadInput(Name);
    S.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  }
  try {
    S.SetPosition(0);
    // No frame is decoded here: the commands decode only what they show. A file with nothing
    // in it is no picture.
    if (S.Size() == 0) RaiseGIFFailure(SGIFReadError);
    Image.LoadGIFData(S.Size(), S, false);
  } catch (const Exception& E) {
    throw FileError(Name, E.what());
  }
}

void SaveGif(TGIFImage& Image, const std::string& Name) {
  TMemoryStream S;
  try {
    Image.SaveToStream(S);
  } catch (const Exception& E) {
    throw FileError(Name, E.what());
  }
  WriteOutput(Name, S.Memory(), static_cast<size_t>(S.Size()));
}

// The frames a command writes, replaced together once all of them are made: a failure
// leaves every earlier file as it was, and the files cost one flush to the disk, not one each.
class TPngOutput {
 public:
  explicit TPngOutput(std::string Dir) : FDir(std::move(Dir)) {}
  void Add(const std::string& Name, const TRgbaImage& Picture, bool WithAlpha) {
    const std::vector<uint8_t> Bytes = tools::EncodePng(Picture, WithAlpha);
    if (const int Error = FFiles.Add(Name, Bytes.data(), static_cast<int64_t>(Bytes.size())))
      throw FileError(Name, std::strerror(Error));
  }
  void Commit() {
    if (const int Error = FFiles.Commit()) throw FileError(FDir, std::strerror(Error));
  }

 private:
  std::string FDir;
  TFileReplacement FFiles;
};

// ---- info ---------------------------------------------------------------------------------

std::string HexColor(TColor C) {
  if (C == clNone) return "";
  char Buf[8];
  std::snprintf(Buf, sizeof Buf, "#%02x%02x%02x", static_cast<unsigned>(C & 0xFF),
                static_cast<unsigned>((C >> 8) & 0xFF), static_cast<unsigned>((C >> 16) & 0xFF));
  return Buf;
}

// Length of the well-formed UTF-8 sequence at S[I], or 0 when the bytes there are not one.
size_t Utf8Length(const std::string& S, size_t I) {
  const auto B = [&](size_t K) { return static_cast<unsigned char>(S[K]); };
  const unsigned char C = B(I);
  size_t N;
  uint32_t Min;
  uint32_t Code;
  if (C < 0x80) return 1;
  if ((C & 0xE0) == 0xC0) {
    N = 2, Min = 0x80, Code = C & 0x1F;
  } else if ((C & 0xF0) == 0xE0) {
    N = 3, Min = 0x800, Code = C & 0x0F;
  } else if ((C & 0xF8) == 0xF0) {
    N = 4, Min = 0x10000, Code = C & 0x07;
  } else {
    return 0;
  }
  if (I + N > S.size()) return 0;
  for (size_t K = 1; K < N; ++K) {
    if ((B(I + K) & 0xC0) != 0x80) return 0;
    Code = (Code << 6) | (B(I + K) & 0x3F);
  }
  if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return 0;
  return N;
}

// A JSON string. Comment bytes are whatever the file holds: well-formed UTF-8 is kept, every
// other byte is written as the character of that value (\u00XX), so the output is always
// valid JSON and no byte is lost.
std::string JsonString(const std::string& S) {
  std::string R = "\"";
  for (size_t I = 0; I < S.size();) {
    const unsigned char C = static_cast<unsigned char>(S[I]);
    const size_t N = Utf8Length(S, I);
    if (N > 1) {
      R.append(S, I, N);
      I += N;
      continue;
    }
    ++I;
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
        if (C < 0x20 || N == 0 || C == 0x7F) {
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
  // Everything shown comes from the headers; no frame is decoded. A frame is reported
  // damaged when its data end before their terminator.
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
        << ",\"corrupt\":" << (F->DataCorrupt() ? "true" : "false") << "}";
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
        << (F->DataCorrupt() ? ", damaged" : "") << "\n";
    }
  }
  std::cout << O.str();
  return 0;
}

// ---- frames -------------------------------------------------------------------------------

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
void WriteComposedFrames(TGIFImage& Image, const std::string& Dir, TPngOutput& Out) {
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
    Out.Add(FrameFileName(Dir, "composed", I), Picture, true);
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
  std::error_code Ec;
  std::filesystem::create_directories(Pos[1], Ec);
  if (Ec) throw FileError(Pos[1], Ec.message());
  if (!std::filesystem::is_directory(Pos[1])) throw FileError(Pos[1], std::strerror(ENOTDIR));
  TPngOutput Out(Pos[1]);
  try {
    if (Composed) {
      WriteComposedFrames(Image, Pos[1], Out);
      Out.Commit();
      return 0;
    }
    for (int I = 0; I < Image.FrameCount(); ++I) {
      TGIFFrame* F = Image.Frames(I);
      if (F->PixelWidth() <= 0 || F->PixelHeight() <= 0) {
        std::cerr << "giftool: " << Pos[0] << ": frame " << I << " is " << F->PixelWidth() << " x "
                  << F->PixelHeight() << " pixels; no picture written for it\n";
        continue;
      }
      Out.Add(FrameFileName(Pos[1], "frame", I), BitmapToRgba(*F->DecodedBitmap()), false);
    }
  } catch (const Exception& E) {
    throw FileError(Pos[0], E.what());
  }
  Out.Commit();
  return 0;
}

// ---- encode -------------------------------------------------------------------------------

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

int ParseNumber(const std::string& Option, const std::string& Value, int Max,
                const std::string& What) {
  char* End = nullptr;
  errno = 0;
  const long N = std::strtol(Value.c_str(), &End, 10);
  if (Value.empty() || *End != '\0' || errno != 0 || N < 0 || N > Max)
    throw UsageError(Option + " takes " + What + " from 0 to " + std::to_string(Max));
  return static_cast<int>(N);
}

// A 32-bit bitmap of the picture's colours (alpha is not kept).
void FillBitmap(TBitmap& B, const TRgbaImage& Png) {
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
}

// A picture with fully transparent pixels becomes an 8-bit bitmap whose palette keeps one
// entry for them alone: the opaque pixels are reduced as usual, an entry they do not use (or,
// when they use all 256, the rarest one, its pixels moved to the nearest other entry) takes
// them, with a colour no other entry has. Returns that colour, the frame's key colour.
TColor MakeKeyedBitmap(TBitmap& Out, const TRgbaImage& Png, TReductionMethod Method) {
  // Transparent pixels take an opaque neighbour's colour, so they cost no palette entry.
  TRgbaImage Opaque = Png;
  const size_t Count = static_cast<size_t>(Png.Width) * Png.Height;
  size_t Fill = Count;
  for (size_t I = 0; I < Count && Fill == Count; ++I)
    if (Png.Pixels[I * 4 + 3] != 0) Fill = I;
  for (size_t I = 0; I < Count; ++I)
    if (Png.Pixels[I * 4 + 3] == 0 && Fill < Count)
      std::memcpy(&Opaque.Pixels[I * 4], &Png.Pixels[Fill * 4], 3);
  TBitmap Full;
  FillBitmap(Full, Opaque);
  std::unique_ptr<TMemoryStream> Dib = ReduceBitmap(Full, Method);
  uint8_t* Mem = Dib->Memory();
  uint8_t* Quads = Mem + 54;
  uint8_t* Rows = Mem + ReducedPixelOffset;
  const int64_t Stride = (static_cast<int64_t>(Png.Width) + 3) / 4 * 4;
  auto At = [&](int X, int Y) -> uint8_t& {
    return Rows[static_cast<int64_t>(Png.Height - 1 - Y) * Stride + X];
  };
  int64_t Uses[256] = {};
  for (int Y = 0; Y < Png.Height; ++Y)
    for (int X = 0; X < Png.Width; ++X)
      if (Png.Row(Y)[X * 4 + 3] != 0) ++Uses[At(X, Y)];
  int Key = 0;
  for (int I = 1; I < 256; ++I)
    if (Uses[I] < Uses[Key]) Key = I;
  if (Uses[Key] > 0) {
    // Every entry is used: the rarest one's pixels go to the nearest other entry.
    int Nearest = -1;
    int64_t Best = 0;
    for (int I = 0; I < 256; ++I) {
      if (I == Key) continue;
      int64_t D = 0;
      for (int C = 0; C < 3; ++C) {
        const int64_t Diff = int64_t{Quads[4 * I + C]} - Quads[4 * Key + C];
        D += Diff * Diff;
      }
      if (Nearest < 0 || D < Best) Nearest = I, Best = D;
    }
    for (int Y = 0; Y < Png.Height; ++Y)
      for (int X = 0; X < Png.Width; ++X)
        if (At(X, Y) == Key) At(X, Y) = static_cast<uint8_t>(Nearest);
  }
  for (int Y = 0; Y < Png.Height; ++Y)
    for (int X = 0; X < Png.Width; ++X)
      if (Png.Row(Y)[X * 4 + 3] == 0) At(X, Y) = static_cast<uint8_t>(Key);
  // A colour that no other entry has, so the key colour names this entry alone.
  uint32_t Colour = 0xFF00FF;
  auto Taken = [&](uint32_t C) {
    for (int I = 0; I < 256; ++I)
      if (I != Key && (Quads[4 * I + 2] | (Quads[4 * I + 1] << 8) |
                       (static_cast<uint32_t>(Quads[4 * I]) << 16)) == C)
        return true;
    return false;
  };
  while (Taken(Colour)) Colour = (Colour + 0x010203) & 0xFFFFFF;
  Quads[4 * Key] = static_cast<uint8_t>(Colour >> 16);
  Quads[4 * Key + 1] = static_cast<uint8_t>(Colour >> 8);
  Quads[4 * Key + 2] = static_cast<uint8_t>(Colour);
  Quads[4 * Key + 3] = 0;
  Dib->SetPosition(0);
  Out.LoadFromStream(*Dib);
  return static_cast<TColor>(Colour);
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
      // GIF keeps hundredths of a second in 16 bits; 65530 ms is the largest multiple of 10
      // that the frame's millisecond field holds.
      DelayMs = (ParseNumber(A, Value(), 65530, "milliseconds") + 5) / 10 * 10;
    else if (A == "--loop")
      Loop = ParseNumber(A, Value(), 65535, "a repeat count");
    else if (A == "--method")
      Method = ParseMethod(Value());
    else if (A.rfind("--", 0) == 0)
      throw UsageError("unknown option " + A);
    else
      Pos.push_back(A);
  }
  if (Pos.size() < 2) throw UsageError("encode takes an output file and at least one PNG");
  if (Loop >= 0 && Pos.size() < 3)
    throw UsageError("--loop needs two or more frames: a single picture does not animate");
  DefaultReduction = Method;
  TGIFImage Image;
  for (size_t I = 1; I < Pos.size(); ++I) {
    const std::vector<uint8_t> File = ReadInput(Pos[I]);
    TRgbaImage Png;
    try {
      Png = tools::ReadPngFromMemory(File.data(), File.size(), MaxGIFFramePixels);
    } catch (const Exception& E) {
      throw FileError(Pos[I], E.what());
    }
    bool Keyed = false;
    for (size_t P = 3; P < Png.Pixels.size() && !Keyed; P += 4) Keyed = Png.Pixels[P] == 0;
    TBitmap B;
    TColor Key = clNone;
    if (Keyed)
      Key = MakeKeyedBitmap(B, Png, Method);
    else
      FillBitmap(B, Png);
    const int Index = Image.AppendFrame(&B);
    TGIFFrame* F = Image.Frames(Index);
    F->SetDelayMs(static_cast<uint16_t>(DelayMs));
    F->SetUseGrayPalette(Method == TReductionMethod::rmGreyScale);
    F->SetKeyColor(Key);
  }
  if (Loop >= 0) {
    Image.SetLoopEnabled(true);
    Image.SetLoopCount(static_cast<uint16_t>(Loop));
  }
  SaveGif(Image, Pos[0]);
  return 0;
}

int CmdResave(const std::vector<std::string>& Args) {
  if (Args.size() != 2) throw UsageError("resave takes an input and an output file");
  TGIFImage Image;
  LoadGif(Image, Args[0]);
  SaveGif(Image, Args[1]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  try {
    if (Args.empty()) throw UsageError("no command given");
    const std::string Cmd = Args[0];
    Args.erase(Args.begin());
    if (Cmd == "help" || Cmd == "--help" || Cmd == "-h") {
      std::cout << Usage;
      return 0;
    }
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
