// The program entry shared by the three products.
#pragma once

#include "app/products.h"

namespace orn {

// Selects Product, installs the window system, creates the main form from the product's
// stored description, runs the message loop until the main form closes and returns the
// process's exit status. Arguments are the command-line arguments without the program name.
int RunOrnament(const TProduct& Product, int Argc, char** Argv);

}  // namespace orn
