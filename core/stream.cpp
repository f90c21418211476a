#include "core/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/exceptions.h"
#include "core/unicode.h"

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <windows.h>
#endif

namespace orn {

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count < 0 || (Count != 0 && Read(Buffer, Count) != Count)) throw EReadError();
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count < 0 || (Count != 0 && Write(Buffer, Count) != Count)) throw EWriteError();
}

int64_t TStream::Size() {
  int64_t Pos = Seek(0, TSeekOrigin::soCurrent);
  int64_t Result = Seek(0, TSeekOrigin::soEnd);
  Seek(Pos, TSeekOrigin::soBeginning);
  return Result;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  if (Count < 0) throw EReadError();
  const int64_t Result = Count;
  std::vector<uint8_t> Chunk(static_cast<size_t>(std::min<int64_t>(Count, 1 << 16)));
  while (Count > 0) {
    const int64_t N = std::min<int64_t>(Count, static_cast<int64_t>(Chunk.size()));
    Source.ReadBuffer(Chunk.data(), N);
    WriteBuffer(Chunk.data(), N);
    Count -= N;
  }
  return Result;
}

uint8_t TStream::ReadByte() {
  uint8_t B;
  ReadBuffer(&B, 1);
  return B;
}

uint16_t TStream::ReadWord() {
  uint8_t B[2];
  ReadBuffer(B, 2);
  return static_cast<uint16_t>(B[0] | (B[1] << 8));
}

uint32_t TStream::ReadDWord() {
  uint8_t B[4];
  ReadBuffer(B, 4);
  return static_cast<uint32_t>(B[0]) | (static_cast<uint32_t>(B[1]) << 8) |
         (static_cast<uint32_t>(B[2]) << 16) | (static_cast<uint32_t>(B[3]) << 24);
}

void TStream::WriteByte(uint8_t Value) {
  WriteBuffer(&Value, 1);
}

void TStream::WriteWord(uint16_t Value) {
  const uint8_t B[2] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8)};
  WriteBuffer(B, 2);
}

void TStream::WriteDWord(uint32_t Value) {
  const uint8_t B[4] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8),
                        static_cast<uint8_t>(Value >> 16), static_cast<uint8_t>(Value >> 24)};
  WriteBuffer(B, 4);
}

// ---- TMemoryStream

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  const int64_t N = std::min(Count, Size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return N;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t End = FPosition + Count;
  if (End > Size()) FData.resize(static_cast<size_t>(End));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = End;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case TSeekOrigin::soBeginning:
      FPosition = Offset;
      break;
    case TSeekOrigin::soCurrent:
      FPosition += Offset;
      break;
    case TSeekOrigin::soEnd:
      FPosition = Size() + Offset;
      break;
  }
  if (FPosition < 0) FPosition = 0;
  return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  FData.resize(static_cast<size_t>(NewSize));
  if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  const int64_t N = Stream.Size();
  SetSize(N);
  if (N != 0) Stream.ReadBuffer(FData.data(), N);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& Stream) {
  if (!FData.empty()) Stream.WriteBuffer(FData.data(), Size());
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream F(FileName, TFileMode::fmOpenRead);
  // Read to the end instead of asking for the size first: a pipe or a terminal has none.
  Clear();
  std::vector<uint8_t> Chunk(1 << 16);
  while (true) {
    const int64_t N = F.Read(Chunk.data(), static_cast<int64_t>(Chunk.size()));
    if (N < 0) throw EReadError("Cannot read file \"" + FileName + "\": " + std::strerror(errno));
    if (N == 0) break;
    WriteBuffer(Chunk.data(), N);
  }
  FPosition = 0;
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  SaveBytesToFile(FileName, FData.data(), Size());
}

// ---- TFileStream

