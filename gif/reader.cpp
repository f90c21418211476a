// Reading GIF streams into the image model. Frames keep their LZW data as stored; only the
// first frame may be decoded at once.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/exceptions.h"
#include "gif/gif_image.h"

namespace orn {

namespace {

constexpr uint8_t kExtensionIntroducer = '!';
constexpr uint8_t kImageIntroducer = ',';
constexpr uint8_t kTrailer = ';';

// The GIF data being read, in place: the bytes of a memory stream, or one private copy of
// those of any other stream. Read only.
class TGIFBytes : public TStream {
 public:
  TGIFBytes(const uint8_t* Data, int64_t Size) : FData(Data), FSize(Size) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    if (Count <= 0 || FPosition >= FSize) return 0;
    const int64_t N = std::min(Count, FSize - FPosition);
    std::memcpy(Buffer, FData + FPosition, static_cast<size_t>(N));
    FPosition += N;
    return N;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    const int64_t From = Origin == TSeekOrigin::soBeginning
                             ? 0
                             : (Origin == TSeekOrigin::soCurrent ? FPosition : FSize);
    FPosition = std::max<int64_t>(0, From + Offset);
    return FPosition;
  }
  int64_t Size() override { return FSize; }
  const uint8_t* Data() const { return FData; }

 private:
  const uint8_t* FData;
  int64_t FSize;
  int64_t FPosition = 0;
};

bool AtEnd(TStream& Stream) {
  return Stream.Position() >= Stream.Size();
}

// A plain read of a fixed-size part: takes what is there, the rest stays zero.
void ReadPart(TStream& Stream, void* Buffer, int64_t Count) {
  std::memset(Buffer, 0, static_cast<size_t>(Count));
  Stream.Read(Buffer, Count);
}

// A read of a part the picture cannot do without (header, screen descriptor, global table):
// data that end inside it are damaged, not a picture without frames.
void ReadWholePart(TStream& Stream, void* Buffer, int64_t Count) {
  if (Stream.Read(Buffer, Count) != Count) RaiseGIFFailure(SGIFReadError);
}

bool SameTextN(const uint8_t* A, const char* B, size_t N) {
  for (size_t I = 0; I < N; ++I)
    if (std::tolower(A[I]) != std::tolower(static_cast<unsigned char>(B[I]))) return false;
  return true;
}

uint16_t Word(const uint8_t* P) {
  return static_cast<uint16_t>(P[0] | (P[1] << 8));
}

struct TImageDescriptor {
  uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
  uint8_t Flags = 0;
};

// One sub-block sequence into a new list, one string per sub-block.
std::unique_ptr<TStringList> ReadSubBlocks(TStream& Stream) {
  auto Lines = std::make_unique<TStringList>();
  while (true) {
    uint8_t N = 0;
    if (Stream.Read(&N, 1) != 1 || N == 0) break;
    std::string Block(N, '\0');
    Block.resize(static_cast<size_t>(std::max<int64_t>(0, Stream.Read(Block.data(), N))));
    Lines->Add(Block);
    if (AtEnd(Stream)) break;
  }
  return Lines;
}

// Passes over a sub-block chain that ends with its terminator inside the data and answers
// true; answers false, with the position unchanged, when the data end before the terminator.
bool SkipSubBlocks(TStream& Stream) {
  const int64_t Start = Stream.Position();
  for (;;) {
    uint8_t N = 0;
    if (Stream.Read(&N, 1) != 1) break;
    if (N == 0) return true;
    if (Stream.Position() + N > Stream.Size()) break;
    Stream.Seek(N, TSeekOrigin::soCurrent);
  }
  Stream.SetPosition(Start);
  return false;
}

// One extension after its introducer; nullptr for an extension of a kind this reader does
// not know that was skipped. Other encoders write labels of their own (gifsicle's name
// extension 0xCE, for one): in lenient loading one whose data form a complete sub-block chain
// is passed over as other decoders do; strict loading, or a broken chain, raises.
std::unique_ptr<TExtension> ReadOneExtension(TStream& Stream) {
  auto E = std::make_unique<TExtension>();
  const uint8_t Label = Stream.ReadByte();
  switch (Label) {
    case 0xF9:
      E->FKind = TGIFExtensionKind::ekGraphicControl;
      ReadPart(Stream, E->FFixedPart, 6);
      break;
    case 0xFE:
      E->FKind = TGIFExtensionKind::ekComment;
      E->FSubBlocks = ReadSubBlocks(Stream);
      break;
    case 0x01:
      E->FKind = TGIFExtensionKind::ekPlainText;
      ReadPart(Stream, E->FFixedPart, 13);
      E->FSubBlocks = ReadSubBlocks(Stream);
      break;
    case 0xFF:
      E->FKind = TGIFExtensionKind::ekApplication;
      ReadPart(Stream, E->FFixedPart, 12);
      E->FSubBlocks = ReadSubBlocks(Stream);
      break;
    default:
      if (!GIFLenientLoading || !SkipSubBlocks(Stream))
        RaiseGIFFailure(UnknownExtensionMessage(Label));
      return nullptr;
  }
  return E;
}

// The raw part of an image: descriptor, local table, and the image data copied into Dest up
// to the terminator, or up to the last complete sub-block when the data end early (Corrupt).
void CopyImageBlock(TStream& Stream, TStream& Dest, TImageDescriptor& Descriptor,
                    TGIFPaletteRec& Table, uint8_t& PixelBits, bool& Corrupt, bool& LocalTable,
                    bool& Interlaced) {
  Corrupt = false;
  uint8_t D[9];
  Stream.ReadBuffer(D, 9);
  Descriptor.Left = Word(D);
  Descriptor.Top = Word(D + 2);
  Descriptor.Width = Word(D + 4);
  Descriptor.Height = Word(D + 6);
  Descriptor.Flags = D[8];
  Interlaced = (D[8] & 0x40) != 0;
  if (D[8] & 0x80) {
    PixelBits = static_cast<uint8_t>((D[8] & 7) + 1);
    LocalTable = true;
    Table = TGIFPaletteRec();
    Table.EntryCount = 1 << PixelBits;
    Stream.ReadBuffer(Table.Entries, 3 * Table.EntryCount);
  } else {
    LocalTable = false;
    Table = TGIFPaletteRec();
  }
  Dest.WriteByte(Stream.ReadByte());
  if (auto* Bytes = dynamic_cast<TGIFBytes*>(&Stream)) {
    // The sub-blocks are found where they stand and copied at once.
    const uint8_t* P = Bytes->Data();
    const int64_t Size = Stream.Size();
    const int64_t Start = Stream.Position();
    int64_t Pos = Start, CopyEnd = Start;
    while (Pos < Size) {
      const int64_t N = P[Pos++];
      if (Pos + N > Size) {
        Corrupt = true;
        break;
      }
      Pos += N;
      CopyEnd = Pos;
      if (N == 0) break;
    }
    Dest.WriteBuffer(P + Start, CopyEnd - Start);
    Stream.SetPosition(Pos);
    return;
  }
  uint8_t Block[256];
  do {
    uint8_t N = 0;
    if (Stream.Read(&N, 1) != 1) break;
    if (Stream.Position() + N > Stream.Size()) {
      Corrupt = true;
      break;
    }
    Dest.WriteByte(N);
    if (N == 0) break;
    Stream.ReadBuffer(Block, N);
    Dest.WriteBuffer(Block, N);
  } while (!AtEnd(Stream));
}

}  // namespace

