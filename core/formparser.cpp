#include "core/formparser.h"

#include <limits>

#include "core/component.h"
#include "core/exceptions.h"

namespace orn {

namespace {

enum class TTokenKind { tkEOF, tkSymbol, tkIdent, tkString, tkInteger };

struct TToken {
  TTokenKind Kind = TTokenKind::tkEOF;
  int Line = 1;
  char Symbol = 0;
  std::string Text;  // identifier (dots included), decoded string, or the symbol's source
  int64_t Int = 0;
};

bool IsIdentStart(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_';
}
bool IsIdentChar(char C) {
  return IsIdentStart(C) || (C >= '0' && C <= '9');
}
bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}
int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// A short, printable picture of a piece of source for messages.
std::string Printable(const std::string& S) {
  std::string R;
  for (unsigned char C : S) {
    if (R.size() >= 40) {
      R += "...";
      break;
    }
    if (C < 32 || C == 127)
      R += "#" + std::to_string(C);
    else
      R += static_cast<char>(C);
  }
  return R;
}

void AppendUtf8(std::string& S, uint32_t Code) {
  if (Code < 0x80) {
    S += static_cast<char>(Code);
  } else if (Code < 0x800) {
    S += static_cast<char>(0xC0 | (Code >> 6));
    S += static_cast<char>(0x80 | (Code & 0x3F));
  } else if (Code < 0x10000) {
    S += static_cast<char>(0xE0 | (Code >> 12));
    S += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    S += static_cast<char>(0x80 | (Code & 0x3F));
  } else {
    S += static_cast<char>(0xF0 | (Code >> 18));
    S += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
    S += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    S += static_cast<char>(0x80 | (Code & 0x3F));
  }
}

class TParser {
 public:
  explicit TParser(const std::string& Text) : FText(Text) { Next(); }

  std::unique_ptr<TDescObject> ParseRoot() {
    auto Root = ParseObject(1);
    if (FToken.Kind != TTokenKind::tkEOF) Expected("end of file");
    return Root;
  }

 private:
  [[noreturn]] void Error(int Line, const std::string& Message) const {
    throw EParserError("Line " + std::to_string(Line) + ": " + Message);
  }

  std::string Describe(const TToken& T) const {
    switch (T.Kind) {
      case TTokenKind::tkEOF:
        return "end of file";
      case TTokenKind::tkString:
        return "string '" + Printable(T.Text) + "'";
      default:
        return "'" + Printable(T.Text) + "'";
    }
  }

  [[noreturn]] void Expected(const std::string& What) const {
    Error(FToken.Line, What + " expected but " + Describe(FToken) + " found");
  }

  bool IsSymbol(char C) const { return FToken.Kind == TTokenKind::tkSymbol && FToken.Symbol == C; }
  bool IsWord(const char* W) const {
    return FToken.Kind == TTokenKind::tkIdent && SameText(FToken.Text, W);
  }
  void ExpectSymbol(char C) {
    if (!IsSymbol(C)) Expected(std::string("'") + C + "'");
    Next();
  }
  // A plain (undotted) identifier.
  std::string ExpectIdent() {
    if (FToken.Kind != TTokenKind::tkIdent || FToken.Text.find('.') != std::string::npos)
      Expected("Identifier");
    std::string S = FToken.Text;
    Next();
    return S;
  }

  std::unique_ptr<TDescObject> ParseObject(int Depth) {
    if (Depth > MaxDescNesting) Error(FToken.Line, "Objects nested too deeply");
    if (IsWord("inherited") || IsWord("inline"))
      Error(FToken.Line, "'" + FToken.Text + "' objects are not supported");
    if (!IsWord("object")) Expected("'object'");
    auto Obj = std::make_unique<TDescObject>();
    Obj->Line = FToken.Line;
    Next();
    std::string First = ExpectIdent();
    if (IsSymbol(':')) {
      Next();
      Obj->Name = First;
      Obj->ClassName = ExpectIdent();
    } else {
      Obj->ClassName = First;
    }
    if (IsSymbol('[')) Error(FToken.Line, "Child order indices are not supported");
    // Properties first, then nested objects, then "end".
    while (FToken.Kind == TTokenKind::tkIdent && !IsWord("object") && !IsWord("end") &&
           !IsWord("inherited") && !IsWord("inline"))
      Obj->Properties.push_back(ParseProperty());
    while (!IsWord("end")) {
      if (FToken.Kind == TTokenKind::tkEOF) Expected("'end'");
      if (!IsWord("object") && !IsWord("inherited") && !IsWord("inline")) Expected("'end'");
      Obj->Children.push_back(ParseObject(Depth + 1));
    }
    Next();
    return Obj;
  }

