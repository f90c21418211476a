#include "tests/win32/win32_support.h"

#include <fstream>
#include <sstream>

#include "ui/win32/win32_text.h"

#include <windows.h>

namespace orn::test {

std::filesystem::path WidePath(const std::string& Utf8) {
  return Wide(Utf8);
}

std::string MakeTempFolder() {
  wchar_t Base[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, Base);
  static int Counter = 0;
  const std::wstring Folder = std::wstring(Base) + L"orn test \u00e4\u00f6 " +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++Counter);
  CreateDirectoryW(Folder.c_str(), nullptr);
  return Narrow(Folder);
}

std::string ReadFile(const std::string& Utf8Path) {
  std::ifstream In(WidePath(Utf8Path), std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

}  // namespace orn::test
