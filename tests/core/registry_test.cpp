#include "core/registry.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "core/system_headless.h"

using namespace orn;

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  THeadlessSystemServices Services;
  TSystemServicesScope Scope{Services};

  void Store(const std::string& Name, TRegValue Value) {
    ASSERT_TRUE(Services.RegSetValue("Software\\Test", Name, Value));
  }
  std::string ErrorOf(const std::function<void()>& F) {
    try {
      F();
    } catch (const ERegistryException& E) {
      return E.Message();
    }
    return "";
  }
};

TEST_F(RegistryTest, IntegersAndStringsRoundTripWithTheirTypes) {
  TRegistry R;
  ASSERT_TRUE(R.OpenKey("\\Software\\Test"));
  EXPECT_EQ(R.CurrentPath(), "Software\\Test");
  EXPECT_TRUE(Services.RegKeyExists("Software\\Test"));  // opening creates the key
  EXPECT_FALSE(R.ValueExists("Top"));
  R.WriteInteger("Top", -141);
  R.WriteString("Path", "/opt/my tree/fernlight");
  EXPECT_EQ(R.ReadInteger("top"), -141);  // names compare without case
  EXPECT_EQ(Services.RegQueryValue("Software\\Test", "Top"),
            (TRegValue{REG_DWORD, {0x73, 0xFF, 0xFF, 0xFF}}));
  const auto Path = Services.RegQueryValue("Software\\Test", "Path");
  ASSERT_TRUE(Path);
  EXPECT_EQ(Path->Type, REG_SZ);
  EXPECT_EQ(Path->Data.size(), 23u);  // with the terminating zero
  EXPECT_EQ(Path->Data.back(), 0);
  EXPECT_EQ(R.ReadString("Path"), "/opt/my tree/fernlight");
  EXPECT_TRUE(R.DeleteValue("Top"));
  EXPECT_FALSE(R.ValueExists("Top"));
  EXPECT_TRUE(R.DeleteValue("Top"));  // deleting a missing value is no failure
}

TEST_F(RegistryTest, ReadIntegerErrorsFollowTheStoredLengthThenTheType) {
  Store("Long", {REG_DWORD, {1, 0, 0, 0, 0}});
  Store("Wide", {REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}});
  Store("Text", {REG_SZ, {'1', 0}});
  Store("Bin4", {REG_BINARY, {1, 0, 0, 0}});
  Store("Short", {REG_DWORD, {0x34, 0x12}});
  TRegistry R;
  ASSERT_TRUE(R.OpenKey("Software\\Test"));
  EXPECT_EQ(ErrorOf([&] { R.ReadInteger("Long"); }), "Failed to get data for 'Long'");
  EXPECT_EQ(ErrorOf([&] { R.ReadInteger("Wide"); }), "Failed to get data for 'Wide'");
  EXPECT_EQ(ErrorOf([&] { R.ReadInteger("Missing"); }), "Failed to get data for 'Missing'");
  EXPECT_EQ(ErrorOf([&] { R.ReadInteger("Text"); }), "Invalid data type for 'Text'");
  EXPECT_EQ(ErrorOf([&] { R.ReadInteger("Bin4"); }), "Invalid data type for 'Bin4'");
  EXPECT_EQ(R.ReadInteger("Short"), 0x1234);  // a short DWORD reads what is there
  EXPECT_TRUE(R.ValueExists("Wide"));         // any type exists
}

TEST_F(RegistryTest, AKeyThatCannotBeOpenedReadsAsEmptyAndRefusesWrites) {
  Store("OnTop", {REG_DWORD, {1, 0, 0, 0}});
  Services.SetRegistryOpenable(false);
  TRegistry R;
  EXPECT_FALSE(R.OpenKey("Software\\Test"));
  EXPECT_FALSE(R.HasCurrentKey());
  EXPECT_FALSE(R.ValueExists("OnTop"));
  EXPECT_EQ(ErrorOf([&] { R.WriteInteger("OnTop", 1); }), "Failed to set data for 'OnTop'");
  EXPECT_FALSE(R.DeleteValue("OnTop"));
}

TEST_F(RegistryTest, AWriteTheStoreRefusesRaisesWithTheValueName) {
  TRegistry R;
  ASSERT_TRUE(R.OpenKey("Software\\Test"));
  Services.SetRegistryWritable(false);
  EXPECT_EQ(ErrorOf([&] { R.WriteInteger("TrVal", 3); }), "Failed to set data for 'TrVal'");
  EXPECT_EQ(ErrorOf([&] { R.WriteString("Fernlight", "/x"); }),
            "Failed to set data for 'Fernlight'");
  R.CloseKey();
  EXPECT_EQ(ErrorOf([&] { R.WriteInteger("Top", 3); }), "Failed to set data for 'Top'");
}

}  // namespace
