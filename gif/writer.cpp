// Writing a GIF image: encoding frames made from bitmaps, bringing the graphic control
// extensions up to date, and assembling the GIF stream.
#include <algorithm>
#include <cstring>

#include "core/exceptions.h"
#include "gif/color_reduction.h"
#include "gif/gif_image.h"
#include "gif/lzw_encoder.h"

namespace orn {

namespace {

// Fixed bytes stored after the label, by extension kind.
int FixedPartSize(TGIFExtensionKind Kind) {
  switch (Kind) {
    case TGIFExtensionKind::ekGraphicControl:
      return 6;
    case TGIFExtensionKind::ekPlainText:
      return 13;
    case TGIFExtensionKind::ekApplication:
      return 12;
    case TGIFExtensionKind::ekComment:
      return 0;
  }
  return 0;
}

// The smallest b >= 1 with 2^b >= Count.
int BitsFor(int Count) {
  int B = 1;
  while (B < 8 && (1 << B) < Count) ++B;
  return B;
}

uint32_t LE32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}

TProgressStage StageOf(TEncodeStage Stage) {
  switch (Stage) {
    case TEncodeStage::esStarting:
      return TProgressStage::psStarting;
    case TEncodeStage::esRunning:
      return TProgressStage::psRunning;
    case TEncodeStage::esEnding:
      break;
  }
  return TProgressStage::psEnding;
}

bool SameTable(const TGIFPaletteRec& A, const TGIFPaletteRec& B) {
  if (A.EntryCount != B.EntryCount) return false;
  const int N = std::clamp(A.EntryCount, 0, 256);
  return std::memcmp(A.Entries, B.Entries, sizeof(TGIFTriple) * static_cast<size_t>(N)) == 0;
}

bool HasCodeData(const TGIFFrame& Frame) {
  const TGIFItem* Item = Frame.Item();
  return Item && Item->FCodeStream && Item->FCodeStream->Size() > 0;
}

// Copies a frame's stored image data as a well-formed sub-block chain: the code-size byte, each
// complete sub-block, and always a terminator. Data read from a damaged file may end after a
// sub-block without the terminator, or inside one; what is there is written, the chain is
// closed, so that the trailer never follows a sub-block.
void WriteImageData(TStream& Out, const TMemoryStream& Code) {
  const uint8_t* P = Code.Memory();
  const int64_t Size = static_cast<int64_t>(Code.Bytes().size());
  if (Size <= 0) return;
  Out.WriteByte(P[0]);
  int64_t Pos = 1;
  while (Pos < Size) {
    const int64_t N = P[Pos];
    if (N == 0) break;
    const int64_t Avail = std::min<int64_t>(N, Size - Pos - 1);
    if (Avail <= 0) break;
    Out.WriteByte(static_cast<uint8_t>(Avail));
    Out.WriteBuffer(P + Pos + 1, Avail);
    Pos += 1 + Avail;
  }
  Out.WriteByte(0);
}

}  // namespace

// ---- Block writers ------------------------------------------------------------------------

void WriteSubBlocks(TStream& Stream, const TStringList& Lines) {
  for (const std::string& Line : Lines.Items()) {
    const size_t N = std::min<size_t>(Line.size(), 255);
    if (N == 0) continue;
    Stream.WriteByte(static_cast<uint8_t>(N));
    Stream.WriteBuffer(Line.data(), static_cast<int64_t>(N));
  }
  Stream.WriteByte(0);
}

void WriteExtensions(TStream& Stream, const TExtensionList& List) {
  for (const auto& E : List) {
    if (!E) continue;
    Stream.WriteByte(0x21);
    Stream.WriteByte(ExtensionLabel(E->FKind));
    Stream.WriteBuffer(E->FFixedPart, FixedPartSize(E->FKind));
    if (E->FKind == TGIFExtensionKind::ekGraphicControl) continue;
    if (E->FSubBlocks)
      WriteSubBlocks(Stream, *E->FSubBlocks);
    else
      Stream.WriteByte(0);
  }
}

// ---- Frames -------------------------------------------------------------------------------

