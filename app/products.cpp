#include "app/products.h"

#include "core/exceptions.h"

namespace orn {

namespace {
const TProduct* GActive = nullptr;
}  // namespace

std::string LinkAddress(const std::string& Tag) {
  return std::string(SiteAddress) + "/quartzbell.html?q=" + Tag;
}

const TProduct& ActiveProduct() {
  if (GActive == nullptr) throw Exception("No product selected");
  return *GActive;
}

void SetActiveProduct(const TProduct& Product) {
  GActive = &Product;
}

}  // namespace orn
