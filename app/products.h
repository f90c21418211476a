// What sets the three products apart in code: the name under which a product keeps its
// settings and registers to start with the session, the tags of its web links and its stored
// form description. The form description (window size, picture, mask, control settings) is
// built from the product's assets and embedded into its executable.
#pragma once

#include <string>
#include <string_view>

namespace orn {

struct TProduct {
  std::string Name;         // settings key "Software\<Name>", name of the start-up value
  std::string AboutTag;     // link tag of About
  std::string DownloadTag;  // link tag of the two Download items
  // The stored form description of the main window; empty when the build has none.
  std::string_view (*Description)() = nullptr;
};

// The maker's web site: scheme and host, the one place they are set.
constexpr const char* SiteAddress = "https://tolvane.example";
// The page every web command opens, with the tag as its query.
std::string LinkAddress(const std::string& Tag);

// The product this program is. Set once by the program entry before the main form exists.
const TProduct& ActiveProduct();
void SetActiveProduct(const TProduct& Product);

}  // namespace orn
