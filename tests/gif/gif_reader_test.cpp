#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/exceptions.h"
#include "gif/gif_image.h"
#include "gif_reader_fixtures.h"

using namespace orn;
using namespace giftest;

namespace {

struct TLoaded {
  std::unique_ptr<TGIFImage> Image = std::make_unique<TGIFImage>();
  int Changes = 0;
  std::string Error;  // "" when loading succeeded
  int64_t StreamPosition = 0;
};

TLoaded Load(const Bytes& Data, bool DecodeFirst = false, int64_t Size = -1, bool Lenient = true) {
  TLoaded R;
  R.Image->OnChange = [&R](TObject*) { ++R.Changes; };
  TMemoryStream S;
  Fill(S, Data);
  const bool Saved = GIFLenientLoading;
  GIFLenientLoading = Lenient;
  try {
    R.Image->LoadGIFData(Size < 0 ? static_cast<int64_t>(Data.size()) : Size, S, DecodeFirst);
  } catch (const EInvalidGraphicOperation& E) {
    R.Error = std::string("gif:") + E.what();
  } catch (const EReadError& E) {
    R.Error = std::string("read:") + E.what();
  }
  GIFLenientLoading = Saved;
  R.StreamPosition = S.Position();
  R.Image->OnChange = nullptr;
  return R;
}

std::string Gif(const char* Message) {
  return std::string("gif:") + Message;
}

const Bytes OnePixel = LiteralLZW(2, {1});

}  // namespace

TEST(GIFReader, TwoFramesWithLoopDelaysDisposalAndKeyColours) {
  TLoaded L = Load(TwoFrameGIF());
  ASSERT_EQ(L.Error, "");
  TGIFImage& I = *L.Image;
  EXPECT_EQ(L.Changes, 1);
  EXPECT_TRUE(I.PaletteModified());
  EXPECT_EQ(I.Revision(), TGIFRevision::gr89a);
  EXPECT_EQ(I.FrameCount(), 2);
  EXPECT_EQ(I.CurrentIndex(), 0);
  EXPECT_EQ(I.LogicalWidth(), 3);
  EXPECT_EQ(I.LogicalHeight(), 3);
  EXPECT_EQ(I.BackColor(), RGB(0, 255, 0));  // background index 2
  EXPECT_TRUE(I.LoopEnabled());
  EXPECT_EQ(I.LoopCount(), 0);
  EXPECT_EQ(I.GlobalData()->FGlobalBits, 2);
  EXPECT_EQ(I.GlobalData()->FGlobalTable.EntryCount, 4);

  TGIFFrame& A = *I.Frames(0);
  EXPECT_EQ(A.DelayMs(), 100);
  EXPECT_EQ(A.DisposeMode(), TGIFDisposal::gdLeave);
  EXPECT_EQ(A.KeyColor(), RGB(0, 0, 255));
  EXPECT_FALSE(A.HasLocalTable());
  EXPECT_EQ(A.Item()->FPixelBits, 2);
  EXPECT_EQ(A.Item()->FFrameTable.Entries[1].Red, 255);  // copy of the global table
  ASSERT_TRUE(A.Item()->FCodeStream);
  EXPECT_EQ(A.Item()->FCodeStream->Position(), 0);
  EXPECT_EQ(A.Item()->FCodeStream->Bytes(), LiteralLZW(2, {0, 1, 2, 3}));
  ASSERT_TRUE(A.ExtensionList());
  EXPECT_EQ(A.ExtensionList()->size(), 1u);  // the graphic control; the loop block is not kept
  EXPECT_FALSE(A.FrameBitmap());             // not decoded without DecodeFirst

  TGIFFrame& B = *I.Frames(1);
  EXPECT_EQ(B.Origin(), (TPoint{1, 1}));
  EXPECT_EQ(B.DelayMs(), 200);
  EXPECT_EQ(B.DisposeMode(), TGIFDisposal::gdRestoreBackground);
  EXPECT_EQ(B.KeyColor(), clNone);
  EXPECT_TRUE(B.HasLocalTable());
  EXPECT_EQ(B.Item()->FFrameTable.Entries[3].Blue, 120);
  EXPECT_EQ(B.Item()->FExtent.Width, 2);

  // DecodeFirst builds frame 0's bitmap at once.
  L = Load(TwoFrameGIF(), true);
  ASSERT_TRUE(L.Image->Frames(0)->FrameBitmap());
  EXPECT_EQ(L.Image->Frames(0)->FrameBitmap()->Width(), 2);
  EXPECT_FALSE(L.Image->Frames(1)->FrameBitmap());
}

