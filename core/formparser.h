// The text form of a form description, parsed into a tree before anything is created, so
// that a syntax error leaves no half-built objects behind.
//
//   object frmMain: TfrmMain          (or "object TfrmMain" for an unnamed object)
//     Left = -192                     integers: decimal, $hex, with a leading minus
//     Caption = 'It''s'#13'two' +     strings: quoted pieces, #nnn codes, '+' across lines
//       ' lines'
//     BorderIcons = [biSystemMenu]    sets of identifiers
//     Visible = True                  identifiers (booleans, enumerations, names)
//     Font.Name = 'Tahoma'            dotted property names reach sub-objects
//     Image.Data = {0A54...}          binary data in hexadecimal, any line breaks
//     object Child: TClass ... end    nested objects, after the properties
//   end
//
// Character codes #0 to #255 stand for that byte; larger codes (up to $10FFFF) for the
// character's UTF-8 bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orn {

enum class TDescValueKind { dvInteger, dvString, dvIdent, dvSet, dvBinary };

struct TDescValue {
  TDescValueKind Kind = TDescValueKind::dvInteger;
  int Line = 0;
  int64_t Int = 0;
  std::string Text;                // string value or identifier
  std::vector<std::string> Items;  // set elements
  std::vector<uint8_t> Bytes;      // binary data
};

struct TDescProperty {
  int Line = 0;
  std::string Name;  // possibly dotted
  TDescValue Value;
};

struct TDescObject {
  int Line = 0;
  std::string Name;  // empty for an unnamed object
  std::string ClassName;
  std::vector<TDescProperty> Properties;
  std::vector<std::unique_ptr<TDescObject>> Children;
};

// Deepest nesting of objects accepted; deeper input is refused rather than risking the stack.
constexpr int MaxDescNesting = 200;

// Parses one object and everything nested in it; only white space may follow. Raises
// EParserError "Line N: <what> expected but <what> found" (or another "Line N: ..." message)
// for malformed text.
std::unique_ptr<TDescObject> ParseFormDescription(const std::string& Text);

}  // namespace orn
