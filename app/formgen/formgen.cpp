// Build step: makes a product's form description from its stored text, picture and mask, and
// writes it as a C++ source that embeds it.
//   orn_formgen TEMPLATE PICTURE.gif MASK.bmp FUNCTION OUT.cpp OUT.dfm
// OUT.cpp defines std::string_view FUNCTION() returning the description; OUT.dfm is the same
// text, for reading.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/form_template.h"
#include "core/exceptions.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw orn::Exception("cannot read " + Path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

void WriteText(const std::string& Path, const std::string& Text) {
  std::ofstream Out(Path, std::ios::binary);
  Out << Text;
  if (!Out) throw orn::Exception("cannot write " + Path);
}

// The description as a character array: its lines as adjacent string literals.
std::string EmbeddingSource(const std::string& Function, const std::string& Text) {
  std::ostringstream S;
  S << "// Made by orn_formgen from the product's form description and assets.\n"
    << "#include <string_view>\n\nnamespace {\nconst char Description[] =\n";
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find('\n', Start);
    End = End == std::string::npos ? Text.size() : End + 1;
    S << "    \"";
    for (size_t I = Start; I < End; ++I) {
      const unsigned char C = static_cast<unsigned char>(Text[I]);
      if (C == '\\' || C == '"')
        S << '\\' << C;
      else if (C == '\n')
        S << "\\n";
      else if (C < 0x20 || C >= 0x7F) {
        char Buf[8];
        std::snprintf(Buf, sizeof Buf, "\\%03o", C);
        S << Buf;
      } else
        S << C;
    }
    S << "\"\n";
    Start = End;
  }
  S << "    \"\";\n}  // namespace\n\nnamespace orn {\nstd::string_view " << Function
    << "() {\n  return {Description, sizeof Description - 1};\n}\n}  // namespace orn\n";
  return S.str();
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 7) {
    std::fprintf(stderr,
                 "usage: orn_formgen TEMPLATE PICTURE.gif MASK.bmp FUNCTION OUT.cpp OUT.dfm\n");
    return 2;
  }
  try {
    const std::vector<uint8_t> Template = ReadBytes(Argv[1]);
    const std::string Text = orn::MakeFormDescription(std::string(Template.begin(), Template.end()),
                                                      ReadBytes(Argv[2]), ReadBytes(Argv[3]));
    WriteText(Argv[6], Text);
    WriteText(Argv[5], EmbeddingSource(Argv[4], Text));
  } catch (const std::exception& E) {
    std::fprintf(stderr, "orn_formgen: %s\n", E.what());
    return 1;
  }
  return 0;
}