void TGIFFrame::EncodeBitmap() {
  if (!FFrameBitmap || FFrameBitmap->Empty()) RaiseGIFFailure(SGIFNoData);
  CheckGIFFrameSize(FFrameBitmap->Width(), FFrameBitmap->Height());
  std::unique_ptr<TMemoryStream> Dib;
  const TPixelFormat Format = FFrameBitmap->PixelFormat();
  if (Format == TPixelFormat::pf1bit || Format == TPixelFormat::pf4bit ||
      Format == TPixelFormat::pf8bit) {
    Dib = std::make_unique<TMemoryStream>();
    FFrameBitmap->SaveToStream(*Dib);
  } else {
    const TReductionMethod Method =
        FUseGrayPalette ? TReductionMethod::rmGreyScale : DefaultReduction;
    Dib = ReduceBitmap(*FFrameBitmap, Method);
    if (Method == TReductionMethod::rmGreyScale) FUseGrayPalette = true;
  }
  EncodeDIBStream(*Dib);
}

void TGIFFrame::EncodeDIBStream(TMemoryStream& Stream) {
  // The BMP file: 14-byte file header, 40-byte information header, the full colour table,
  // then bottom-up rows at the offset the file header names. Everything is checked against
  // the stream's size before it is read.
  const int64_t Size = Stream.Size();
  const uint8_t* Mem = Stream.Memory();
  if (Size < 54) RaiseGIFFailure(SGIFEncodeError);
  const uint32_t PixelOffset = LE32(Mem + 10);
  const auto Width = static_cast<int32_t>(LE32(Mem + 18));
  const auto Height = static_cast<int32_t>(LE32(Mem + 22));
  const int BitCount = Mem[28] | (Mem[29] << 8);
  int ColorCount = 0;
  switch (BitCount) {
    case 1:
      ColorCount = 2;
      break;
    case 4:
      ColorCount = 16;
      break;
    case 8:
      ColorCount = 256;
      break;
    default:
      RaiseGIFFailure(SGIFEncodeError);
  }
  if (Width <= 0 || Height <= 0 || Width > 65535 || Height > 65535)
    RaiseGIFFailure(SGIFEncodeError);
  const int64_t Stride = ((static_cast<int64_t>(Width) * BitCount + 31) / 32) * 4;
  if (54 + 4 * ColorCount > Size || PixelOffset > static_cast<uint64_t>(Size) ||
      Stride * Height > Size - static_cast<int64_t>(PixelOffset))
    RaiseGIFFailure(SGIFEncodeError);

  FIsInterlaced = false;
  TGIFPaletteRec& Table = FItem->FFrameTable;
  Table = TGIFPaletteRec{};
  for (int I = 0; I < ColorCount; ++I) {
    const uint8_t* Q = Mem + 54 + 4 * I;
    Table.Entries[I] = TGIFTriple{Q[2], Q[1], Q[0]};
  }
  Table.EntryCount = ColorCount;

  if (FItem->FCodeStream)
    FItem->FCodeStream->Clear();
  else
    FItem->FCodeStream = std::make_unique<TMemoryStream>();

  TEncodeProgress Sink;
  if (FOwnerImage && FOwnerImage->OnProgress) {
    TGIFImage* Image = FOwnerImage;
    Sink = [Image](TEncodeStage Stage, int Percent, const std::string& Msg) {
      Image->Progress(Image, StageOf(Stage), static_cast<uint8_t>(Percent), false, TRect{}, Msg);
    };
  }
  try {
    EncodeImageData(*FItem->FCodeStream, TEncodeHeader{Width, Height, BitCount}, Mem + PixelOffset,
                    Size - PixelOffset, Sink);
  } catch (const EAbort&) {
    ResetItem();
    throw;
  } catch (...) {
    // Partly written data must never pass for an encoded frame: a later save encodes the
    // bitmap again.
    FItem->FCodeStream.reset();
    throw;
  }

  FItem->FPixelBits = static_cast<uint8_t>(BitsFor(ColorCount));
  if (FOwnerImage && FOwnerImage->FGlobalData->FGlobalTable.EntryCount == 0) {
    FOwnerImage->FGlobalData->FGlobalTable = Table;
    FOwnerImage->FGlobalData->FGlobalBits = FItem->FPixelBits;
    FHasLocalTable = false;
  } else {
    FHasLocalTable = true;
  }
  FItem->FExtent = TGIFExtent{Width, Height};
  if (FOwnerImage) {
    const int64_t W = static_cast<int64_t>(Width) + FOrigin.X;
    const int64_t H = static_cast<int64_t>(Height) + FOrigin.Y;
    if (W > FOwnerImage->FLogicalWidth) FOwnerImage->FLogicalWidth = static_cast<uint16_t>(W);
    if (H > FOwnerImage->FLogicalHeight) FOwnerImage->FLogicalHeight = static_cast<uint16_t>(H);
  }
}

