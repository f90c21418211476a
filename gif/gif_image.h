// The GIF image model: an animated GIF picture held in memory as a graphic. Each frame keeps
// its image data in the encoded (LZW) form it has in a GIF file and is decoded into a bitmap
// only when somebody asks for its pixels. Image-wide data and per-frame encoded data live in
// reference-counted holders, so copies of images and frames share them.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "core/classes.h"
#include "core/stream.h"
#include "core/stringlist.h"
#include "core/system.h"
#include "gfx/bitmap.h"
#include "gfx/canvas.h"
#include "gfx/colors.h"
#include "gfx/gdi.h"
#include "gfx/graphic.h"
#include "gif/gif_errors.h"

namespace orn {

class TGIFImage;

// One colour-table entry, in GIF file order.
struct TGIFTriple {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
};

// A colour table. EntryCount 0 means no table; otherwise a power of two from 2 to 256. An
// absent table is all zero.
struct TGIFPaletteRec {
  int32_t EntryCount = 0;
  TGIFTriple Entries[256] = {};
};

enum class TGIFRevision : uint8_t { grNone = 0, gr87a = 1, gr89a = 2 };
// The version texts by revision: "", "87a", "89a".
extern const char* const GIFVersionTexts[3];

// The 3-bit disposal code as read; 4..7 are kept unchanged and mean nothing of their own.
enum class TGIFDisposal : uint8_t {
  gdUnspecified = 0,
  gdLeave = 1,
  gdRestoreBackground = 2,
  gdRestorePrevious = 3
};

enum class TGIFExtensionKind : uint8_t {
  ekGraphicControl = 0,  // label 0xF9
  ekPlainText = 1,       // label 0x01
  ekApplication = 2,     // label 0xFF
  ekComment = 3          // label 0xFE
};

// The label byte of each extension kind.
uint8_t ExtensionLabel(TGIFExtensionKind Kind);

// Width and height in pixels.
struct TGIFExtent {
  int32_t Width = 0;
  int32_t Height = 0;
};

// One extension block.
class TExtension : public TPersistent {
 public:
  TExtension() = default;
  ~TExtension() override = default;
  std::string ClassName() const override { return "TExtension"; }

  // From another extension: the kind and the whole fixed part; the source's sub-blocks (when
  // it has any) are copied into an own list. Other sources raise the assignment error.
  void Assign(TPersistent* Source) override;

  // True for an application extension "NETSCAPE2.0" or "ANIMEXTS1.0" whose first sub-block
  // has at least 3 bytes and begins with 1 (bytes 2 and 3 are then the loop count).
  bool DescribesLooping() const;

  TGIFExtensionKind FKind = TGIFExtensionKind::ekGraphicControl;
  // One string per data sub-block, or nil.
  std::unique_ptr<TStringList> FSubBlocks;
  // The fixed part after the label, starting with its block-size byte. Graphic control:
  // size 4, flags (bit 0 transparency, bit 1 user input, bits 2..4 disposal), delay in
  // hundredths (2 bytes), transparent index, terminator. Plain text: size 12 and 12 bytes.
  // Application: size 11, 8-byte identifier, 3-byte authentication code.
  uint8_t FFixedPart[13] = {};
};

using TExtensionList = std::vector<std::unique_ptr<TExtension>>;

// Frees every extension of List, then the list; a nil list is left alone.
void FreeExtensionList(std::unique_ptr<TExtensionList>& List);
// The last extension of Kind in List, or nil (also for a nil list).
TExtension* LastExtensionOfKind(const TExtensionList* List, TGIFExtensionKind Kind);

// Image-wide data, shared between images copied from one another.
class TGIFData : public TSharedImage {
 public:
  TGIFData() = default;

  TStringList FCommentLines;  // the image comment
  uint8_t FPixelAspect = 0;
  uint8_t FGlobalBits = 0;      // bits per pixel of the global table (1..8)
  TGIFPaletteRec FGlobalTable;  // EntryCount 0 without a global table

 protected:
  ~TGIFData() override = default;
  void FreeHandle() override;
};

// Per-frame data, shared between frames copied from one another.
class TGIFItem : public TSharedImage {
 public:
  TGIFItem() = default;

  // The image data as stored after the descriptor and local table: code-size byte,
  // sub-blocks, terminator. Nil for a frame made from a bitmap and not yet encoded.
  std::unique_ptr<TMemoryStream> FCodeStream;
  TGIFExtent FExtent;
  uint8_t FPixelBits = 0;      // 1..8; 0 when the frame has no colour table at all
  TGIFPaletteRec FFrameTable;  // the local table, or a copy of the global one