// ---- Frames -------------------------------------------------------------------------------

void TGIFFrame::LoadFromGIF(TStream& Stream) {
  FItem->FCodeStream = std::make_unique<TMemoryStream>();
  try {
    TImageDescriptor D;
    CopyImageBlock(Stream, *FItem->FCodeStream, D, FItem->FFrameTable, FItem->FPixelBits,
                   FDataCorrupt, FHasLocalTable, FIsInterlaced);
    if (FDataCorrupt && !GIFLenientLoading) RaiseGIFFailure(SGIFReadError);
    FItem->FCodeStream->SetPosition(0);
    int Width = D.Width, Height = D.Height;
    if (FOwnerImage) {
      if (Height == 0) Height = FOwnerImage->FLogicalHeight;
      if (Width == 0) Width = FOwnerImage->FLogicalWidth;
    }
    FOrigin = TPoint{D.Left, D.Top};
    FItem->FExtent = TGIFExtent{Width, Height};
    if (!FHasLocalTable && FOwnerImage) FItem->FFrameTable = FOwnerImage->FGlobalData->FGlobalTable;
    FDelayMs = 0;
    if (FExtensionList) {
      for (auto& E : *FExtensionList) {
        if (E->FKind != TGIFExtensionKind::ekGraphicControl) continue;
        const uint8_t Flags = E->FFixedPart[1];
        if (Flags & 1) {
          const int Index = E->FFixedPart[4];
          if (Index < FItem->FFrameTable.EntryCount)
            FKeyColor = TripleToColor(FItem->FFrameTable.Entries[Index]);
        } else {
          FKeyColor = clNone;
        }
        // Hundredths to milliseconds; a delay beyond the 16-bit field (6554 hundredths and
        // more) keeps the largest value the field holds instead of wrapping to a short one.
        const uint32_t Delay = std::min<uint32_t>(Word(E->FFixedPart + 2) * 10u, 65535);
        FDelayMs = static_cast<uint16_t>(std::max<uint32_t>(Delay, FDelayMs));
        FDisposeMode = static_cast<TGIFDisposal>((Flags >> 2) & 7);
      }
    }
  } catch (...) {
    FItem->FCodeStream.reset();
    throw;
  }
}