void TGIFFrame::PrepareExtensions() {
  TExtension* Control =
      LastExtensionOfKind(FExtensionList.get(), TGIFExtensionKind::ekGraphicControl);
  if (!Control &&
      (FDelayMs > 0 || FKeyColor != clNone || FDisposeMode != TGIFDisposal::gdUnspecified)) {
    if (!FExtensionList) FExtensionList = std::make_unique<TExtensionList>();
    auto Fresh = std::make_unique<TExtension>();
    Fresh->FKind = TGIFExtensionKind::ekGraphicControl;
    Fresh->FFixedPart[0] = 4;
    Control = Fresh.get();
    FExtensionList->push_back(std::move(Fresh));
  }
  if (Control) {
    uint8_t* Fixed = Control->FFixedPart;
    const uint16_t Delay = FDelayMs / 10;
    Fixed[2] = static_cast<uint8_t>(Delay);
    Fixed[3] = static_cast<uint8_t>(Delay >> 8);
    const int Index = ColorIndexInTable(FItem->FFrameTable, FKeyColor);
    if (Index >= 0) {
      Fixed[4] = static_cast<uint8_t>(Index);
      Fixed[1] |= 0x01;
    } else {
      Fixed[1] &= static_cast<uint8_t>(~0x01);
    }
    Fixed[1] =
        static_cast<uint8_t>((Fixed[1] & ~0x1C) | ((static_cast<uint8_t>(FDisposeMode) & 7) << 2));
  }
  if (FExtensionList) {
    // Comment extensions without text are dropped, from the last entry to the first.
    for (size_t I = FExtensionList->size(); I-- > 0;) {
      const TExtension* E = (*FExtensionList)[I].get();
      if (E && E->FKind == TGIFExtensionKind::ekComment &&
          (!E->FSubBlocks || E->FSubBlocks->Count() == 0))
        FExtensionList->erase(FExtensionList->begin() + static_cast<std::ptrdiff_t>(I));
    }
    if (!FExtensionList->empty() && FOwnerImage) FOwnerImage->FRevision = TGIFRevision::gr89a;
  }
}

// ---- Image --------------------------------------------------------------------------------

void TGIFImage::SaveToStream(TStream& Stream) {
  SaveGIFStream(Stream, false);
}

void TGIFImage::EncodeFrames() {
  for (auto& F : FFrames) {
    if (!HasCodeData(*F)) {
      F->FItem->FCodeStream.reset();
      F->EncodeBitmap();
    }
    F->PrepareExtensions();
  }
}

