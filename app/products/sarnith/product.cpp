// The product's constants; its form description is made from main.dfm and the product's
// assets at build time.
#include "app/products/catalog.h"

namespace orn {

const TProduct& SarnithProduct() {
  static const TProduct Product{"Sarnith", "sarnith1", "sarnith2", &SarnithDescription};
  return Product;
}

}  // namespace orn
