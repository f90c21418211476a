// The program entry of one product; the build names the product's constants function.
#include "app/products/catalog.h"
#include "app/program.h"

int main(int Argc, char** Argv) {
  return orn::RunOrnament(orn::ORN_PRODUCT_FUNCTION(), Argc, Argv);
}