 protected:
  ~TGIFItem() override = default;
  void FreeHandle() override;
};

// Colour value of a table entry: Red + Green*256 + Blue*65536.
constexpr TColor TripleToColor(const TGIFTriple& Triple) {
  return static_cast<TColor>(Triple.Red) | (static_cast<TColor>(Triple.Green) << 8) |
         (static_cast<TColor>(Triple.Blue) << 16);
}
// -1 for clNone; else the first index whose colour equals Color (system colours resolved);
// -1 when none does.
int ColorIndexInTable(const TGIFPaletteRec& Table, TColor Color);
// 1..8 for 2, 4, ..., 256; any other count raises the colour-count error.
int BitsForColorCount(int Count);
// Fills a 256-entry BMP colour table (blue, green, red, reserved): grey 128 in every byte,
// then the table's entries with a reserved byte of 0.
void PaletteToQuads(const TGIFPaletteRec& Table, uint8_t (&Quads)[1024]);

// Damaged frame data mark the frame and reading goes on (true), or raise (false).
extern bool GIFLenientLoading;
// The clipboard format registered for "GIF Image" (0 before InitializeGIFCodec).
extern TClipboardFormat GIFClipboardFormat;

// Start-up registration, done once: the "GIF Image" clipboard format, the classes TGIFFrame
// and TGIFImage with the class registry, the file extension "gif" and the clipboard format
// with the picture framework. Runs again only after FinalizeGIFCodec.
void InitializeGIFCodec();
// Shut-down: removes TGIFImage from the picture framework.
void FinalizeGIFCodec();

// One frame of a GIF image.
class TGIFFrame : public TPersistent {
 public:
  explicit TGIFFrame(TGIFImage* Owner = nullptr);
  ~TGIFFrame() override;
  TGIFFrame(const TGIFFrame&) = delete;
  TGIFFrame& operator=(const TGIFFrame&) = delete;
  std::string ClassName() const override { return "TGIFFrame"; }

  // nil, another frame, a GIF image (its current frame), or any graphic (copied as the
  // frame's bitmap); see the model description for the details of each case.
  void Assign(TPersistent* Source) override;

  // Drops the item for a fresh empty one and resets the frame settings (bitmap and
  // extensions stay).
  void ResetItem();
  // Replaces the bitmap with a new empty one.
  void ReplaceBitmap();

  // 0 without bitmap and code data; the bitmap's size when the frame has one, else the size
  // its descriptor gives. Measuring never decodes.
  int PixelWidth();
  int PixelHeight();

  // The string list of the last comment extension, created on request; or nil.
  TStringList* LookupComment(bool Create);
  TStringList* CommentLines() { return LookupComment(true); }
  void SetCommentLines(const TStringList& Value);

  // The frame's bitmap, decoded from the code data when needed. Owned by the frame; a decoded
  // bitmap stays valid until another frame of the image is decoded (the image may then
  // release it to stay within its budget, and decodes it again when asked).
  TBitmap* DecodedBitmap();
  // Writes the frame as a BMP file into Stream (emptied first) and rewinds it.
  void BuildDIBStream(TMemoryStream& Stream);
  // Draws the frame bitmap into Rect, keyed by the key colour when Transparent is set.
  void PaintTo(TCanvas& Canvas, const TRect& Rect, bool Transparent);

  // Reads one image (after its introducer) into the frame.
  void LoadFromGIF(TStream& Stream);

  TGIFImage* OwnerImage() const { return FOwnerImage; }
  TGIFItem* Item() const { return FItem; }
  TBitmap* FrameBitmap() const { return FFrameBitmap.get(); }
  TExtensionList* ExtensionList() const { return FExtensionList.get(); }
  TPoint Origin() const { return FOrigin; }
  void SetOrigin(TPoint Value) { FOrigin = Value; }
  bool IsInterlaced() const { return FIsInterlaced; }
  bool DataCorrupt() const { return FDataCorrupt; }
  bool UseGrayPalette() const { return FUseGrayPalette; }
  void SetUseGrayPalette(bool Value) { FUseGrayPalette = Value; }
  TColor KeyColor() const { return FKeyColor; }
  void SetKeyColor(TColor Value) { FKeyColor = Value; }
  uint16_t DelayMs() const { return FDelayMs; }
  void SetDelayMs(uint16_t Value) { FDelayMs = Value; }
  TGIFDisposal DisposeMode() const { return FDisposeMode; }
  void SetDisposeMode(TGIFDisposal Value) { FDisposeMode = Value; }
  bool HasLocalTable() const { return FHasLocalTable; }
  void SetHasLocalTable(bool Value) { FHasLocalTable = Value; }

