// The GTK backend on a real X server (run through tests/e2e/with_x.py): the GUI-thread queue
// on the main loop, timers, and the X clipboard read by another program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/exceptions.h"
#include "core/system.h"
#include "ui/gtk/gtk_backend.h"

namespace orn::testing {
namespace {

class GtkBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string Error;
    Backend = OpenGtkBackend(Error);
    ASSERT_TRUE(Backend) << Error;
  }
  std::unique_ptr<TPlatform> Backend;
};

TEST_F(GtkBackendTest, WorkersHandCallsToTheLoopInOrderWhileTimersRun) {
  const std::thread::id GUI = std::this_thread::get_id();
  std::vector<int> Ran;
  std::atomic<bool> OffThread{false};
  int Ticks = 0;
  const TTimerHandle T = Backend->StartTimer(5, [&] { ++Ticks; });
  std::thread Worker([&] {
    for (int I = 0; I < 200; ++I)
      SystemServices().RunOnGUIThread([&, I] {
        if (std::this_thread::get_id() != GUI) OffThread = true;
        Ran.push_back(I);
      });
    // A posted call ends the loop once every hand-over has run.
    Backend->Post([&] { Backend->QuitLoop(); });
  });
  Backend->RunLoop();
  Worker.join();
  Backend->StopTimer(T);
  ASSERT_EQ(Ran.size(), 200u);
  for (int I = 0; I < 200; ++I) EXPECT_EQ(Ran[static_cast<size_t>(I)], I);
  EXPECT_FALSE(OffThread);
  // A quit asked before the loop runs ends the next loop at once.
  Backend->QuitLoop();
  Backend->RunLoop();
  // Stopped timers stay stopped.
  const int Seen = Ticks;
  const TTimerHandle Stop = Backend->StartTimer(30, [&] { Backend->QuitLoop(); });
  Backend->RunLoop();
  Backend->StopTimer(Stop);
  EXPECT_EQ(Ticks, Seen);
}

// Reads the clipboard target with xclip while the loop serves the request.
std::string ReadWithXclip(TPlatform& Backend, const std::string& Target) {
  std::string Out;
  std::thread Reader([&] {
    const std::string Command = "xclip -selection clipboard -o -t '" + Target + "'";
    if (FILE* P = popen(Command.c_str(), "r")) {
      char Buffer[4096];
      size_t N;
      while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
      pclose(P);
    }
    Backend.Post([&] { Backend.QuitLoop(); });
  });
  Backend.RunLoop();
  Reader.join();
  return Out;
}

TEST_F(GtkBackendTest, ClipboardOffersNamedFormatsAndTheBitmapToOtherPrograms) {
  TSystemServices& S = SystemServices();
  const TClipboardFormat Gif = S.RegisterClipboardFormat("GIF Image");
  EXPECT_EQ(S.RegisterClipboardFormat("gif image"), Gif);
  EXPECT_EQ(S.ClipboardFormatName(Gif), "GIF Image");
  const std::string GifBytes("\x0b\0\0\0GIF89a\0\x01\xff", 14);
  const std::string BmpBytes("BM\x10\0\0\0payload", 13);
  S.OpenClipboard();
  S.EmptyClipboard();
  S.SetClipboardData(Gif, std::vector<uint8_t>(GifBytes.begin(), GifBytes.end()));
  S.SetClipboardData(CF_BITMAP, std::vector<uint8_t>(BmpBytes.begin(), BmpBytes.end()));
  S.CloseClipboard();
  EXPECT_EQ(ReadWithXclip(*Backend, "GIF Image"), GifBytes);
  EXPECT_EQ(ReadWithXclip(*Backend, "image/bmp"), BmpBytes);
  EXPECT_TRUE(S.HasClipboardFormat(Gif));
  S.OpenClipboard();
  const auto Back = S.GetClipboardData(Gif);
  S.CloseClipboard();
  ASSERT_TRUE(Back.has_value());
  EXPECT_EQ(std::string(Back->begin(), Back->end()), GifBytes);
  EXPECT_THROW(S.CloseClipboard(), Exception);
}

}  // namespace
}  // namespace orn::testing
