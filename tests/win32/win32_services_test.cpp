// The Windows system services against the real registry, shell, clipboard and message loop.
#include "ui/win32/win32_services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "core/exceptions.h"
#include "tests/win32/win32_support.h"
#include "ui/win32/win32_text.h"

#include <windows.h>

#include <shellapi.h>

#undef RegCreateKey
#undef RegQueryValue
#undef RegSetValue
#undef RegDeleteValue
#undef RegisterClipboardFormat

namespace orn {
namespace {

const std::string TestRoot = "Software\\OrnamentTests";

class Win32ServicesTest : public testing::Test {
 protected:
  void SetUp() override {
    Key = TestRoot + "\\" + testing::UnitTest::GetInstance()->current_test_info()->name();
    RegDeleteTreeW(HKEY_CURRENT_USER, Wide(Key).c_str());
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, Wide(Key).c_str()); }

  // What the registry itself holds: type and raw bytes.
  std::optional<std::pair<DWORD, std::vector<uint8_t>>> Raw(const std::wstring& Name) {
    HKEY K;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(Key).c_str(), 0, KEY_QUERY_VALUE, &K) !=
        ERROR_SUCCESS)
      return std::nullopt;
    DWORD Type = 0, Size = 0;
    std::optional<std::pair<DWORD, std::vector<uint8_t>>> R;
    if (RegQueryValueExW(K, Name.c_str(), nullptr, &Type, nullptr, &Size) == ERROR_SUCCESS) {
      std::vector<uint8_t> Data(Size);
      RegQueryValueExW(K, Name.c_str(), nullptr, &Type, Data.data(), &Size);
      R.emplace(Type, std::move(Data));
    }
    RegCloseKey(K);
    return R;
  }

  TWin32SystemServices S;
  std::string Key;
};

TRegValue Dword(uint32_t V) {
  TRegValue R{REG_DWORD, std::vector<uint8_t>(4)};
  std::memcpy(R.Data.data(), &V, 4);
  return R;
}

TRegValue Text(const std::string& T) {
  TRegValue R{REG_SZ, std::vector<uint8_t>(T.begin(), T.end())};
  R.Data.push_back(0);
  return R;
}