  TDescProperty ParseProperty() {
    TDescProperty P;
    P.Line = FToken.Line;
    P.Name = FToken.Text;
    Next();
    ExpectSymbol('=');
    P.Value = ParseValue();
    return P;
  }

  TDescValue ParseValue() {
    TDescValue V;
    V.Line = FToken.Line;
    switch (FToken.Kind) {
      case TTokenKind::tkInteger:
        V.Kind = TDescValueKind::dvInteger;
        V.Int = FToken.Int;
        Next();
        return V;
      case TTokenKind::tkString:
        V.Kind = TDescValueKind::dvString;
        V.Text = FToken.Text;
        Next();
        while (IsSymbol('+')) {
          Next();
          if (FToken.Kind != TTokenKind::tkString) Expected("String");
          V.Text += FToken.Text;
          Next();
        }
        return V;
      case TTokenKind::tkIdent:
        V.Kind = TDescValueKind::dvIdent;
        V.Text = ExpectIdent();
        return V;
      case TTokenKind::tkSymbol:
        if (FToken.Symbol == '[') {
          V.Kind = TDescValueKind::dvSet;
          Next();
          if (!IsSymbol(']')) {
            V.Items.push_back(ExpectIdent());
            while (IsSymbol(',')) {
              Next();
              V.Items.push_back(ExpectIdent());
            }
          }
          ExpectSymbol(']');
          return V;
        }
        if (FToken.Symbol == '{') {
          V.Kind = TDescValueKind::dvBinary;
          ReadBinary(V.Bytes);
          Next();
          return V;
        }
        if (FToken.Symbol == '(' || FToken.Symbol == '<')
          Error(FToken.Line, "Lists and collections are not supported");
        break;
      case TTokenKind::tkEOF:
        break;
    }
    Expected("Property value");
  }

  // Called with the current token '{': reads hex digit pairs up to '}' straight from the
  // text; the token after the '}' is read by the caller.
  void ReadBinary(std::vector<uint8_t>& Bytes) {
    const int StartLine = FToken.Line;
    int High = -1;
    while (true) {
      if (FPos >= FText.size()) Error(FLine, "'}' expected but end of file found");
      const char C = FText[FPos];
      if (C == '}') {
        ++FPos;
        break;
      }
      if (C == '\n' || C == '\r') {
        SkipLineBreak();
        continue;
      }
      if (C == ' ' || C == '\t') {
        ++FPos;
        continue;
      }
      const int H = HexValue(C);
      if (H < 0) Error(FLine, "Invalid binary value: '" + Printable(std::string(1, C)) + "'");
      ++FPos;
      if (High < 0) {
        High = H;
      } else {
        Bytes.push_back(static_cast<uint8_t>(High * 16 + H));
        High = -1;
      }
    }
    if (High >= 0) Error(StartLine, "Binary value has an odd number of hexadecimal digits");
  }

  void SkipLineBreak() {
    if (FText[FPos] == '\r' && FPos + 1 < FText.size() && FText[FPos + 1] == '\n') ++FPos;
    ++FPos;
    ++FLine;
  }

  void SkipBlanks() {
    while (FPos < FText.size()) {
      const char C = FText[FPos];
      if (C == '\n' || C == '\r')
        SkipLineBreak();
      else if (C == ' ' || C == '\t' || C == '\f' || C == '\v')
        ++FPos;
      else
        break;
    }
  }

