#include "gif/gif_errors.h"

#include <cstdio>
#include <cstring>

#include "core/exceptions.h"

namespace orn {

void RaiseGIFFailure(const std::string& Message) {
  throw EInvalidGraphicOperation(Message);
}

std::string UnknownExtensionMessage(unsigned Label) {
  // The resource text carries a "%.2x" placeholder; the label is shown in upper case.
  std::string Text = SGIFUnknownExtension;
  char Hex[8];
  std::snprintf(Hex, sizeof Hex, "%02X", Label & 0xFF);
  const size_t At = Text.find("%.2x");
  if (At != std::string::npos) Text.replace(At, 4, Hex);
  return Text;
}

}  // namespace orn
