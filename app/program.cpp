#include "app/program.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/backend.h"
#include "app/main.h"
#include "core/system.h"
#include "ui/application.h"

namespace orn {

int RunOrnament(const TProduct& Product, int Argc, char** Argv) {
  SetActiveProduct(Product);
  std::shared_ptr<void> Backend;
  try {
    Backend = InstallBackend();
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s: %s\n", Product.Name.c_str(), E.what());
    return 1;
  }
  std::vector<std::string> Arguments;
  for (int I = 1; I < Argc; ++I) Arguments.emplace_back(Argv[I]);
  SystemServices().SetCommandLineArguments(Arguments);

  RegisterOrnamentClasses();
  Application()->Initialize();
  TfrmMain* frmMain = nullptr;
  try {
    const std::string_view Description = Product.Description();
    Application()->CreateForm(frmMain, std::string(Description));
  } catch (...) {
    Application()->HandleException(nullptr);
    return 1;
  }
  std::unique_ptr<TfrmMain> Owned(frmMain);
  Application()->Run();
  Owned.reset();
  return 0;
}

}  // namespace orn