TEST(GIFReader, SignatureAndVersion) {
  struct TCase {
    std::string Header;
    std::string Error;
    TGIFRevision Revision;
  };
  const TCase Cases[] = {
      {"GIF87a", "", TGIFRevision::gr87a},
      {"GIF89a", "", TGIFRevision::gr89a},
      {"gif89a", "", TGIFRevision::gr89a},
      {"gIf87A", "", TGIFRevision::gr87a},
      {"GIF88a", Gif(SGIFUnknownVersion), TGIFRevision::grNone},
      {"GIX89a", Gif(SGIFUnknownVersion), TGIFRevision::grNone},
      // Data that end inside the header are damaged, whatever they hold so far.
      {"GIF", Gif(SGIFReadError), TGIFRevision::grNone},
      {"GI", Gif(SGIFReadError), TGIFRevision::grNone},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Header);
    TGIFBuilder G;
    G.Text(C.Header);
    if (C.Header.size() == 6) G.Screen(1, 1, Four).Image(0, 0, 1, 1, OnePixel).Trailer();
    TLoaded L = Load(G.B);
    EXPECT_EQ(L.Error, C.Error);
    EXPECT_EQ(L.Image->Revision(), C.Revision);
    EXPECT_EQ(L.Changes, C.Error.empty() ? 1 : 0);
  }
}

TEST(GIFReader, SizeAndEndOfData) {
  // Size 0: an empty image and a change notification.
  TLoaded L = Load(TwoFrameGIF(), false, 0);
  EXPECT_EQ(L.Error, "");
  EXPECT_TRUE(L.Image->GetEmpty());
  EXPECT_EQ(L.Image->CurrentIndex(), -1);
  EXPECT_EQ(L.Changes, 1);
  EXPECT_EQ(L.StreamPosition, 0);

  // More than the stream holds: the stream's read error, image empty, nothing parsed.
  L = Load(TwoFrameGIF(), false, 10000);
  EXPECT_EQ(L.Error, "read:Stream read error");
  EXPECT_EQ(L.Image->FrameCount(), 0);
  EXPECT_EQ(L.Changes, 0);

  // Bytes after the trailer are ignored, and so is a missing trailer. The outer stream always
  // advances by exactly Size bytes.
  Bytes Tail = TwoFrameGIF();
  Tail.insert(Tail.end(), {'x', 0x2C, 1, 2, 3});
  L = Load(Tail);
  EXPECT_EQ(L.Error, "");
  EXPECT_EQ(L.Image->FrameCount(), 2);
  EXPECT_EQ(L.StreamPosition, static_cast<int64_t>(Tail.size()));
  Bytes NoTrailer = TwoFrameGIF();
  NoTrailer.pop_back();
  L = Load(NoTrailer);
  EXPECT_EQ(L.Error, "");
  EXPECT_EQ(L.Image->FrameCount(), 2);

  // Reading stops at Size even when more GIF data follow.
  Bytes Data = TwoFrameGIF();
  TMemoryStream S;
  Fill(S, Data);
  TGIFImage I;
  const auto FirstFrameEnd = 13 + 12 + 19 + 8 + 10 + LiteralLZW(2, {0, 1, 2, 3}).size();
  I.LoadGIFData(static_cast<int64_t>(FirstFrameEnd), S, false);
  EXPECT_EQ(I.FrameCount(), 1);
  EXPECT_EQ(S.Position(), static_cast<int64_t>(FirstFrameEnd));
}

