#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ui/xdg/launch.h"

namespace orn::testing {
namespace {

namespace fs = std::filesystem;

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("orn-launch-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  // A shell script that writes its parent's pid, its argument count and each argument on a
  // line of Out, then renames Out.tmp to Out so readers see it whole.
  fs::path WriteRecorder(const std::string& Name) {
    const fs::path Script = Dir / Name;
    std::ofstream(Script) << "#!/bin/sh\n"
                          << "out='" << (Dir / "out").string() << "'\n"
                          << "{ echo \"$PPID\"; echo \"$#\"; for a in \"$@\"; do echo \"$a\"; "
                             "done; } > \"$out.tmp\"\nmv \"$out.tmp\" \"$out\"\n";
    fs::permissions(Script, fs::perms::owner_all);
    return Script;
  }
  // The lines the recorder wrote, waiting up to five seconds for them.
  std::vector<std::string> Recorded() {
    const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!fs::exists(Dir / "out") && std::chrono::steady_clock::now() < Until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> Lines;
    std::ifstream In(Dir / "out");
    for (std::string L; std::getline(In, L);) Lines.push_back(L);
    return Lines;
  }
  fs::path Dir;
};

TEST_F(LaunchTest, ArgumentsArriveWholeAndTheProcessIsNobodysChildHere) {
  const fs::path Script = WriteRecorder("with space's \"name\"");
  ASSERT_TRUE(SpawnDetached(Script.string(), {"add", "two words", "", "'q' \"d\""}, false));
  const std::vector<std::string> Lines = Recorded();
  ASSERT_EQ(Lines.size(), 6u);
  EXPECT_NE(Lines[0], std::to_string(getpid()));  // not our child: adopted elsewhere
  EXPECT_EQ(Lines[1], "4");
  EXPECT_EQ(Lines[2], "add");
  EXPECT_EQ(Lines[3], "two words");
  EXPECT_EQ(Lines[4], "");
  EXPECT_EQ(Lines[5], "'q' \"d\"");
  // The intermediate child has been reaped: nothing is left to wait for.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(LaunchTest, WhatCannotBeStartedIsReportedAndLeavesNoChild) {
  const fs::path NotExecutable = Dir / "plain";
  std::ofstream(NotExecutable) << "#!/bin/sh\n";
  const std::string Cases[] = {(Dir / "missing").string(), NotExecutable.string(), ""};
  for (const std::string& Path : Cases) EXPECT_FALSE(SpawnDetached(Path, {}, false)) << Path;
  // Without PATH search a bare name is not looked up.
  EXPECT_FALSE(SpawnDetached("sh", {"-c", "true"}, false));
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(LaunchTest, WebPagesGoToTheDesktopsLauncherFromPath) {
  WriteRecorder("xdg-open");
  const char* OldPath = std::getenv("PATH");
  const std::string Saved = OldPath != nullptr ? OldPath : "";
  setenv("PATH", (Dir.string() + ":" + Saved).c_str(), 1);
  const bool Started = LaunchURI("https://quartzbell.example/quartzbell.html?q=spirit");
  setenv("PATH", Saved.c_str(), 1);
  ASSERT_TRUE(Started);
  const std::vector<std::string> Lines = Recorded();
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[1], "1");
  EXPECT_EQ(Lines[2], "https://quartzbell.example/quartzbell.html?q=spirit");
}

TEST_F(LaunchTest, TheOwnExecutableIsThisTestProgram) {
  const std::string Path = OwnExecutablePath();
  EXPECT_EQ(fs::path(Path).filename(), "test_xdg");
  EXPECT_TRUE(fs::path(Path).is_absolute());
  EXPECT_TRUE(fs::exists(Path));
}

}  // namespace
}  // namespace orn::testing
