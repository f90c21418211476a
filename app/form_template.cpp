#include "app/form_template.h"

#include "core/exceptions.h"

namespace orn {

namespace {

void AppendLength(std::vector<uint8_t>& Out, size_t Size) {
  const uint32_t N = static_cast<uint32_t>(Size);
  for (int Shift = 0; Shift < 32; Shift += 8) Out.push_back(static_cast<uint8_t>(N >> Shift));
}

// "{" then the bytes as hex lines of 32 bytes, each indented under the property, then "}";
// the way the form writer lays out binary data.
std::string HexBlock(const std::vector<uint8_t>& Bytes, size_t Indent) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out = "{";
  for (size_t I = 0; I < Bytes.size(); ++I) {
    if (I % 32 == 0) Out += "\n" + std::string(Indent + 2, ' ');
    Out += Hex[Bytes[I] >> 4];
    Out += Hex[Bytes[I] & 15];
  }
  return Out + "}";
}

void Substitute(std::string& Text, const std::string& Marker, const std::vector<uint8_t>& Bytes) {
  const size_t At = Text.find(Marker);
  if (At == std::string::npos || Text.find(Marker, At + 1) != std::string::npos)
    throw Exception("The form description needs exactly one " + Marker);
  const size_t LineStart = Text.rfind('\n', At) + 1;  // npos + 1 = 0 on the first line
  size_t Indent = 0;
  while (LineStart + Indent < At && Text[LineStart + Indent] == ' ') ++Indent;
  Text.replace(At, Marker.size(), HexBlock(Bytes, Indent));
}

}  // namespace

std::vector<uint8_t> PictureData(const std::vector<uint8_t>& Gif) {
  std::vector<uint8_t> Out;
  // Sized up front: growing inside insert trips a false bounds warning of GCC 12 at -O3.
  Out.reserve(4 + Gif.size());
  AppendLength(Out, Gif.size());
  Out.insert(Out.end(), Gif.begin(), Gif.end());
  return Out;
}

std::vector<uint8_t> MaskData(const std::vector<uint8_t>& Bmp) {
  const std::string ClassName = "TBitmap";
  std::vector<uint8_t> Out;
  Out.reserve(1 + ClassName.size() + 4 + Bmp.size());
  Out.push_back(static_cast<uint8_t>(ClassName.size()));
  Out.insert(Out.end(), ClassName.begin(), ClassName.end());
  AppendLength(Out, Bmp.size());
  Out.insert(Out.end(), Bmp.begin(), Bmp.end());
  return Out;
}

std::string MakeFormDescription(const std::string& Template, const std::vector<uint8_t>& Gif,
                                const std::vector<uint8_t>& Bmp) {
  std::string Text = Template;
  Substitute(Text, "{@PICTURE@}", PictureData(Gif));
  Substitute(Text, "{@MASK@}", MaskData(Bmp));
  return Text;
}

}  // namespace orn
