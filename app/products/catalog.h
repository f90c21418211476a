// The three products. Each product's library defines its own two functions; a program links
// one of them, the tests all three.
#pragma once

#include <string_view>

#include "app/products.h"

namespace orn {

const TProduct& FernlightProduct();
const TProduct& VelmoraProduct();
const TProduct& SarnithProduct();

// The embedded form descriptions, made at build time.
std::string_view FernlightDescription();
std::string_view VelmoraDescription();
std::string_view SarnithDescription();

}  // namespace orn
