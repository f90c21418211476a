#include "gfx/picture.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "core/exceptions.h"

namespace orn {

namespace {

struct TClipboardFormatInfo {
  TClipboardFormat Format;
  TGraphicClass GraphicClass;
};

struct TRegistry {
  std::mutex Lock;
  std::vector<TFileFormatInfo> FileFormats;
  std::vector<TClipboardFormatInfo> ClipboardFormats;
  std::vector<std::unique_ptr<TGraphicClass>> Known;  // stable addresses for FindGraphicClass
};

TRegistry& Registry() {
  static TRegistry* R = [] {
    auto* Reg = new TRegistry;
    Reg->FileFormats.push_back(
        TFileFormatInfo{"bmp", "Bitmaps", MakeGraphicClass<TBitmap>("TBitmap")});
    Reg->ClipboardFormats.push_back(
        TClipboardFormatInfo{CF_BITMAP, MakeGraphicClass<TBitmap>("TBitmap")});
    return Reg;
  }();
  return *R;
}

std::string Lower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

std::string ExtensionOf(const std::string& FileName) {
  size_t Slash = FileName.find_last_of("/\\");
  size_t Dot = FileName.rfind('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  return FileName.substr(Dot + 1);
}

std::unique_ptr<TGraphic> CreateByName(const std::string& ClassName) {
  const TGraphicClass* Class = TPicture::FindGraphicClass(ClassName);
  if (!Class) throw EClassNotFound("Class " + ClassName + " not found");
  return Class->Create();
}

}  // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Install(std::unique_ptr<TGraphic> NewGraphic) {
  if (NewGraphic) {
    NewGraphic->OnChange = [this](TObject* Sender) { Changed(Sender); };
    NewGraphic->OnProgress = [this](TObject* Sender, TProgressStage Stage, uint8_t Percent,
                                    bool Redraw, const TRect& R, const std::string& Msg) {
      if (OnProgress) OnProgress(Sender, Stage, Percent, Redraw, R, Msg);
    };
  }
  FGraphic = std::move(NewGraphic);
  Changed(this);
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (Value == FGraphic.get()) return;
  std::unique_ptr<TGraphic> NewGraphic;
  if (Value) {
    NewGraphic = CreateByName(Value->ClassName());
    NewGraphic->Assign(Value);
  }
  Install(std::move(NewGraphic));
}

TBitmap* TPicture::Bitmap() {
  if (auto* B = dynamic_cast<TBitmap*>(FGraphic.get())) return B;
  Install(std::make_unique<TBitmap>());
  return static_cast<TBitmap*>(FGraphic.get());
}

int TPicture::Width() const {
  return FGraphic ? FGraphic->Width() : 0;
}
int TPicture::Height() const {
  return FGraphic ? FGraphic->Height() : 0;
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
  } else if (auto* P = dynamic_cast<TPicture*>(Source)) {
    SetGraphic(P->Graphic());
  } else if (auto* G = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(G);
  } else {
    TPersistent::Assign(Source);
  }
}

void TPicture::LoadFromFile(const std::string& FileName) {
  std::string Ext = ExtensionOf(FileName);
  TGraphicClass Class;
  {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    for (auto It = R.FileFormats.rbegin(); It != R.FileFormats.rend(); ++It)
      if (Lower(It->Extension) == Lower(Ext)) {
        Class = It->GraphicClass;
        break;
      }
  }
  if (!Class.Create) throw EInvalidGraphic("Unknown picture file extension (." + Ext + ")");
  std::unique_ptr<TGraphic> NewGraphic = Class.Create();
  NewGraphic->LoadFromFile(FileName);
  Install(std::move(NewGraphic));
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

void TPicture::LoadFromClipboardFormat(TClipboardFormat Format, const std::vector<uint8_t>& Data,
                                       HPALETTE Palette) {
  TGraphicClass Class;
  {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    for (auto It = R.ClipboardFormats.rbegin(); It != R.ClipboardFormats.rend(); ++It)
      if (It->Format == Format) {
        Class = It->GraphicClass;
        break;
      }
  }
  if (!Class.Create) throw EInvalidGraphic("Unsupported clipboard format");
  std::unique_ptr<TGraphic> NewGraphic = Class.Create();
  NewGraphic->LoadFromClipboardFormat(Format, Data, Palette);
  Install(std::move(NewGraphic));
}

void TPicture::SaveToClipboardFormat(TClipboardFormat& Format, std::vector<uint8_t>& Data,
                                     HPALETTE& Palette) {
  if (FGraphic) FGraphic->SaveToClipboardFormat(Format, Data, Palette);
}

bool TPicture::SupportsClipboardFormat(TClipboardFormat Format) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  return std::any_of(R.ClipboardFormats.begin(), R.ClipboardFormats.end(),
                     [&](const TClipboardFormatInfo& I) { return I.Format == Format; });
}

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  const TGraphicClass& GraphicClass) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  R.FileFormats.push_back(TFileFormatInfo{Extension, Description, GraphicClass});
}