// ---- Image --------------------------------------------------------------------------------

void TGIFImage::CheckSignature(TStream& Stream) {
  FRevision = TGIFRevision::grNone;
  uint8_t Buf[3];
  ReadWholePart(Stream, Buf, 3);
  if (!SameTextN(Buf, "GIF", 3)) RaiseGIFFailure(SGIFUnknownVersion);
  ReadWholePart(Stream, Buf, 3);
  // The empty text at index 0 never matches three bytes.
  for (int I = 1; I < 3; ++I) {
    if (SameTextN(Buf, GIFVersionTexts[I], 3)) {
      FRevision = static_cast<TGIFRevision>(I);
      return;
    }
  }
  RaiseGIFFailure(SGIFUnknownVersion);
}

void TGIFImage::ReadScreenHeader(TStream& Stream, uint8_t& Flags, uint8_t& BackIndex) {
  uint8_t S[7];
  ReadWholePart(Stream, S, 7);
  FLogicalWidth = Word(S);
  FLogicalHeight = Word(S + 2);
  Flags = S[4];
  BackIndex = S[5];
  FGlobalData->FPixelAspect = S[6];
  FGlobalData->FGlobalBits = static_cast<uint8_t>((Flags & 7) + 1);
}

void TGIFImage::ReadGlobalTable(TStream& Stream, uint8_t Flags, uint8_t BackIndex) {
  if (!(Flags & 0x80)) return;
  TGIFPaletteRec& Table = FGlobalData->FGlobalTable;
  Table.EntryCount = 1 << FGlobalData->FGlobalBits;
  ReadWholePart(Stream, Table.Entries, 3 * Table.EntryCount);
  if (BackIndex < Table.EntryCount) FBackColor = TripleToColor(Table.Entries[BackIndex]);
}