TEST(GIFReader, Looping) {
  struct TCase {
    std::string Id;
    int Count;
    bool Enabled;
    int Expected;
  };
  const TCase Cases[] = {
      {"NETSCAPE2.0", 0, true, 0},         {"NETSCAPE2.0", 65535, true, 30000},
      {"NETSCAPE2.0", 30001, true, 30000}, {"ANIMEXTS1.0", 7, true, 7},
      {"NETSCAPE2.1", 7, false, 1},        {"XMPDataXMP", 7, false, 1},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Id + " " + std::to_string(C.Count));
    std::string Id = C.Id;
    Id.resize(11, ' ');
    TGIFBuilder G;
    G.Header().Screen(1, 1, Four).Loop(Id, C.Count).Image(0, 0, 1, 1, OnePixel).Trailer();
    TLoaded L = Load(G.B);
    ASSERT_EQ(L.Error, "");
    EXPECT_EQ(L.Image->LoopEnabled(), C.Enabled);
    EXPECT_EQ(L.Image->LoopCount(), C.Expected);
    EXPECT_FALSE(L.Image->Frames(0)->ExtensionList());  // application blocks are not kept
  }
  // A first sub-block shorter than 3 bytes, or not starting with 1, is no loop.
  for (const std::string& Block : {std::string("\x01\x05"), std::string("\x02\x05\x00", 3)}) {
    TGIFBuilder G;
    G.Header().Screen(1, 1, Four).Application("NETSCAPE2.0", {Block});
    G.Image(0, 0, 1, 1, OnePixel).Trailer();
    TLoaded L = Load(G.B);
    ASSERT_EQ(L.Error, "");
    EXPECT_FALSE(L.Image->LoopEnabled());
  }
}

TEST(GIFReader, GraphicControlRules) {
  struct TCase {
    const char* Name;
    std::vector<std::array<int, 3>> Controls;  // flags, delay, transparent index
    bool PlainTextBetween;
    int Delay;
    TGIFDisposal Disposal;
    TColor Key;
  };
  const TCase Cases[] = {
      {"larger delay, second disposal and key",
       {{0x01 | (1 << 2), 50, 1}, {0x01 | (3 << 2), 7, 2}},
       false,
       500,
       TGIFDisposal::gdRestorePrevious,
       RGB(0, 255, 0)},
      {"second index outside the table keeps the first key",
       {{0x01, 5, 1}, {0x01, 5, 4}},
       false,
       50,
       TGIFDisposal::gdUnspecified,
       RGB(255, 0, 0)},
      {"transparency bit clear drops the key",
       {{0x01, 0, 1}, {0x00, 0, 1}},
       false,
       0,
       TGIFDisposal::gdUnspecified,
       clNone},
      {"index at the colour count", {{0x01, 0, 4}}, false, 0, TGIFDisposal::gdUnspecified, clNone},
      {"disposal codes 4..7 are kept",
       {{7 << 2, 1, 0}},
       false,
       10,
       static_cast<TGIFDisposal>(7),
       clNone},
      {"delay beyond the millisecond field keeps the largest value",
       {{0, 6554, 0}},
       false,
       65535,
       TGIFDisposal::gdUnspecified,
       clNone},
      {"plain text takes the control before it",
       {{0x01 | (2 << 2), 30, 1}},
       true,
       0,
       TGIFDisposal::gdUnspecified,
       clNone},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TGIFBuilder G;
    G.Header().Screen(1, 1, Four);
    for (auto& [Flags, Delay, Index] : C.Controls) G.GraphicControl(Flags, Delay, Index);
    if (C.PlainTextBetween) G.PlainText();
    G.Image(0, 0, 1, 1, OnePixel).Trailer();
    TLoaded L = Load(G.B);
    ASSERT_EQ(L.Error, "");
    const TGIFFrame& F = *L.Image->Frames(0);
    EXPECT_EQ(F.DelayMs(), C.Delay);
    EXPECT_EQ(F.DisposeMode(), C.Disposal);
    EXPECT_EQ(F.KeyColor(), C.Key);
  }
}