void TPicture::RegisterClipboardFormat(TClipboardFormat Format, const TGraphicClass& GraphicClass) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  R.ClipboardFormats.push_back(TClipboardFormatInfo{Format, GraphicClass});
}

void TPicture::UnregisterGraphicClass(const std::string& ClassName) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  std::erase_if(R.FileFormats,
                [&](const TFileFormatInfo& I) { return I.GraphicClass.ClassName == ClassName; });
  std::erase_if(R.ClipboardFormats, [&](const TClipboardFormatInfo& I) {
    return I.GraphicClass.ClassName == ClassName;
  });
}

std::vector<TFileFormatInfo> TPicture::FileFormats() {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  return R.FileFormats;
}

const TGraphicClass* TPicture::FindGraphicClass(const std::string& ClassName) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  const TGraphicClass* Found = nullptr;
  for (auto& I : R.FileFormats)
    if (I.GraphicClass.ClassName == ClassName) Found = &I.GraphicClass;
  if (!Found)
    for (auto& I : R.ClipboardFormats)
      if (I.GraphicClass.ClassName == ClassName) Found = &I.GraphicClass;
  if (!Found) {
    if (ClassName != "TBitmap") return nullptr;
    static const TGraphicClass BitmapClass = MakeGraphicClass<TBitmap>("TBitmap");
    return &BitmapClass;
  }
  // Keep a copy whose address stays valid when the registry changes later.
  for (auto& K : R.Known)
    if (K->ClassName == ClassName) {
      *K = *Found;
      return K.get();
    }
  R.Known.push_back(std::make_unique<TGraphicClass>(*Found));
  return R.Known.back().get();
}

void TPicture::Changed(TObject* /*Sender*/) {
  if (OnChange) OnChange(this);
}

void TPicture::ReadData(TStream& Stream) {
  uint8_t Length = Stream.ReadByte();
  std::string Name(Length, '\0');
  if (Length) Stream.ReadBuffer(Name.data(), Length);
  if (Name.empty()) {
    Install(nullptr);
    return;
  }
  std::unique_ptr<TGraphic> NewGraphic = CreateByName(Name);
  NewGraphic->ReadData(Stream);
  Install(std::move(NewGraphic));
}

void TPicture::WriteData(TStream& Stream) {
  std::string Name = FGraphic ? FGraphic->ClassName() : std::string();
  Stream.WriteByte(static_cast<uint8_t>(Name.size()));
  if (!Name.empty()) Stream.WriteBuffer(Name.data(), static_cast<int64_t>(Name.size()));
  if (FGraphic) FGraphic->WriteData(Stream);
}

void TPicture::DefineProperties(TFiler& Filer) {
  bool HasData;
  if (TPersistent* Ancestor = Filer.Ancestor()) {
    auto* Other = dynamic_cast<TPicture*>(Ancestor);
    if (!Other || !Other->Graphic())
      HasData = FGraphic != nullptr;
    else
      HasData = !FGraphic || !FGraphic->Equals(Other->Graphic());
  } else {
    HasData = FGraphic != nullptr;
  }
  Filer.DefineBinaryProperty(
      "Data", [this](TStream& S) { ReadData(S); }, [this](TStream& S) { WriteData(S); }, HasData);
}

}  // namespace orn