  // ---- writing side (implemented in writer.cpp / persistence_save.cpp)
  // Makes the frame's encoded data from its bitmap.
  void EncodeBitmap();
  // Makes the frame's encoded data from an in-memory BMP file of 1, 4 or 8 bits per pixel.
  void EncodeDIBStream(TMemoryStream& Stream);
  // Brings the graphic control extension up to date from delay, key colour and disposal.
  void PrepareExtensions();
  // ---- end of writing side

 protected:
  friend class TGIFImage;
  // To a frame or GIF image: they assign from this frame. To another graphic: the decoded
  // bitmap (with the key colour as transparent colour for a TBitmap).
  void AssignTo(TPersistent* Dest) override;

 private:
  friend class TFrameBitmapCache;
  // Tells the owner's bitmap cache that the bitmap was decoded (registered) or used.
  void NoteBitmapDecoded();
  void NoteBitmapUsed();
  // Takes the bitmap out of the owner's cache before it is replaced or freed.
  void ForgetCachedBitmap();
  void ResetBitmap();
  // This frame's place in the owner's cache while it holds a decoded bitmap.
  std::list<TGIFFrame*>::iterator FCacheEntry;
  bool FCached = false;
  int64_t FCachedBytes = 0;

 public:
  // The frame's state; the codec's reader, writer and bitmaps work on it directly.
  TGIFImage* FOwnerImage = nullptr;
  std::unique_ptr<TBitmap> FFrameBitmap;
  TGIFItem* FItem = nullptr;
  std::unique_ptr<TExtensionList> FExtensionList;
  TPoint FOrigin;
  bool FIsInterlaced = false;
  bool FDataCorrupt = false;
  bool FUseGrayPalette = false;
  TColor FKeyColor = clNone;
  uint16_t FDelayMs = 0;
  TGIFDisposal FDisposeMode = TGIFDisposal::gdUnspecified;
  bool FHasLocalTable = false;
};

// The decoded bitmaps of an image's frames, least recently used first. Frames decode on
// demand; when the decoded pixels exceed the budget, the bitmaps used longest ago are released
// (the most recent one always stays) and decoded again when asked for. Bitmaps a frame was made
// from are not in the cache: they are the frame's only copy of its pixels.
class TFrameBitmapCache {
 public:
  explicit TFrameBitmapCache(int64_t Budget) : FBudget(Budget) {}
  int64_t Budget() const { return FBudget; }
  void SetBudget(int64_t Value);
  // Bytes of decoded pixels now held, and how many frames hold them.
  int64_t Bytes() const { return FBytes; }
  int Count() const { return static_cast<int>(FFrames.size()); }

  void Add(TGIFFrame& Frame);
  void Touch(TGIFFrame& Frame);
  void Remove(TGIFFrame& Frame);

 private:
  void Trim();
  int64_t FBudget;
  int64_t FBytes = 0;
  std::list<TGIFFrame*> FFrames;  // least recently used first
};

// Decoded pixels an image keeps by default before it releases frame bitmaps.
constexpr int64_t DefaultGIFBitmapBudget = int64_t{256} << 20;

// An animated GIF picture.
class TGIFImage : public TGraphic {
 public:
  TGIFImage();
  ~TGIFImage() override;
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;
  std::string ClassName() const override { return "TGIFImage"; }

  // nil, another GIF image (shares its data), a frame, a bitmap; others as the base class.
  void Assign(TPersistent* Source) override;

  void Draw(TCanvas& Canvas, const TRect& Rect) override;
  // True exactly when Graphic is a GIF image holding the same shared image data.
  bool Equals(TGraphic* Graphic) override;
  bool GetEmpty() const override;
  // The current frame's size (not the logical screen size); 0 when empty.
  int GetWidth() override;
  int GetHeight() override;
  HPALETTE GetPalette() override;
  // The Transparent flag and at least one frame with a key colour.
  bool GetTransparent() override;
  // Always raise "Невозможно изменить размер изображения GIF".
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;

  // "Data": a 32-bit length, then that many bytes of GIF stream.
  void ReadData(TStream& Stream) override;
  // The rest of Stream is a GIF stream.
  void LoadFromStream(TStream& Stream) override;
  // Takes the "GIF Image" clipboard data when there are any (frame 0 then shows the
  // clipboard bitmap), else loads Data as a bitmap.
  void LoadFromClipboardFormat(TClipboardFormat Format, const std::vector<uint8_t>& Data,
                               HPALETTE Palette) override;

  // Appends a frame made from Graphic, makes it current and returns its index.
  virtual int AppendFrame(TGraphic* Graphic);

