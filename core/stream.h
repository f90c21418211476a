// Byte streams: the abstract TStream, an in-memory stream and a file stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orn {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;

  // Plain transfers: return how many bytes moved, which may be fewer than asked.
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  // Checked transfers: raise EReadError ("Stream read error") or EWriteError on a short one.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);

  // Copies Count bytes from Source's current position (the whole of Source, from its start,
  // when Count is 0). Returns the count copied; a short source raises EReadError.
  int64_t CopyFrom(TStream& Source, int64_t Count);

  // Little-endian helpers over ReadBuffer/WriteBuffer.
  uint8_t ReadByte();
  uint16_t ReadWord();
  uint32_t ReadDWord();
  void WriteByte(uint8_t Value);
  void WriteWord(uint16_t Value);
  void WriteDWord(uint32_t Value);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t NewSize) override;
  void Clear();

  uint8_t* Memory() { return FData.data(); }
  const uint8_t* Memory() const { return FData.data(); }
  const std::vector<uint8_t>& Bytes() const { return FData; }

  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream);
  // Reads the file to its end, whatever its kind (regular file, pipe, terminal).
  void LoadFromFile(const std::string& FileName);
  // Replaces the file safely (SaveBytesToFile).
  void SaveToFile(const std::string& FileName);

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

enum class TFileMode { fmOpenRead, fmOpenWrite, fmOpenReadWrite, fmCreate };

class TFileStream : public TStream {
 public:
  // Raises EFOpenError / EFCreateError naming the file when it cannot be opened.
  TFileStream(const std::string& FileName, TFileMode Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

// Replaces FileName with Size bytes of Data so that it is either wholly replaced or left as
// it was: the bytes go to a temporary file in the same folder, which is flushed to the disk
// and then renamed over the target. A symbolic link stays a link: the file it points to is
// replaced. An existing file keeps its permissions. On failure the temporary file is removed
// and EFCreateError names the file and the reason ("No space left on device").
void SaveBytesToFile(const std::string& FileName, const void* Data, int64_t Size);
// The same, reporting failure as an errno value instead (0 on success).
int TrySaveBytesToFile(const std::string& FileName, const void* Data, int64_t Size);

// Replaces several files together, the way SaveBytesToFile replaces one: Add writes each
// content to a temporary file beside its target, Commit flushes them to the disk at once and
// renames them over their targets. Temporary files not committed are removed. Both report
// failure as an errno value (0 on success).
class TFileReplacement {
 public:
  TFileReplacement() = default;
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;
  int Add(const std::string& FileName, const void* Data, int64_t Size);
  int Commit();

 private:
  struct TPending {
    std::string Temp, Target, Dir;
  };
  std::vector<TPending> FPending;
  int FSingleFd = -1;  // the only file so far, still open to be flushed by itself
};

}  // namespace orn