TEST(GIFReader, Comments) {
  TGIFBuilder G;
  G.Header().Screen(1, 1, Four).Comment({"frame ", "note"}).Image(0, 0, 1, 1, OnePixel);
  G.Comment({"one"}).GraphicControl(0, 0, 0).Comment({"two", "three"}).Trailer();
  TLoaded L = Load(G.B);
  ASSERT_EQ(L.Error, "");
  TGIFFrame& F = *L.Image->Frames(0);
  ASSERT_TRUE(F.LookupComment(false));
  EXPECT_EQ(F.LookupComment(false)->Items(), (std::vector<std::string>{"frame ", "note"}));
  EXPECT_EQ(L.Image->ImageComment().Items(),
            (std::vector<std::string>{"one", "\r\n\r\n", "two", "three"}));

  // A single trailing comment needs no separator.
  TGIFBuilder H;
  H.Header().Screen(1, 1, Four).Image(0, 0, 1, 1, OnePixel).Comment({"a"}).Trailer();
  L = Load(H.B);
  EXPECT_EQ(L.Image->ImageComment().Items(), (std::vector<std::string>{"a"}));
}

TEST(GIFReader, FrameGeometryAndTables) {
  // Width and height 0 take the logical screen size; interlace and origin are kept.
  TGIFBuilder G;
  G.Header("87a").Screen(2, 3, Four).Image(5, 6, 0, 0, LiteralLZW(2, {1, 2, 3, 0, 1, 2}), {}, true);
  G.Trailer();
  TLoaded L = Load(G.B);
  ASSERT_EQ(L.Error, "");
  TGIFFrame& F = *L.Image->Frames(0);
  EXPECT_EQ(F.Item()->FExtent.Width, 2);
  EXPECT_EQ(F.Item()->FExtent.Height, 3);
  EXPECT_EQ(F.Origin(), (TPoint{5, 6}));
  EXPECT_TRUE(F.IsInterlaced());
  EXPECT_EQ(L.Image->Revision(), TGIFRevision::gr87a);

  // No global and no local table: pixel bits 0, and building the bitmap fails.
  TGIFBuilder H;
  H.Header().Screen(1, 1).Image(0, 0, 1, 1, OnePixel).Trailer();
  L = Load(H.B);
  ASSERT_EQ(L.Error, "");
  EXPECT_EQ(L.Image->Frames(0)->Item()->FPixelBits, 0);
  EXPECT_EQ(L.Image->Frames(0)->Item()->FFrameTable.EntryCount, 0);
  EXPECT_EQ(L.Image->BackColor(), clNone);
  try {
    L.Image->Frames(0)->DecodedBitmap();
    ADD_FAILURE() << "a frame without colours must not decode";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), SGIFColorCount);
  }
  // The same stream with DecodeFirst: the frame is removed, the error passes on,
  // CurrentIndex stays 0 and no change is notified.
  L = Load(H.B, true);
  EXPECT_EQ(L.Error, Gif(SGIFColorCount));
  EXPECT_EQ(L.Image->FrameCount(), 0);
  EXPECT_EQ(L.Image->CurrentIndex(), 0);
  EXPECT_EQ(L.Changes, 0);

  // A background index beyond the table leaves no background colour.
  TGIFBuilder K;
  K.Header().Screen(1, 1, Four, 4).Image(0, 0, 1, 1, OnePixel).Trailer();
  EXPECT_EQ(Load(K.B).Image->BackColor(), clNone);
}

