#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "core/exceptions.h"
#include "core/stream.h"

using namespace orn;

TEST(MemoryStream, WriteSeekReadAndShortReads) {
  TMemoryStream S;
  S.WriteDWord(0x04030201);
  S.WriteWord(0x0605);
  EXPECT_EQ(S.Size(), 6);
  EXPECT_EQ(S.Position(), 6);
  S.SetPosition(1);
  uint8_t B[8] = {};
  EXPECT_EQ(S.Read(B, 8), 5);  // plain read returns what there was
  EXPECT_EQ(B[0], 2);
  EXPECT_EQ(B[4], 6);
  S.SetPosition(4);
  EXPECT_EQ(S.ReadWord(), 0x0605);
  try {
    S.ReadByte();
    FAIL() << "short ReadBuffer must raise";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "Stream read error");
  }
}

TEST(MemoryStream, WritePastEndGrowsAndSetSizeClampsPosition) {
  TMemoryStream S;
  S.SetPosition(3);
  S.WriteByte(9);
  ASSERT_EQ(S.Size(), 4);
  EXPECT_EQ(S.Memory()[0], 0);
  EXPECT_EQ(S.Memory()[3], 9);
  S.SetSize(2);
  EXPECT_EQ(S.Position(), 2);
}

TEST(Stream, CopyFromWholeAndPartial) {
  TMemoryStream Src, Dst;
  for (int I = 0; I < 100000; ++I) Src.WriteByte(static_cast<uint8_t>(I * 7));
  EXPECT_EQ(Dst.CopyFrom(Src, 0), 100000);  // 0 = everything from the start
  EXPECT_EQ(Dst.Bytes(), Src.Bytes());
  Src.SetPosition(99990);
  TMemoryStream Short;
  EXPECT_THROW(Short.CopyFrom(Src, 20), EReadError);
}

TEST(FileStream, RoundTripAndOpenErrorNamesFile) {
  const auto Path = std::filesystem::temp_directory_path() / "orn_stream_test.bin";
  {
    TFileStream F(Path.string(), TFileMode::fmCreate);
    F.WriteDWord(0xDEADBEEF);
  }
  TMemoryStream M;
  M.LoadFromFile(Path.string());
  EXPECT_EQ(M.ReadDWord(), 0xDEADBEEFu);
  std::filesystem::remove(Path);
  try {
    TFileStream F("/nonexistent/dir/x.bin", TFileMode::fmOpenRead);
    FAIL();
  } catch (const EFOpenError& E) {
    EXPECT_NE(std::string(E.what()).find("/nonexistent/dir/x.bin"), std::string::npos);
  }
}