void TGIFImage::SaveGIFStream(TStream& Stream, bool WithLength) {
  if (FrameCount() == 0) RaiseGIFFailure(SGIFNoData);
  // What is written must read back: a frame beyond the reader's size limit is refused before
  // any frame is encoded.
  for (auto& F : FFrames)
    if (!HasCodeData(*F) && F->FFrameBitmap)
      CheckGIFFrameSize(F->FFrameBitmap->Width(), F->FFrameBitmap->Height());
  EncodeFrames();
  if (ImageComment().Count() > 0) FRevision = TGIFRevision::gr89a;
  // Frames put into the list without AppendFrame may leave no version; every GIF needs one.
  if (FRevision == TGIFRevision::grNone) FRevision = TGIFRevision::gr87a;

  TMemoryStream Out;
  Out.WriteBuffer("GIF", 3);
  Out.WriteBuffer(GIFVersionTexts[static_cast<int>(FRevision)], 3);

  RecalcLogicalSize();
  Out.WriteWord(FLogicalWidth);
  Out.WriteWord(FLogicalHeight);
  const TGIFPaletteRec& Global = FGlobalData->FGlobalTable;
  const int GlobalCount = Global.EntryCount;
  if (GlobalCount > 0) {
    const int C = BitsForColorCount(GlobalCount);
    // The size field must describe the table that follows, or a reader would take more or
    // fewer colours than are written. The global bits agree with the entry count in every
    // table the codec makes; where they do not, the entry count decides.
    const int SizeBits = FGlobalData->FGlobalBits == C ? FGlobalData->FGlobalBits : C;
    Out.WriteByte(static_cast<uint8_t>(0x80 + (C - 1) * 16 + (SizeBits - 1)));
    const int Back = ColorIndexInTable(Global, FBackColor);
    Out.WriteByte(static_cast<uint8_t>(Back >= 0 ? Back : 0));
  } else {
    Out.WriteByte(0);
    Out.WriteByte(0);
  }
  Out.WriteByte(FGlobalData->FPixelAspect);
  if (GlobalCount > 0) Out.WriteBuffer(Global.Entries, 3 * static_cast<int64_t>(GlobalCount));

  if (FLoopEnabled && FrameCount() >= 2) {
    static const uint8_t Head[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S',  'C',
                                   'A',  'P',  'E',  '2', '.', '0', 0x03, 0x01};
    Out.WriteBuffer(Head, sizeof Head);
    Out.WriteWord(FLoopCount);
    Out.WriteByte(0);
  }

  for (auto& F : FFrames) {
    if (F->FExtensionList) WriteExtensions(Out, *F->FExtensionList);
    TGIFItem& Item = *F->FItem;
    Out.WriteByte(0x2C);
    Out.WriteWord(static_cast<uint16_t>(F->FOrigin.X));
    Out.WriteWord(static_cast<uint16_t>(F->FOrigin.Y));
    Out.WriteWord(static_cast<uint16_t>(Item.FExtent.Width));
    Out.WriteWord(static_cast<uint16_t>(Item.FExtent.Height));
    uint8_t Packed = 0;
    int LocalEntries = 0;
    // A frame that shares its item with a frame encoded elsewhere (a copy in another image,
    // or a copied frame) may carry colours that are not the global ones without knowing it;
    // written without its table it would show the wrong colours.
    if (!F->FHasLocalTable && !SameTable(Item.FFrameTable, Global)) F->FHasLocalTable = true;
    if (F->FHasLocalTable) {
      const int B = BitsFor(Item.FFrameTable.EntryCount);
      Item.FPixelBits = static_cast<uint8_t>(B);
      Packed = static_cast<uint8_t>(0x80 + (B - 1));
      // As many entries as the size field announces (unused ones are zero).
      LocalEntries = 1 << B;
    }
    if (F->FIsInterlaced) Packed |= 0x40;
    Out.WriteByte(Packed);
    if (LocalEntries > 0) Out.WriteBuffer(Item.FFrameTable.Entries, 3 * LocalEntries);
    WriteImageData(Out, *Item.FCodeStream);
  }

  if (ImageComment().Count() > 0) {
    Out.WriteByte(0x21);
    Out.WriteByte(0xFE);
    WriteSubBlocks(Out, ImageComment());
  }
  Out.WriteByte(0x3B);

  if (WithLength) {
    const auto Count = static_cast<uint32_t>(Out.Size());
    uint8_t Length[4] = {static_cast<uint8_t>(Count), static_cast<uint8_t>(Count >> 8),
                         static_cast<uint8_t>(Count >> 16), static_cast<uint8_t>(Count >> 24)};
    Stream.WriteBuffer(Length, 4);
  }
  Stream.WriteBuffer(Out.Memory(), Out.Size());
}

}  // namespace orn