TEST_F(Win32ServicesTest, RegistryValuesKeepTypeAndBytes) {
  const TRegValue Binary{REG_BINARY, {1, 2, 3, 0, 255, 9, 8, 7}};
  const TRegValue Empty{REG_BINARY, {}};
  const TRegValue Long{REG_DWORD, {1, 2, 3, 4, 5, 6, 7, 8}};  // a DWORD type with 8 bytes
  ASSERT_TRUE(S.RegSetValue(Key, "OnTop", Dword(1)));
  ASSERT_TRUE(S.RegSetValue(Key, "Left", Dword(static_cast<uint32_t>(-71))));
  ASSERT_TRUE(S.RegSetValue(Key, "Blob", Binary));
  ASSERT_TRUE(S.RegSetValue(Key, "Empty", Empty));
  ASSERT_TRUE(S.RegSetValue(Key, "Long", Long));
  EXPECT_EQ(S.RegQueryValue(Key, "OnTop"), Dword(1));
  EXPECT_EQ(S.RegQueryValue(Key, "Left"), Dword(static_cast<uint32_t>(-71)));
  EXPECT_EQ(S.RegQueryValue(Key, "Blob"), Binary);
  EXPECT_EQ(S.RegQueryValue(Key, "Empty"), Empty);
  EXPECT_EQ(S.RegQueryValue(Key, "Long"), Long);
  // Names compare without regard to case, as the registry does.
  EXPECT_EQ(S.RegQueryValue(Key, "ONTOP"), Dword(1));
  // The registry holds exactly these: a REG_DWORD of four bytes.
  auto R = Raw(L"OnTop");
  ASSERT_TRUE(R);
  EXPECT_EQ(R->first, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(R->second, (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST_F(Win32ServicesTest, StringsAreUtf8HereAndUtf16InTheRegistry) {
  const std::string Path = "C:\\Programme\\Tr\xC3\xA4ume \xE2\x9D\x84\\fernlight.exe";
  ASSERT_TRUE(S.RegSetValue(Key, "Fernlight \xC3\xA4", Text(Path)));
  auto R = Raw(L"Fernlight \u00e4");
  ASSERT_TRUE(R);
  EXPECT_EQ(R->first, static_cast<DWORD>(REG_SZ));
  const std::wstring Expected = Wide(Path);
  ASSERT_EQ(R->second.size(), (Expected.size() + 1) * 2);  // with the terminating zero
  EXPECT_EQ(std::memcmp(R->second.data(), Expected.c_str(), R->second.size()), 0);
  EXPECT_EQ(S.RegQueryValue(Key, "Fernlight \xC3\xA4"), Text(Path));

  // A string another program stored without its terminating zero reads the same.
  HKEY K;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Wide(Key).c_str(), 0, KEY_SET_VALUE, &K), 0);
  RegSetValueExW(K, L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"), 6);
  RegCloseKey(K);
  EXPECT_EQ(S.RegQueryValue(Key, "Bare"), Text("abc"));
}

TEST_F(Win32ServicesTest, MissingKeysAndValues) {
  EXPECT_FALSE(S.RegQueryValue(Key, "OnTop"));
  // Deleting what is not there succeeds, with or without the key.
  EXPECT_TRUE(S.RegDeleteValue(Key, "OnTop"));
  ASSERT_TRUE(S.RegCreateKey(Key + "\\Deeper\\Still"));
  HKEY K;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_CURRENT_USER, Wide(Key + "\\Deeper\\Still").c_str(), 0, KEY_READ, &K),
      ERROR_SUCCESS);
  RegCloseKey(K);
  EXPECT_FALSE(S.RegQueryValue(Key, "OnTop"));
  EXPECT_TRUE(S.RegDeleteValue(Key, "OnTop"));
  ASSERT_TRUE(S.RegSetValue(Key, "OnTop", Dword(0)));
  EXPECT_TRUE(S.RegDeleteValue(Key, "OnTop"));
  EXPECT_FALSE(S.RegQueryValue(Key, "OnTop"));
  EXPECT_FALSE(Raw(L"OnTop"));
}

// Each case: the arguments, and the command line the system is given after the program.
TEST(Win32CommandLine, ArgumentsSurviveTheSystemsParser) {
  const struct {
    std::vector<std::string> Args;
    std::string Tail;
  } Cases[] = {
      {{"add"}, " add"},
      {{}, ""},
      {{""}, " \"\""},
      {{"two words", "x"}, " \"two words\" x"},
      {{"say \"hi\""}, " \"say \\\"hi\\\"\""},
      {{"C:\\dir with space\\"}, " \"C:\\dir with space\\\\\""},
      {{"a\\\\\"b"}, " \"a\\\\\\\\\\\"b\""},
      {{"back\\slash"}, " back\\slash"},
      {{"tab\there"}, " \"tab\there\""},
      {{"\xC3\xA4\xE2\x9D\x84"}, " \xC3\xA4\xE2\x9D\x84"},
  };
  const std::string Exe = "C:\\Program Files\\Fern light\\fernlight.exe";
  for (const auto& C : Cases) {
    const std::string Line = TWin32SystemServices::BuildCommandLine(Exe, C.Args);
    EXPECT_EQ(Line, "\"" + Exe + "\"" + C.Tail);
    int Count = 0;
    LPWSTR* Parsed = CommandLineToArgvW(Wide(Line).c_str(), &Count);
    ASSERT_NE(Parsed, nullptr);
    std::vector<std::string> Back;
    for (int I = 0; I < Count; ++I) Back.push_back(Narrow(Parsed[I]));
    LocalFree(Parsed);
    ASSERT_FALSE(Back.empty()) << Line;
    EXPECT_EQ(Back[0], Exe) << Line;
    EXPECT_EQ(std::vector<std::string>(Back.begin() + 1, Back.end()), C.Args) << Line;
  }
}

TEST(Win32Shell, StartedProcessGetsItsArgumentsAndKnowsItsPath) {
  TWin32SystemServices S;
  const std::string Self = S.ExecutablePath();
  ASSERT_NE(Self.find("test_win32"), std::string::npos) << Self;
  const std::string Out = test::MakeTempFolder() + "\\args \xC3\xA4.txt";
  const std::vector<std::string> Args = {"--write-args", Out,       "add",
                                         "two words",    "q\"uote", "\xE2\x9D\x84"};
  ASSERT_TRUE(S.StartProcess(Self, Args));
  // Not waited for by StartProcess: the test waits for the file here.
  std::string Content;
  for (int I = 0; I < 300 && Content.empty(); ++I) {
    Sleep(50);
    Content = test::ReadFile(Out);
  }
  EXPECT_EQ(Content, Self + "\nadd\ntwo words\nq\"uote\n\xE2\x9D\x84\n");
  EXPECT_FALSE(S.StartProcess(Self + ".missing.exe", {}));
}

TEST(Win32Clipboard, RegisteredFormatsAndBitmaps) {
  TWin32SystemServices S;
  const TClipboardFormat Gif = S.RegisterClipboardFormat("GIF Image");
  EXPECT_GE(Gif, FirstRegisteredClipboardFormat);
  EXPECT_EQ(S.RegisterClipboardFormat("gif image"), Gif);
  EXPECT_EQ(S.ClipboardFormatName(Gif), "GIF Image");
  EXPECT_THROW(S.RegisterClipboardFormat(""), EClipboardException);
  EXPECT_THROW(S.SetClipboardData(Gif, {1}), EClipboardException);

  // A 2 x 1 BMP file of 24 bits: file header, information header, one padded row.
  std::vector<uint8_t> Bmp = {'B', 'M', 62, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0,
                              0,   1,   0,  0, 0, 1, 0, 24, 0, 0, 0,  0, 0, 8, 0,  0, 0, 0, 0, 0, 0,
                              0,   0,   0,  0, 0, 0, 0, 0,  0, 0, 0,  0, 1, 2, 3,  4, 5, 6, 0, 0};
  const std::vector<uint8_t> GifBytes = {'G', 'I', 'F', '8', '9', 'a', 0, 1, 2};
  S.OpenClipboard();
  S.OpenClipboard();  // nests
  S.EmptyClipboard();
  S.SetClipboardData(Gif, GifBytes);
  S.SetClipboardData(CF_BITMAP, Bmp);
  S.CloseClipboard();
  EXPECT_TRUE(S.HasClipboardFormat(Gif));
  EXPECT_TRUE(S.HasClipboardFormat(CF_BITMAP));
  auto Got = S.GetClipboardData(Gif);
  ASSERT_TRUE(Got);
  // The system may round a block up: what was stored comes first.
  ASSERT_GE(Got->size(), GifBytes.size());
  EXPECT_TRUE(std::equal(GifBytes.begin(), GifBytes.end(), Got->begin()));
  auto Back = S.GetClipboardData(CF_BITMAP);
  ASSERT_TRUE(Back);
  ASSERT_GE(Back->size(), Bmp.size());
  EXPECT_TRUE(std::equal(Bmp.begin(), Bmp.end(), Back->begin()));
  S.CloseClipboard();
  EXPECT_THROW(S.CloseClipboard(), EClipboardException);
  EXPECT_THROW(S.GetClipboardData(Gif), EClipboardException);
}

TEST(Win32Random, RangeAndSpread) {
  TWin32SystemServices S;
  S.Randomize();
  int Seen[7] = {};
  for (int I = 0; I < 700; ++I) {
    const int32_t V = S.Random(7);
    ASSERT_GE(V, 0);
    ASSERT_LT(V, 7);
    ++Seen[V];
  }
  for (int C : Seen) EXPECT_GT(C, 40);
  EXPECT_EQ(S.Random(0), 0);
  EXPECT_EQ(S.Random(-5), 0);
}

// A worker hands a call to the GUI thread while that thread waits in the message loop.
TEST(Win32HandOver, WorkerCallRunsOnTheGUIThreadFromTheMessageLoop) {
  TWin32SystemServices S;
  std::atomic<bool> RanOnGUI{false};
  std::thread Worker([&] { S.RunOnGUIThread([&] { RanOnGUI = S.IsGUIThread(); }); });
  MSG M;
  const ULONGLONG Deadline = GetTickCount64() + 10000;
  while (!RanOnGUI && GetTickCount64() < Deadline) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0)
      while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&M);
  }
  Worker.join();
  EXPECT_TRUE(RanOnGUI);
  // An exception in the call comes back to the worker.
  std::atomic<bool> Caught{false};
  std::atomic<bool> Done{false};
  std::thread Thrower([&] {
    try {
      S.RunOnGUIThread([] { throw EAbort(); });
    } catch (const EAbort&) {
      Caught = true;
    }
    Done = true;
  });
  while (!Done && GetTickCount64() < Deadline + 10000) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0)
      while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&M);
  }
  Thrower.join();
  EXPECT_TRUE(Caught);
}

}  // namespace
}  // namespace orn
