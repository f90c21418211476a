// The product's constants; its form description is made from main.dfm and the product's
// assets at build time.
#include "app/products/catalog.h"

namespace orn {

const TProduct& FernlightProduct() {
  static const TProduct Product{"Fernlight", "spirit", "spirit", &FernlightDescription};
  return Product;
}

}  // namespace orn