  // Reads a decimal or $hex number at FPos into a magnitude; false on overflow.
  bool ReadMagnitude(uint64_t& Value, std::string& Source) {
    Value = 0;
    bool Hex = false;
    if (FPos < FText.size() && FText[FPos] == '$') {
      Hex = true;
      Source += '$';
      ++FPos;
    }
    const size_t Start = FPos;
    bool Overflow = false;
    while (FPos < FText.size()) {
      const char C = FText[FPos];
      const int D = Hex ? HexValue(C) : (IsDigit(C) ? C - '0' : -1);
      if (D < 0) break;
      const uint64_t Base = Hex ? 16 : 10;
      if (Value > (std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(D)) / Base)
        Overflow = true;
      else
        Value = Value * Base + static_cast<uint64_t>(D);
      Source += C;
      ++FPos;
    }
    if (FPos == Start) Error(FLine, "Number expected but '" + Printable(Source) + "' found");
    return !Overflow;
  }

  void Next() {
    SkipBlanks();
    FToken = TToken();
    FToken.Line = FLine;
    if (FPos >= FText.size()) return;
    const char C = FText[FPos];
    if (IsIdentStart(C)) {
      FToken.Kind = TTokenKind::tkIdent;
      while (true) {
        while (FPos < FText.size() && IsIdentChar(FText[FPos])) FToken.Text += FText[FPos++];
        if (FPos + 1 < FText.size() && FText[FPos] == '.' && IsIdentStart(FText[FPos + 1])) {
          FToken.Text += '.';
          ++FPos;
          continue;
        }
        break;
      }
      return;
    }
    if (C == '\'' || C == '#') {
      ReadString();
      return;
    }
    if (IsDigit(C) || C == '$' ||
        (C == '-' && FPos + 1 < FText.size() &&
         (IsDigit(FText[FPos + 1]) || FText[FPos + 1] == '$'))) {
      ReadNumber();
      return;
    }
    FToken.Kind = TTokenKind::tkSymbol;
    FToken.Symbol = C;
    FToken.Text = std::string(1, C);
    ++FPos;
  }

  void ReadNumber() {
    FToken.Kind = TTokenKind::tkInteger;
    bool Negative = false;
    std::string Source;
    if (FText[FPos] == '-') {
      Negative = true;
      Source += '-';
      ++FPos;
    }
    uint64_t Magnitude = 0;
    const bool Fits = ReadMagnitude(Magnitude, Source);
    FToken.Text = Source;
    if (FPos < FText.size() && (FText[FPos] == '.' || IsIdentChar(FText[FPos]))) {
      if (FText[FPos] == '.' && FPos + 1 < FText.size() && IsDigit(FText[FPos + 1]))
        Error(FLine, "Floating-point values are not supported");
      Error(FLine, "Invalid number: '" + Printable(Source + FText[FPos]) + "'");
    }
    const uint64_t Limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (!Fits || Magnitude > Limit + (Negative ? 1 : 0))
      Error(FLine, "Number out of range: " + Printable(Source));
    if (Negative)
      FToken.Int = Magnitude == Limit + 1 ? std::numeric_limits<int64_t>::min()
                                          : -static_cast<int64_t>(Magnitude);
    else
      FToken.Int = static_cast<int64_t>(Magnitude);
  }

  // Quoted pieces and #nnn codes, written together without blanks.
  void ReadString() {
    FToken.Kind = TTokenKind::tkString;
    while (FPos < FText.size()) {
      const char C = FText[FPos];
      if (C == '\'') {
        ++FPos;
        while (true) {
          if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r')
            Error(FLine, "Unterminated string");
          const char D = FText[FPos++];
          if (D == '\'') {
            if (FPos < FText.size() && FText[FPos] == '\'') {
              FToken.Text += '\'';
              ++FPos;
              continue;
            }
            break;
          }
          FToken.Text += D;
        }
      } else if (C == '#') {
        ++FPos;
        uint64_t Code = 0;
        std::string Source = "#";
        const bool Fits = ReadMagnitude(Code, Source);
        if (!Fits || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF))
          Error(FLine, "Invalid character code: " + Printable(Source));
        if (Code <= 255)
          FToken.Text += static_cast<char>(static_cast<uint8_t>(Code));
        else
          AppendUtf8(FToken.Text, static_cast<uint32_t>(Code));
      } else {
        break;
      }
    }
  }

  const std::string& FText;
  size_t FPos = 0;
  int FLine = 1;
  TToken FToken;
};

}  // namespace

std::unique_ptr<TDescObject> ParseFormDescription(const std::string& Text) {
  TParser Parser(Text);
  return Parser.ParseRoot();
}

}  // namespace orn
