// A form description from outside through the reader, with the reader's test classes
// registered, so that every property kind, sub-objects, events and references are reachable.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/exceptions.h"
#include "core/forms.h"
#include "core/forms_fixture.h"  // tests/core

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static bool Registered = (ft::RegisterFixtureClasses(), true);
  (void)Registered;
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  try {
    auto Component = orn::CreateFromFormDescription(Text);
    if (Component) orn::WriteFormDescription(Component.get());
  } catch (const orn::Exception&) {
  }
  return 0;
}