TEST(GIFReader, DamagedAndUnusualStreams) {
  const Bytes Frame1 = LiteralLZW(2, {0, 1, 2, 3});
  auto Start = [] {
    TGIFBuilder G;
    G.Header().Screen(2, 2, Four);
    return G;
  };
  struct TCase {
    const char* Name;
    Bytes Data;
    bool Lenient;
    std::string Error;
    int Frames;
    bool Corrupt;  // of the last frame
  };
  Bytes Cut = Start().Image(0, 0, 2, 2, Frame1).B;
  Cut.resize(Cut.size() - 3);  // inside the last sub-block
  std::vector<TCase> Cases = {
      {"unknown label 2C, strict", Start().Raw({0x21, 0x2C, 0}).B, false,
       Gif("Неопределенное расширение GIF: 2C"), 0, false},
      {"unknown label 0A after a frame", Start().Image(0, 0, 2, 2, Frame1).Raw({0x21, 0x0A}).B,
       true, Gif("Неопределенное расширение GIF: 0A"), 1, false},
      {"garbage where a block is expected", Start().Raw({'x', 0, 0}).B, true, Gif(SGIFReadError), 0,
       false},
      {"garbage after an extension run", Start().GraphicControl(0, 0, 0).Raw({'x', 0}).B, true,
       Gif(SGIFReadError), 0, false},
      {"zero byte where a block is expected", Start().Raw({0, 0x2C, 1, 2}).B, true, "", 0, false},
      {"garbage right after an image ends quietly",
       Start().Image(0, 0, 2, 2, Frame1).Raw({'x', 0x2C, 0, 0}).B, true, "", 1, false},
      {"zeros after an image are skipped",
       Start().Image(0, 0, 2, 2, Frame1).Raw({0, 0, 0}).Image(0, 0, 2, 2, Frame1).B, true, "", 2,
       false},
      {"image data cut, lenient", Cut, true, "", 1, true},
      {"image data cut, strict", Cut, false, Gif(SGIFReadError), 0, false},
      {"descriptor cut", Start().Raw({0x2C, 0, 0, 0}).B, true, "read:Stream read error", 0, false},
      {"local table cut", Start().Raw({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x81, 1, 2}).B, true,
       "read:Stream read error", 0, false},
      {"code size byte missing", Start().Raw({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0}).B, true,
       "read:Stream read error", 0, false},
      {"second frame fails, first kept", Start().Image(0, 0, 2, 2, Frame1).Raw({0x21, 0x99}).B,
       true, Gif("Неопределенное расширение GIF: 99"), 1, false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TLoaded L = Load(C.Data, false, -1, C.Lenient);
    EXPECT_EQ(L.Error, C.Error);
    EXPECT_EQ(L.Image->FrameCount(), C.Frames);
    EXPECT_EQ(L.StreamPosition, static_cast<int64_t>(C.Data.size()));
    if (!C.Error.empty()) {
      EXPECT_EQ(L.Image->CurrentIndex(), -1);
      EXPECT_EQ(L.Changes, 0);
    }
    if (C.Frames > 0) {
      TGIFFrame& F = *L.Image->Frames(C.Frames - 1);
      EXPECT_EQ(F.DataCorrupt(), C.Corrupt);
      ASSERT_TRUE(F.Item()->FCodeStream);
    }
  }
  // The damaged frame keeps its complete sub-blocks and no terminator; its bitmap cannot be
  // built, also in lenient mode.
  TLoaded L = Load(Cut);
  TGIFFrame& F = *L.Image->Frames(0);
  EXPECT_EQ(F.Item()->FCodeStream->Size(), 1);  // only the code-size byte
  try {
    F.DecodedBitmap();
    ADD_FAILURE() << "a cut frame must not decode";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), SGIFReadError);
  }
}