std::unique_ptr<TExtensionList> TGIFImage::ReadExtensionRun(TStream& Stream, uint8_t& Introducer) {
  std::unique_ptr<TExtensionList> List;
  while (Introducer == kExtensionIntroducer) {
    std::unique_ptr<TExtension> E = ReadOneExtension(Stream);
    if (!E) {
      Introducer = AtEnd(Stream) ? kTrailer : Stream.ReadByte();
      continue;
    }
    // A graphic control before plain text belongs to the text, not to the next image.
    if (E->FKind == TGIFExtensionKind::ekPlainText) List.reset();
    if (E->FKind == TGIFExtensionKind::ekPlainText ||
        E->FKind == TGIFExtensionKind::ekApplication) {
      if (E->DescribesLooping()) {
        const std::string& Block = E->FSubBlocks->Strings(0);
        const int Count = static_cast<uint8_t>(Block[1]) + 256 * static_cast<uint8_t>(Block[2]);
        FLoopEnabled = true;
        FLoopCount = static_cast<uint16_t>(std::min(Count, 30000));
      }
    } else {
      if (!List) List = std::make_unique<TExtensionList>();
      List->push_back(std::move(E));
    }
    if (AtEnd(Stream))
      Introducer = kTrailer;
    else
      Introducer = Stream.ReadByte();
  }
  if (List && List->empty()) List.reset();
  return List;
}

void TGIFImage::ReadFrames(TStream& Stream) {
  uint8_t Introducer = 0;
  Stream.Read(&Introducer, 1);
  while (Introducer != 0 && Introducer != kTrailer && !AtEnd(Stream)) {
    std::unique_ptr<TExtensionList> List = ReadExtensionRun(Stream, Introducer);
    if (Introducer == kImageIntroducer) {
      auto F = std::make_unique<TGIFFrame>(this);
      if (FGlobalData->FGlobalTable.EntryCount > 0)
        F->FItem->FPixelBits =
            static_cast<uint8_t>(BitsForColorCount(FGlobalData->FGlobalTable.EntryCount));
      F->FExtensionList = std::move(List);
      F->LoadFromGIF(Stream);
      FFrames.push_back(std::move(F));
      if (AtEnd(Stream)) {
        Introducer = kTrailer;
      } else {
        Introducer = Stream.ReadByte();
        while (Introducer == 0 && !AtEnd(Stream)) Introducer = Stream.ReadByte();
        if (Introducer != kExtensionIntroducer && Introducer != kImageIntroducer &&
            Introducer != kTrailer)
          Introducer = 0;  // not a block: the frames read so far form the image
      }
    } else if (ImageComment().Count() == 0 && List) {
      // Extensions after the last image: their comments become the image comment.
      for (auto& E : *List) {
        if (E->FKind != TGIFExtensionKind::ekComment) continue;
        if (ImageComment().Count() > 0) ImageComment().Add("\r\n\r\n");
        if (E->FSubBlocks) ImageComment().AddStrings(*E->FSubBlocks);
      }
    } else if (Introducer != 0 && Introducer != kTrailer) {
      RaiseGIFFailure(SGIFReadError);
    }
  }
}

void TGIFImage::LoadGIFData(int64_t Size, TStream& Stream, bool DecodeFirst) {
  ResetToEmpty();
  if (Size > 0) {
    // The data are read where a memory stream holds them; any other stream is copied once.
    TMemoryStream Copy;
    const uint8_t* Bytes = nullptr;
    auto* Memory = dynamic_cast<TMemoryStream*>(&Stream);
    const int64_t At = Memory ? Memory->Position() : 0;
    if (Memory && At + Size <= Memory->Size()) {
      Bytes = Memory->Memory() + At;
      Memory->SetPosition(At + Size);
    } else {
      Copy.CopyFrom(Stream, Size);
      Bytes = Copy.Memory();
    }
    TGIFBytes Data(Bytes, Size);
    CheckSignature(Data);
    uint8_t Flags = 0, BackIndex = 0;
    ReadScreenHeader(Data, Flags, BackIndex);
    ReadGlobalTable(Data, Flags, BackIndex);
    ReadFrames(Data);
  }
  if (!FFrames.empty()) {
    FCurrentIndex = 0;
    if (DecodeFirst) {
      try {
        CurrentBitmap();
      } catch (...) {
        FFrames.erase(FFrames.begin());
        throw;
      }
    }
  }
  SetPaletteModified(true);
  Changed(this);
}

}  // namespace orn