  // Replaces the content with the GIF data in the next Size bytes of Stream.
  void LoadGIFData(int64_t Size, TStream& Stream, bool DecodeFirst);
  // Reads the 6-byte header and sets Revision; raises the unknown-version error.
  void CheckSignature(TStream& Stream);
  // Reads the extensions starting at Introducer ("!"); returns those for the next frame (or
  // nil) and leaves the byte after them in Introducer (";" at the end of data).
  std::unique_ptr<TExtensionList> ReadExtensionRun(TStream& Stream, uint8_t& Introducer);

  // Back to a new image: fresh image data, no frames. No change notification.
  void ResetToEmpty();
  void DeleteAllFrames();
  int FrameCount() const { return static_cast<int>(FFrames.size()); }
  // Raises the list index error for an index out of range.
  TGIFFrame* Frames(int Index) const;

  // The current frame's bitmap (frame 0 when CurrentIndex is out of range).
  TBitmap* CurrentBitmap();

  int CurrentIndex() const { return FCurrentIndex; }
  void SetCurrentIndex(int Value) { FCurrentIndex = Value; }
  TColor BackColor() const { return FBackColor; }
  void SetBackColor(TColor Value) { FBackColor = Value; }
  bool LoopEnabled() const { return FLoopEnabled; }
  void SetLoopEnabled(bool Value) { FLoopEnabled = Value; }
  uint16_t LoopCount() const { return FLoopCount; }
  void SetLoopCount(uint16_t Value) { FLoopCount = Value; }
  TGIFRevision Revision() const { return FRevision; }
  void SetRevision(TGIFRevision Value) { FRevision = Value; }
  TStringList& ImageComment() { return FGlobalData->FCommentLines; }
  TGIFData* GlobalData() const { return FGlobalData; }
  // 0 when the image is empty.
  int LogicalWidth() const;
  int LogicalHeight() const;
  // Widest and tallest frame extent plus origin (from the frames' sizes, without decoding).
  void RecalcLogicalSize();

  // The decoded frame bitmaps the image keeps, and their budget in bytes.
  TFrameBitmapCache& BitmapCache() { return FBitmapCache; }

  // ---- writing side (implemented in writer.cpp / persistence_save.cpp)
  void SaveToStream(TStream& Stream) override;
  // "Data": the GIF stream preceded by its 32-bit length.
  void WriteData(TStream& Stream) override;
  void SaveToClipboardFormat(TClipboardFormat& Format, std::vector<uint8_t>& Data,
                             HPALETTE& Palette) override;
  // The whole save; with WithLength the bytes are preceded by their 32-bit count.
  void SaveGIFStream(TStream& Stream, bool WithLength);
  // Encodes every frame that has a bitmap but no code data, and prepares extensions.
  void EncodeFrames();
  // ---- end of writing side

 protected:
  // To a GIF image: it assigns from this one. To another graphic: nil when empty, else the
  // current frame, or CurrentBitmap.
  void AssignTo(TPersistent* Dest) override;

 private:
  void ReadScreenHeader(TStream& Stream, uint8_t& Flags, uint8_t& BackIndex);
  void ReadGlobalTable(TStream& Stream, uint8_t Flags, uint8_t BackIndex);
  void ReadFrames(TStream& Stream);

 public:
  // The image's state; the codec's reader, writer and bitmaps work on it directly.
  TGIFData* FGlobalData = nullptr;
  TGIFRevision FRevision = TGIFRevision::grNone;
  std::vector<std::unique_ptr<TGIFFrame>> FFrames;
  int32_t FCurrentIndex = -1;
  uint16_t FLogicalWidth = 0;
  uint16_t FLogicalHeight = 0;
  TColor FBackColor = clNone;
  bool FLoopEnabled = false;
  uint16_t FLoopCount = 1;
  TFrameBitmapCache FBitmapCache{DefaultGIFBitmapBudget};
};

// ---- writing side (implemented in writer.cpp / persistence_save.cpp)
// Writes each extension of List (label, fixed part, sub-blocks) after its introducer.
void WriteExtensions(TStream& Stream, const TExtensionList& List);
// Writes Lines as sub-blocks, one per line, and the terminator.
void WriteSubBlocks(TStream& Stream, const TStringList& Lines);
// ---- end of writing side

// Frames larger than this many pixels are refused before anything is allocated, when they
// are decoded and when they are written.
constexpr int64_t MaxGIFFramePixels = int64_t{1} << 26;
// Raises "GIF frame too large: W x H pixels" for a frame beyond MaxGIFFramePixels.
void CheckGIFFrameSize(int64_t Width, int64_t Height);

}  // namespace orn
