// Test program of the Windows backend. Started with "--write-args FILE", it writes the
// arguments it was given (as the system services parse them) and its own path to FILE, one
// per line, and ends: the tests start it as a further process that way.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "tests/win32/win32_support.h"
#include "ui/win32/win32_services.h"

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--write-args") == 0) {
    orn::TWin32SystemServices Services;
    const std::vector<std::string> Args = Services.CommandLineArguments();
    std::ofstream Out(orn::test::WidePath(Args.at(1)), std::ios::binary);
    Out << Services.ExecutablePath() << '\n';
    for (size_t I = 2; I < Args.size(); ++I) Out << Args[I] << '\n';
    return Out ? 0 : 1;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
