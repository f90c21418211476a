// The product's constants; its form description is made from main.dfm and the product's
// assets at build time.
#include "app/products/catalog.h"

namespace orn {

const TProduct& VelmoraProduct() {
  static const TProduct Product{"Velmora", "velmora1", "velmora2", &VelmoraDescription};
  return Product;
}

}  // namespace orn