// Labels this reader does not know (gifsicle's name extension 0xCE, or any other): in lenient
// loading one with a complete sub-block chain is passed over wherever it stands; strict
// loading, and a chain that runs out of data, keep the error.
TEST(GIFReader, UnknownExtensionLabels) {
  auto Name = [](TGIFBuilder& G, int Label) -> TGIFBuilder& {
    G.Raw({0x21, Label});
    return G.SubBlocks({"frame", std::string(255, 'n')});
  };
  struct TCase {
    const char* Name;
    Bytes Data;
    bool Lenient;
    std::string Error;
    int Frames;
  };
  TGIFBuilder BeforeImage, BetweenFrames, AtTheEnd, OnlyTerminator, Broken, Cut;
  Name(BeforeImage.Header().Screen(1, 1, Four).GraphicControl(0x01 | (2 << 2), 7, 1), 0xCE)
      .Image(0, 0, 1, 1, OnePixel)
      .Trailer();
  Name(BetweenFrames.Header().Screen(1, 1, Four).Image(0, 0, 1, 1, OnePixel), 0x02)
      .Image(0, 0, 1, 1, OnePixel)
      .Trailer();
  Name(AtTheEnd.Header().Screen(1, 1, Four).Image(0, 0, 1, 1, OnePixel), 0xCE).Trailer();
  OnlyTerminator.Header().Screen(1, 1, Four).Raw({0x21, 0x2C, 0}).Image(0, 0, 1, 1, OnePixel);
  Broken.Header().Screen(1, 1, Four).Image(0, 0, 1, 1, OnePixel).Raw({0x21, 0xCE, 5, 'a', 'b'});
  Cut.Header().Screen(1, 1, Four).Raw({0x21, 0xCE, 3, 'a', 'b', 'c'});  // no terminator
  const TCase Cases[] = {
      {"name extension before an image", BeforeImage.B, true, "", 1},
      {"name extension before an image, strict", BeforeImage.B, false,
       Gif("Неопределенное расширение GIF: CE"), 0},
      {"label 02 between frames", BetweenFrames.B, true, "", 2},
      {"after the last frame", AtTheEnd.B, true, "", 1},
      {"terminator only, label 2C", OnlyTerminator.B, true, "", 1},
      {"sub-block reaching past the data", Broken.B, true, Gif("Неопределенное расширение GIF: CE"),
       1},
      {"chain without a terminator", Cut.B, true, Gif("Неопределенное расширение GIF: CE"), 0},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TLoaded L = Load(C.Data, false, -1, C.Lenient);
    EXPECT_EQ(L.Error, C.Error);
    EXPECT_EQ(L.Image->FrameCount(), C.Frames);
    EXPECT_EQ(L.StreamPosition, static_cast<int64_t>(C.Data.size()));
    if (C.Error.empty()) {
      EXPECT_EQ(L.Changes, 1);
      for (int I = 0; I < C.Frames; ++I)
        EXPECT_EQ(L.Image->Frames(I)->DecodedBitmap()->Canvas().Pixels(0, 0), RGB(255, 0, 0));
    }
  }
  // The graphic control before the skipped block still belongs to the image after it.
  TLoaded L = Load(BeforeImage.B);
  const TGIFFrame& F = *L.Image->Frames(0);
  EXPECT_EQ(F.DelayMs(), 70);
  EXPECT_EQ(F.DisposeMode(), TGIFDisposal::gdRestoreBackground);
  EXPECT_EQ(F.KeyColor(), RGB(255, 0, 0));
  EXPECT_EQ(F.ExtensionList()->size(), 1u);
}

TEST(GIFReader, TruncatedAndMutatedStreamsNeverCrash) {
  const Bytes Good = TwoFrameGIF();
  int Loaded = 0, Failed = 0;
  auto Try = [&](const Bytes& Data, bool Lenient) {
    TLoaded L = Load(Data, true, -1, Lenient);
    if (L.Error.empty()) {
      ++Loaded;
      // Every frame that loaded either decodes or fails with the codec's errors.
      for (int I = 0; I < L.Image->FrameCount(); ++I) {
        try {
          L.Image->Frames(I)->DecodedBitmap();
        } catch (const EInvalidGraphicOperation&) {
        } catch (const EReadError&) {
        }
      }
    } else {
      ++Failed;
    }
  };
  for (size_t N = 0; N <= Good.size(); ++N) {
    Try(Bytes(Good.begin(), Good.begin() + N), true);
    Try(Bytes(Good.begin(), Good.begin() + N), false);
  }
  std::mt19937 Rng(7);
  for (int Round = 0; Round < 600; ++Round) {
    Bytes Data = Good;
    const int Flips = 1 + Rng() % 4;
    for (int K = 0; K < Flips; ++K) Data[6 + Rng() % (Data.size() - 6)] = Rng() & 255;
    Try(Data, Round % 2 == 0);
  }
  EXPECT_GT(Loaded, 0);
  EXPECT_GT(Failed, 0);
}
