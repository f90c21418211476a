#include "gif/gif_image.h"

#include <algorithm>
#include <cstring>

#include "core/exceptions.h"

namespace orn {

const char* const GIFVersionTexts[3] = {"", "87a", "89a"};

bool GIFLenientLoading = true;
TClipboardFormat GIFClipboardFormat = 0;

uint8_t ExtensionLabel(TGIFExtensionKind Kind) {
  switch (Kind) {
    case TGIFExtensionKind::ekGraphicControl:
      return 0xF9;
    case TGIFExtensionKind::ekPlainText:
      return 0x01;
    case TGIFExtensionKind::ekApplication:
      return 0xFF;
    case TGIFExtensionKind::ekComment:
      return 0xFE;
  }
  return 0;
}

// ---- Unit routines ------------------------------------------------------------------------

int ColorIndexInTable(const TGIFPaletteRec& Table, TColor Color) {
  if (Color == clNone) return -1;
  const TColor Rgb = ColorToRGB(Color);
  const int Count = std::clamp(Table.EntryCount, 0, 256);
  for (int I = 0; I < Count; ++I)
    if (TripleToColor(Table.Entries[I]) == Rgb) return I;
  return -1;
}

int BitsForColorCount(int Count) {
  switch (Count) {
    case 2:
      return 1;
    case 4:
      return 2;
    case 8:
      return 3;
    case 16:
      return 4;
    case 32:
      return 5;
    case 64:
      return 6;
    case 128:
      return 7;
    case 256:
      return 8;
    default:
      RaiseGIFFailure(SGIFColorCount);
  }
}

void CheckGIFFrameSize(int64_t Width, int64_t Height) {
  if (Width * Height > MaxGIFFramePixels)
    throw EInvalidGraphicOperation("GIF frame too large: " + std::to_string(Width) + " x " +
                                   std::to_string(Height) + " pixels");
}

void FreeExtensionList(std::unique_ptr<TExtensionList>& List) {
  if (!List) return;
  List->clear();
  List.reset();
}

TExtension* LastExtensionOfKind(const TExtensionList* List, TGIFExtensionKind Kind) {
  if (!List) return nullptr;
  for (auto It = List->rbegin(); It != List->rend(); ++It)
    if ((*It)->FKind == Kind) return It->get();
  return nullptr;
}

// ---- TExtension ---------------------------------------------------------------------------

void TExtension::Assign(TPersistent* Source) {
  if (auto* E = dynamic_cast<TExtension*>(Source)) {
    if (E == this) return;
    FKind = E->FKind;
    std::memcpy(FFixedPart, E->FFixedPart, sizeof FFixedPart);
    if (E->FSubBlocks) {
      if (!FSubBlocks) FSubBlocks = std::make_unique<TStringList>();
      FSubBlocks->Assign(E->FSubBlocks.get());
    }
    return;
  }
  TPersistent::Assign(Source);
}

bool TExtension::DescribesLooping() const {
  if (FKind != TGIFExtensionKind::ekApplication || !FSubBlocks || FSubBlocks->Count() < 1)
    return false;
  const uint8_t* Id = FFixedPart + 1;
  if (std::memcmp(Id, "NETSCAPE2.0", 11) != 0 && std::memcmp(Id, "ANIMEXTS1.0", 11) != 0)
    return false;
  const std::string& First = FSubBlocks->Strings(0);
  return First.size() >= 3 && static_cast<uint8_t>(First[0]) == 1;
}

// ---- Shared holders -----------------------------------------------------------------------

void TGIFData::FreeHandle() {
  FCommentLines.Clear();
}

void TGIFItem::FreeHandle() {
  if (FCodeStream) FCodeStream->Clear();
}

// ---- Decoded bitmap cache -----------------------------------------------------------------

namespace {

int64_t BitmapBytes(TBitmap& Bitmap) {
  if (!Bitmap.HandleAllocated()) return 0;
  return static_cast<int64_t>(Bitmap.Handle()->Dib.Bits.size());
}

}  // namespace

void TFrameBitmapCache::SetBudget(int64_t Value) {
  FBudget = Value;
  Trim();
}

void TFrameBitmapCache::Add(TGIFFrame& Frame) {
  Remove(Frame);
  Frame.FCachedBytes = Frame.FFrameBitmap ? BitmapBytes(*Frame.FFrameBitmap) : 0;
  Frame.FCacheEntry = FFrames.insert(FFrames.end(), &Frame);
  Frame.FCached = true;
  FBytes += Frame.FCachedBytes;
  Trim();
}

void TFrameBitmapCache::Touch(TGIFFrame& Frame) {
  if (!Frame.FCached) return;
  FFrames.splice(FFrames.end(), FFrames, Frame.FCacheEntry);
}

void TFrameBitmapCache::Remove(TGIFFrame& Frame) {
  if (!Frame.FCached) return;
  FFrames.erase(Frame.FCacheEntry);
  FBytes -= Frame.FCachedBytes;
  Frame.FCached = false;
  Frame.FCachedBytes = 0;
}

void TFrameBitmapCache::Trim() {
  // The most recently used bitmap stays: its caller is about to draw it.
  while (FBytes > FBudget && FFrames.size() > 1) {
    TGIFFrame& Oldest = *FFrames.front();
    Remove(Oldest);
    Oldest.FFrameBitmap.reset();
  }
}

// ---- TGIFFrame ----------------------------------------------------------------------------

TGIFFrame::TGIFFrame(TGIFImage* Owner) : FOwnerImage(Owner) {
  ResetItem();
}

TGIFFrame::~TGIFFrame() {
  ResetBitmap();
  FreeExtensionList(FExtensionList);
  if (FItem) FItem->Release();
}

void TGIFFrame::ResetItem() {
  ReplaceSharedImage(FItem, new TGIFItem());
  FUseGrayPalette = false;
  FDataCorrupt = false;
  FIsInterlaced = false;
  FKeyColor = clNone;
  FOrigin = TPoint{0, 0};
  FHasLocalTable = false;
  FDelayMs = 0;
  FDisposeMode = TGIFDisposal::gdUnspecified;
}

void TGIFFrame::ReplaceBitmap() {
  ForgetCachedBitmap();
  FFrameBitmap = std::make_unique<TBitmap>();
}

void TGIFFrame::ResetBitmap() {
  ForgetCachedBitmap();
  FFrameBitmap.reset();
}

void TGIFFrame::NoteBitmapDecoded() {
  if (FOwnerImage) FOwnerImage->FBitmapCache.Add(*this);
}

void TGIFFrame::NoteBitmapUsed() {
  if (FOwnerImage) FOwnerImage->FBitmapCache.Touch(*this);
}

void TGIFFrame::ForgetCachedBitmap() {
  if (FCached && FOwnerImage) FOwnerImage->FBitmapCache.Remove(*this);
}

// A frame's size comes from its bitmap when it has a non-empty one (made from a graphic, or
// decoded), else from its descriptor: the decoded bitmap always has the descriptor's size, so
// measuring needs no decoding.
int TGIFFrame::PixelWidth() {
  if (FFrameBitmap && !FFrameBitmap->Empty()) return FFrameBitmap->Width();
  if (!FItem->FCodeStream) return FFrameBitmap ? FFrameBitmap->Width() : 0;
  return std::max(0, FItem->FExtent.Width);
}

int TGIFFrame::PixelHeight() {
  if (FFrameBitmap && !FFrameBitmap->Empty()) return FFrameBitmap->Height();
  if (!FItem->FCodeStream) return FFrameBitmap ? FFrameBitmap->Height() : 0;
  return std::max(0, FItem->FExtent.Height);
}

TStringList* TGIFFrame::LookupComment(bool Create) {
  TExtension* E = LastExtensionOfKind(FExtensionList.get(), TGIFExtensionKind::ekComment);
  if (!E && Create) {
    if (!FExtensionList) FExtensionList = std::make_unique<TExtensionList>();
    auto Fresh = std::make_unique<TExtension>();
    Fresh->FKind = TGIFExtensionKind::ekComment;
    E = Fresh.get();
    FExtensionList->push_back(std::move(Fresh));
  }
  if (!E) return nullptr;
  if (!E->FSubBlocks && Create) E->FSubBlocks = std::make_unique<TStringList>();
  return E->FSubBlocks.get();
}

void TGIFFrame::SetCommentLines(const TStringList& Value) {
  TStringList* Lines = LookupComment(true);
  if (Lines == &Value) return;
  Lines->Clear();
  Lines->AddStrings(Value);
}

void TGIFFrame::Assign(TPersistent* Source) {
  if (Source == this) return;  // copying a frame onto itself changes nothing
  if (!Source) {
    ResetItem();
    ResetBitmap();
  } else if (auto* F = dynamic_cast<TGIFFrame*>(Source)) {
    ReplaceSharedImage(FItem, F->FItem);
    // Colours of a frame taken from another image count as the frame's own.
    FHasLocalTable = (F->FOwnerImage == FOwnerImage) ? F->FHasLocalTable : true;
    FOrigin = F->FOrigin;
    FIsInterlaced = F->FIsInterlaced;
    if (F->FFrameBitmap && !F->FCached) {
      ReplaceBitmap();
      FFrameBitmap->Assign(F->FFrameBitmap.get());
    } else {
      // The old pixels belong to the old data: decode the shared data when asked. A bitmap
      // that the source only decoded from those data is not copied either, so that copies
      // stay within their own budget.
      ResetBitmap();
    }
    FKeyColor = F->FKeyColor;
    FDelayMs = F->FDelayMs;
    FDisposeMode = F->FDisposeMode;
    FUseGrayPalette = F->FUseGrayPalette;
    FDataCorrupt = F->FDataCorrupt;
    if (TStringList* Comment = F->LookupComment(false); Comment && Comment->Count() > 0)
      SetCommentLines(*Comment);
  } else if (auto* Image = dynamic_cast<TGIFImage*>(Source)) {
    if (Image->FrameCount() == 0) {
      Assign(nullptr);
    } else {
      Assign(Image->Frames(Image->CurrentIndex() < 0 ? 0 : Image->CurrentIndex()));
    }
    return;  // the nested assignment has updated the owner
  } else if (auto* G = dynamic_cast<TGraphic*>(Source)) {
    if (G->Empty()) {
      Assign(nullptr);
      return;
    }
    ResetItem();
    ReplaceBitmap();
    auto* SourceBitmap = dynamic_cast<TBitmap*>(G);
    try {
      FFrameBitmap->Assign(G);
      if (SourceBitmap) FFrameBitmap->SetMonochrome(SourceBitmap->Monochrome());
    } catch (const Exception&) {
      // A graphic that cannot be copied as a bitmap is drawn onto a fuchsia background.
      FFrameBitmap->Canvas().Brush().SetColor(clFuchsia);
      FFrameBitmap->SetSize(G->Width(), G->Height());
      FFrameBitmap->Canvas().Draw(0, 0, G);
    }
    if (G->Transparent()) {
      if (SourceBitmap) {
        // Kept as a plain RGB value like every other key colour of the model.
        FKeyColor = ColorToRGB(FFrameBitmap->TransparentColor() & ~PaletteRelativeFlag);
      } else {
        TCanvas& C = FFrameBitmap->Canvas();
        FKeyColor = GetNearestColor(C.Handle(), C.Brush().Color());
      }
    }
  } else {
    TPersistent::Assign(Source);
    return;
  }
  if (FOwnerImage) FOwnerImage->RecalcLogicalSize();
}

void TGIFFrame::AssignTo(TPersistent* Dest) {
  if (dynamic_cast<TGIFFrame*>(Dest) || dynamic_cast<TGIFImage*>(Dest)) {
    Dest->Assign(this);
  } else if (auto* G = dynamic_cast<TGraphic*>(Dest)) {
    G->Assign(DecodedBitmap());
    auto* B = dynamic_cast<TBitmap*>(G);
    if (B && FKeyColor != clNone) {
      B->SetTransparentColor(GetNearestColor(B->Canvas().Handle(), FKeyColor));
      B->SetTransparent(true);
    }
  } else {
    TPersistent::AssignTo(Dest);
  }
}

// ---- TGIFImage ----------------------------------------------------------------------------

TGIFImage::TGIFImage() {
  InitializeGIFCodec();
  ResetToEmpty();
  SetTransparent(true);
}

TGIFImage::~TGIFImage() {
  OnChange = nullptr;  // no notifications while dying
  if (FGlobalData) FGlobalData->Release();
  FGlobalData = nullptr;
  DeleteAllFrames();
}

void TGIFImage::ResetToEmpty() {
  ReplaceSharedImage(FGlobalData, new TGIFData());
  DeleteAllFrames();
  FCurrentIndex = -1;
  FBackColor = clNone;
  FLoopCount = 1;
  FLoopEnabled = false;
  FRevision = TGIFRevision::grNone;
}

void TGIFImage::DeleteAllFrames() {
  // Frames are freed from the front; the list is taken over first, so that freeing them does
  // not move the rest of the list once per frame.
  std::vector<std::unique_ptr<TGIFFrame>> Frames;
  Frames.swap(FFrames);
  for (auto& F : Frames) F.reset();
}

TGIFFrame* TGIFImage::Frames(int Index) const {
  if (Index < 0 || Index >= FrameCount()) ListIndexError(Index);
  return FFrames[static_cast<size_t>(Index)].get();
}

int TGIFImage::LogicalWidth() const {
  return GetEmpty() ? 0 : FLogicalWidth;
}

int TGIFImage::LogicalHeight() const {
  return GetEmpty() ? 0 : FLogicalHeight;
}

void TGIFImage::RecalcLogicalSize() {
  FLogicalWidth = 0;
  FLogicalHeight = 0;
  for (auto& F : FFrames) {
    const int W = F->PixelWidth() + F->FOrigin.X;
    const int H = F->PixelHeight() + F->FOrigin.Y;
    if (W > FLogicalWidth) FLogicalWidth = static_cast<uint16_t>(W);
    if (H > FLogicalHeight) FLogicalHeight = static_cast<uint16_t>(H);
  }
}

int TGIFImage::AppendFrame(TGraphic* Graphic) {
  FFrames.push_back(std::make_unique<TGIFFrame>(this));
  TGIFFrame* F = FFrames.back().get();
  FCurrentIndex = FrameCount() - 1;
  // The new frame can only widen the logical size: it is assigned without its owner, which
  // would measure every frame again, and then widens the size itself.
  F->FOwnerImage = nullptr;
  try {
    F->Assign(Graphic);
  } catch (...) {
    F->FOwnerImage = this;
    throw;
  }
  F->FOwnerImage = this;
  FLogicalWidth =
      static_cast<uint16_t>(std::max(FLogicalWidth + 0, F->PixelWidth() + F->FOrigin.X));
  FLogicalHeight =
      static_cast<uint16_t>(std::max(FLogicalHeight + 0, F->PixelHeight() + F->FOrigin.Y));
  if (FRevision == TGIFRevision::grNone) FRevision = TGIFRevision::gr87a;
  if (FrameCount() > 1) FRevision = TGIFRevision::gr89a;
  return FCurrentIndex;
}

void TGIFImage::Assign(TPersistent* Source) {
  if (Source == this) return;  // copying an image onto itself changes nothing
  if (!Source) {
    ResetToEmpty();
    Changed(this);
  } else if (auto* Src = dynamic_cast<TGIFImage*>(Source)) {
    ReplaceSharedImage(FGlobalData, Src->FGlobalData);
    FRevision = Src->FRevision;
    FBackColor = Src->FBackColor;
    FLoopCount = Src->FLoopCount;
    FLoopEnabled = Src->FLoopEnabled;
    DeleteAllFrames();
    FFrames.reserve(Src->FFrames.size());
    for (auto& SrcFrame : Src->FFrames) {
      // Copied without an owner, so that each copy does not measure all frames again; the
      // logical size is the source's, copied below.
      auto F = std::make_unique<TGIFFrame>(nullptr);
      F->Assign(SrcFrame.get());
      F->FOwnerImage = this;
      // The global table is shared, so the source's flag stays valid.
      F->FHasLocalTable = SrcFrame->FHasLocalTable;
      FFrames.push_back(std::move(F));
    }
    FLogicalWidth = Src->FLogicalWidth;
    FLogicalHeight = Src->FLogicalHeight;
    FCurrentIndex = Src->FCurrentIndex;
    Changed(this);
  } else if (auto* SrcFrame = dynamic_cast<TGIFFrame*>(Source)) {
    ResetToEmpty();
    if (TGIFImage* Owner = SrcFrame->FOwnerImage) {
      FGlobalData->FPixelAspect = Owner->FGlobalData->FPixelAspect;
      FGlobalData->FGlobalBits = Owner->FGlobalData->FGlobalBits;
      FGlobalData->FGlobalTable = Owner->FGlobalData->FGlobalTable;
    }
    FFrames.push_back(std::make_unique<TGIFFrame>(this));
    FCurrentIndex = FrameCount() - 1;
    FFrames.back()->Assign(SrcFrame);
    if (FRevision == TGIFRevision::grNone) FRevision = TGIFRevision::gr87a;
    Changed(this);
  } else if (auto* B = dynamic_cast<TBitmap*>(Source)) {
    ResetToEmpty();
    AppendFrame(B);
    Changed(this);
  } else {
    TGraphic::Assign(Source);
  }
}

void TGIFImage::AssignTo(TPersistent* Dest) {
  if (auto* Image = dynamic_cast<TGIFImage*>(Dest)) {
    Image->Assign(this);
  } else if (auto* G = dynamic_cast<TGraphic*>(Dest)) {
    if (GetEmpty()) {
      G->Assign(nullptr);
    } else if (FCurrentIndex >= 0) {
      Frames(FCurrentIndex)->AssignTo(G);
    } else {
      G->Assign(CurrentBitmap());
    }
  } else {
    TGraphic::AssignTo(Dest);
  }
}

bool TGIFImage::Equals(TGraphic* Graphic) {
  auto* Other = dynamic_cast<TGIFImage*>(Graphic);
  return Other && Other->FGlobalData == FGlobalData;
}

bool TGIFImage::GetEmpty() const {
  if (FFrames.empty()) return true;
  int I = FCurrentIndex < 0 ? 0 : FCurrentIndex;
  if (I >= FrameCount()) I = 0;
  const TGIFFrame& F = *FFrames[static_cast<size_t>(I)];
  if (F.FFrameBitmap) return false;
  return !F.FItem->FCodeStream || F.FItem->FCodeStream->Size() == 0;
}

int TGIFImage::GetWidth() {
  if (GetEmpty() || FCurrentIndex < 0 || FCurrentIndex >= FrameCount()) return 0;
  return Frames(FCurrentIndex)->DecodedBitmap()->Width();
}

int TGIFImage::GetHeight() {
  if (GetEmpty() || FCurrentIndex < 0 || FCurrentIndex >= FrameCount()) return 0;
  return Frames(FCurrentIndex)->DecodedBitmap()->Height();
}

HPALETTE TGIFImage::GetPalette() {
  if (FFrames.empty()) return nullptr;
  return CurrentBitmap()->Palette();
}

bool TGIFImage::GetTransparent() {
  if (!TGraphic::GetTransparent()) return false;
  for (auto& F : FFrames)
    if (F->FKeyColor != clNone) return true;
  return false;
}

void TGIFImage::SetWidth(int) {
  RaiseGIFFailure(SGIFResizeImage);
}

void TGIFImage::SetHeight(int) {
  RaiseGIFFailure(SGIFResizeImage);
}

}  // namespace orn