// Safe saving and pipes: POSIX file-system behaviour (modes, links, size limits, pipes).
#if !defined(_WIN32)
namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed afterwards.
struct TScratchDir {
  fs::path Path;
  TScratchDir() {
    Path = fs::temp_directory_path() /
           ("orn-safe-save-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TScratchDir() { fs::remove_all(Path); }
  std::string File(const std::string& Name) const { return (Path / Name).string(); }
  // Every entry of the folder, so that a left-over temporary file shows.
  std::vector<std::string> Entries() const {
    std::vector<std::string> R;
    for (const auto& E : fs::directory_iterator(Path)) R.push_back(E.path().filename().string());
    std::sort(R.begin(), R.end());
    return R;
  }
};

std::string Contents(const std::string& FileName) {
  TMemoryStream M;
  M.LoadFromFile(FileName);
  return std::string(reinterpret_cast<const char*>(M.Memory()), static_cast<size_t>(M.Size()));
}

void Put(const std::string& FileName, const std::string& Text) {
  SaveBytesToFile(FileName, Text.data(), static_cast<int64_t>(Text.size()));
}

}  // namespace

TEST(SafeSave, ReplacesTheFileKeepsItsModeAndLeavesNoTemporaryFile) {
  TScratchDir D;
  const std::string F = D.File("out.bin");
  Put(F, "first");
  fs::permissions(F, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  Put(F, "second, longer");
  EXPECT_EQ(Contents(F), "second, longer");
  EXPECT_EQ(fs::status(F).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(D.Entries(), std::vector<std::string>{"out.bin"});
}

TEST(SafeSave, ASymbolicLinkStaysALinkAndItsTargetIsReplaced) {
  TScratchDir D;
  fs::create_directories(D.Path / "real");
  Put(D.File("real/target.gif"), "old");
  fs::create_symlink("real/target.gif", D.Path / "link.gif");  // relative to the link's folder
  Put(D.File("link.gif"), "new");
  EXPECT_TRUE(fs::is_symlink(D.Path / "link.gif"));
  EXPECT_EQ(Contents(D.File("real/target.gif")), "new");
  EXPECT_EQ(D.Entries(), (std::vector<std::string>{"link.gif", "real"}));
}

TEST(SafeSave, AFailedWriteLeavesTheTargetUntouchedAndNamesFileAndReason) {
  TScratchDir D;
  const std::string F = D.File("keep.gif");
  Put(F, "precious");
  // A file-size limit makes the write fail part-way, as a full disk would.
  struct rlimit Old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Old), 0);
  struct rlimit Small = Old;
  Small.rlim_cur = 4;
  auto* OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  std::string Message;
  try {
    Put(F, "a much longer replacement");
  } catch (const EFCreateError& E) {
    Message = E.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);
  EXPECT_EQ(Message, "Cannot write file \"" + F + "\": " + std::strerror(EFBIG));
  EXPECT_EQ(Contents(F), "precious");
  EXPECT_EQ(D.Entries(), std::vector<std::string>{"keep.gif"});

  // A folder in place of the file, and a folder that does not exist.
  fs::create_directories(D.Path / "photos");
  EXPECT_EQ(TrySaveBytesToFile(D.File("photos"), "x", 1), EISDIR);
  EXPECT_EQ(TrySaveBytesToFile(D.File("missing/out.gif"), "x", 1), ENOENT);
}

TEST(MemoryStream, LoadFromFileReadsAPipeToItsEnd) {
  TScratchDir D;
  const std::string Fifo = D.File("fifo");
  ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
  const std::string Text(200000, 'g');  // more than a pipe holds at once
  std::thread Writer([&] {
    FILE* W = std::fopen(Fifo.c_str(), "wb");
    std::fwrite(Text.data(), 1, Text.size(), W);
    std::fclose(W);
  });
  std::string Read;
  EXPECT_NO_THROW(Read = Contents(Fifo));
  Writer.join();
  EXPECT_EQ(Read, Text);
}

TEST(SafeSave, SeveralFilesAreReplacedTogetherOrNotAtAll) {
  TScratchDir D;
  Put(D.File("a.png"), "old a");
  {
    TFileReplacement R;
    ASSERT_EQ(R.Add(D.File("a.png"), "new a", 5), 0);
    ASSERT_EQ(R.Add(D.File("b.png"), "new b", 5), 0);
    EXPECT_EQ(Contents(D.File("a.png")), "old a");  // nothing is replaced before the commit
    // Left without a commit (as when a later frame fails): the temporary files go.
  }
  EXPECT_EQ(D.Entries(), std::vector<std::string>{"a.png"});
  EXPECT_EQ(Contents(D.File("a.png")), "old a");

  TFileReplacement R;
  ASSERT_EQ(R.Add(D.File("a.png"), "new a", 5), 0);
  ASSERT_EQ(R.Add(D.File("b.png"), "new b", 5), 0);
  ASSERT_EQ(R.Add(D.File("c.png"), "new c", 5), 0);
  ASSERT_EQ(R.Commit(), 0);
  EXPECT_EQ(D.Entries(), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
  EXPECT_EQ(Contents(D.File("a.png")), "new a");
  EXPECT_EQ(Contents(D.File("c.png")), "new c");
}
#endif