namespace {
// One system read or write moves at most 1 GiB (the Windows calls take a 32-bit count).
unsigned Chunk(int64_t Left) {
  return static_cast<unsigned>(std::min<int64_t>(Left, int64_t{1} << 30));
}
}  // namespace

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : FFileName(FileName) {
  int Flags = O_RDONLY;
  switch (Mode) {
    case TFileMode::fmOpenRead:
      Flags = O_RDONLY;
      break;
    case TFileMode::fmOpenWrite:
      Flags = O_WRONLY;
      break;
    case TFileMode::fmOpenReadWrite:
      Flags = O_RDWR;
      break;
    case TFileMode::fmCreate:
      Flags = O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
#if defined(_WIN32)
  // Binary mode (no line-end translation), not inherited by started processes, and the
  // name given to the system in UTF-16 so that any letter works.
  const std::u16string Name = Utf8ToUtf16(FileName);
  FHandle = ::_wopen(reinterpret_cast<const wchar_t*>(Name.c_str()), Flags | O_BINARY | O_NOINHERIT,
                     0666);
#else
  FHandle = ::open(FileName.c_str(), Flags | O_CLOEXEC, 0666);
#endif
  if (FHandle < 0) {
    const std::string Why = std::strerror(errno);
    if (Mode == TFileMode::fmCreate)
      throw EFCreateError("Cannot create file \"" + FileName + "\": " + Why);
    throw EFOpenError("Cannot open file \"" + FileName + "\": " + Why);
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N = ::read(FHandle, static_cast<char*>(Buffer) + Done, Chunk(Count - Done));
    if (N < 0 && errno == EINTR) continue;
    if (N < 0 && Done == 0) return -1;  // a failure, not the end of the file (errno tells)
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N =
        ::write(FHandle, static_cast<const char*>(Buffer) + Done, Chunk(Count - Done));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int Whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : Origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
#if defined(_WIN32)
  const int64_t R = ::_lseeki64(FHandle, Offset, Whence);
#else
  const off_t R = ::lseek(FHandle, Offset, Whence);
#endif
  return R < 0 ? -1 : static_cast<int64_t>(R);
}

void TFileStream::SetSize(int64_t NewSize) {
#if defined(_WIN32)
  const bool Failed = ::_chsize_s(FHandle, NewSize) != 0;
#else
  const bool Failed = ::ftruncate(FHandle, NewSize) != 0;
#endif
  if (Failed) throw EStreamError("Cannot resize file " + FFileName);
}

// ---- Safe replacement of a file

void SaveBytesToFile(const std::string& FileName, const void* Data, int64_t Size) {
  if (const int Error = TrySaveBytesToFile(FileName, Data, Size); Error != 0)
    throw EFCreateError("Cannot write file \"" + FileName + "\": " + std::strerror(Error));
}

int TrySaveBytesToFile(const std::string& FileName, const void* Data, int64_t Size) {
  TFileReplacement Replacement;
  if (const int Error = Replacement.Add(FileName, Data, Size); Error != 0) return Error;
  return Replacement.Commit();
}

#if defined(_WIN32)
// Windows: the same steps with the system's own calls. The temporary file is flushed to the
// disk (_commit) before MoveFileExW replaces the target, which writes through.
namespace {

std::wstring WideName(const std::string& FileName) {
  const std::u16string Name = Utf8ToUtf16(FileName);
  return std::wstring(Name.begin(), Name.end());
}

}  // namespace

TFileReplacement::~TFileReplacement() {
  if (FSingleFd >= 0) ::_close(FSingleFd);
  for (const TPending& P : FPending) ::_wunlink(WideName(P.Temp).c_str());
}

int TFileReplacement::Add(const std::string& FileName, const void* Data, int64_t Size) {
  TPending P;
  P.Target = FileName;
  const size_t Slash = P.Target.find_last_of("/\\");
  P.Dir = Slash == std::string::npos ? std::string() : P.Target.substr(0, Slash + 1);
  const std::string Base = Slash == std::string::npos ? P.Target : P.Target.substr(Slash + 1);
  struct _stat64 Old;
  if (::_wstat64(WideName(P.Target).c_str(), &Old) == 0 && (Old.st_mode & _S_IFDIR)) return EISDIR;

  int Fd = -1;
  for (unsigned Try = 0; Fd < 0; ++Try) {
    P.Temp = P.Dir + "." + Base + ".tmp" + std::to_string(::_getpid()) + "-" + std::to_string(Try);
    Fd = ::_wopen(WideName(P.Temp).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY | O_NOINHERIT,
                  0666);
    if (Fd < 0 && (errno != EEXIST || Try > 1000)) return errno;
  }
  auto Fail = [&](int Error) {
    ::_close(Fd);
    ::_wunlink(WideName(P.Temp).c_str());
    return Error;
  };
  const auto* Bytes = static_cast<const char*>(Data);
  int64_t Done = 0;
  while (Done < Size) {
    const int Chunk = static_cast<int>(std::min<int64_t>(Size - Done, 1 << 30));
    const int N = ::_write(Fd, Bytes + Done, static_cast<unsigned>(Chunk));
    if (N < 0) return Fail(errno);
    if (N == 0) return Fail(ENOSPC);
    Done += N;
  }
  if (::_commit(Fd) != 0) return Fail(errno);
  if (::_close(Fd) != 0) {
    const int Error = errno;
    ::_wunlink(WideName(P.Temp).c_str());
    return Error;
  }
  FPending.push_back(std::move(P));
  return 0;
}

int TFileReplacement::Commit() {
  for (size_t I = 0; I < FPending.size(); ++I) {
    if (!::MoveFileExW(WideName(FPending[I].Temp).c_str(), WideName(FPending[I].Target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      FPending.erase(FPending.begin(), FPending.begin() + static_cast<std::ptrdiff_t>(I));
      return EACCES;
    }
  }
  FPending.clear();
  return 0;
}
#else
namespace {

// The file a chain of symbolic links ends at (the name itself when it is no link). A
// relative link is resolved against the folder of the link.
std::string FollowLinks(const std::string& FileName) {
  std::string Path = FileName;
  for (int Hop = 0; Hop < 40; ++Hop) {
    struct stat St;
    if (::lstat(Path.c_str(), &St) != 0 || !S_ISLNK(St.st_mode)) return Path;
    std::vector<char> Buf(static_cast<size_t>(St.st_size > 0 ? St.st_size : 255) + 1);
    const ssize_t N = ::readlink(Path.c_str(), Buf.data(), Buf.size());
    if (N < 0 || static_cast<size_t>(N) >= Buf.size()) return Path;
    const std::string Target(Buf.data(), static_cast<size_t>(N));
    if (!Target.empty() && Target[0] == '/') {
      Path = Target;
    } else {
      const size_t Slash = Path.rfind('/');
      Path = (Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1)) + Target;
    }
  }
  return Path;  // a loop of links: creating the file fails and says so
}

}  // namespace

TFileReplacement::~TFileReplacement() {
  if (FSingleFd >= 0) ::close(FSingleFd);
  for (const TPending& P : FPending) ::unlink(P.Temp.c_str());
}

int TFileReplacement::Add(const std::string& FileName, const void* Data, int64_t Size) {
  TPending P;
  P.Target = FollowLinks(FileName);
  const size_t Slash = P.Target.rfind('/');
  P.Dir = Slash == std::string::npos ? std::string() : P.Target.substr(0, Slash + 1);
  const std::string Base = Slash == std::string::npos ? P.Target : P.Target.substr(Slash + 1);

  struct stat Old;
  const bool Exists = ::stat(P.Target.c_str(), &Old) == 0;
  if (Exists && S_ISDIR(Old.st_mode)) return EISDIR;

  // A fresh name beside the target; O_EXCL makes sure it is our own new file.
  int Fd = -1;
  for (unsigned Try = 0; Fd < 0; ++Try) {
    P.Temp = P.Dir + "." + Base + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(Try);
    Fd = ::open(P.Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0 && (errno != EEXIST || Try > 1000)) return errno;
  }
  auto Fail = [&](int Error) {
    if (Fd >= 0) ::close(Fd);
    ::unlink(P.Temp.c_str());
    return Error;
  };
  if (Exists) {
    // The replacement keeps the permissions (and, where allowed, the owner) of the original.
    if (::fchown(Fd, Old.st_uid, Old.st_gid) != 0) {
      // Only the owner can be kept by anyone; the group may stay ours.
    }
    if (::fchmod(Fd, Old.st_mode & 07777) != 0) return Fail(errno);
  }
  const auto* Bytes = static_cast<const char*>(Data);
  int64_t Done = 0;
  while (Done < Size) {
    const ssize_t N = ::write(Fd, Bytes + Done, static_cast<size_t>(Size - Done));
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return Fail(errno);
    if (N == 0) return Fail(ENOSPC);
    Done += N;
  }
  // One file is flushed at once; many are flushed together by Commit, which costs one flush
  // of the file system instead of one per file.
  if (FPending.empty() && FSingleFd < 0) {
    FSingleFd = Fd;
  } else {
    if (FSingleFd >= 0) {
      const int Closed = ::close(FSingleFd);
      FSingleFd = -1;
      if (Closed != 0) return Fail(errno);
    }
    if (::close(Fd) != 0) {
      Fd = -1;
      return Fail(errno);
    }
  }
  FPending.push_back(std::move(P));
  return 0;
}

int TFileReplacement::Commit() {
  int Error = 0;
  if (FSingleFd >= 0) {
    if (::fsync(FSingleFd) != 0) Error = errno;
    if (::close(FSingleFd) != 0 && Error == 0) Error = errno;
    FSingleFd = -1;
  } else if (!FPending.empty()) {
    const int Fd = ::open(FPending.front().Temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0 || ::syncfs(Fd) != 0) Error = errno;
    if (Fd >= 0) ::close(Fd);
  }
  if (Error != 0) return Error;  // the destructor removes the temporary files
  std::vector<std::string> Dirs;
  for (size_t I = 0; I < FPending.size(); ++I) {
    if (::rename(FPending[I].Temp.c_str(), FPending[I].Target.c_str()) != 0) {
      Error = errno;
      FPending.erase(FPending.begin(), FPending.begin() + static_cast<std::ptrdiff_t>(I));
      return Error;
    }
    if (std::find(Dirs.begin(), Dirs.end(), FPending[I].Dir) == Dirs.end())
      Dirs.push_back(FPending[I].Dir);
  }
  FPending.clear();
  // Make the renames themselves durable; a folder that cannot be synced is no failure.
  for (const std::string& Dir : Dirs) {
    const int DirFd = ::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DirFd >= 0) {
      ::fsync(DirFd);
      ::close(DirFd);
    }
  }
  return 0;
}

#endif

}  // namespace orn
