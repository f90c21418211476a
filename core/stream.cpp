#include "core/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/exceptions.h"
#include "core/unicode.h"

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
  LoadFromStream(F);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream F(FileName, TFileMode::fmCreate);
  SaveToStream(F);
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

}  // namespace orn
