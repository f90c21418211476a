#include "ui/xdg/launch.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace orn {

bool SpawnDetached(const std::string& Executable, const std::vector<std::string>& Arguments,
                   bool SearchPath) {
  if (Executable.empty()) return false;
  // Everything the children need is prepared before fork: only async-signal-safe calls
  // follow it.
  std::vector<std::string> Args;
  Args.reserve(Arguments.size() + 1);
  Args.push_back(Executable);
  Args.insert(Args.end(), Arguments.begin(), Arguments.end());
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  Argv.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a successful exec closes it.
  int Report[2];
  if (pipe2(Report, O_CLOEXEC) != 0) return false;
  const pid_t Child = fork();
  if (Child < 0) {
    close(Report[0]);
    close(Report[1]);
    return false;
  }
  if (Child == 0) {
    close(Report[0]);
    setsid();
    const pid_t Grandchild = fork();
    if (Grandchild == 0) {
      if (SearchPath)
        execvp(Argv[0], Argv.data());
      else
        execv(Argv[0], Argv.data());
      const int Error = errno;
      ssize_t Ignored = write(Report[1], &Error, sizeof Error);
      (void)Ignored;
      _exit(127);
    }
    if (Grandchild < 0) {
      const int Error = errno;
      ssize_t Ignored = write(Report[1], &Error, sizeof Error);
      (void)Ignored;
    }
    _exit(0);
  }
  close(Report[1]);
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
  int Error = 0;
  ssize_t Got;
  do {
    Got = read(Report[0], &Error, sizeof Error);
  } while (Got < 0 && errno == EINTR);
  close(Report[0]);
  return Got == 0;
}

bool LaunchURI(const std::string& Url) {
  return SpawnDetached("xdg-open", {Url}, true);
}

std::string OwnExecutablePath() {
  char Buffer[PATH_MAX];
  const ssize_t N = readlink("/proc/self/exe", Buffer, sizeof Buffer);
  if (N <= 0 || static_cast<size_t>(N) >= sizeof Buffer) return std::string();
  return std::string(Buffer, static_cast<size_t>(N));
}

}  // namespace orn
