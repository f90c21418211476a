#include "forms_fixture.h"

#include <algorithm>

#include "core/classregistry.h"
#include "core/exceptions.h"

namespace ft {

std::vector<std::string> GLog;
int GLive = 0;

void TFtFont::DeclareProperties(TPropertyList& Props) const {
  TPersistent::DeclareProperties(Props);
  auto P = Props.Of<TFtFont>();
  P.String("Name", &TFtFont::FName, &TFtFont::FName, "MS Sans Serif");
  P.Int("Height", &TFtFont::FHeight, &TFtFont::FHeight, -11);
}

void TFtBlob::DefineProperties(TFiler& Filer) {
  bool HasData = !FData.empty();
  SawAncestor = Filer.Ancestor() != nullptr;
  if (auto* A = dynamic_cast<TFtBlob*>(Filer.Ancestor())) HasData = !Equals(*A);
  Filer.DefineBinaryProperty(
      "Data",
      [this](TStream& S) {
        const uint32_t N = S.ReadDWord();
        if (N > S.Size() - S.Position()) throw EReadError();
        std::vector<uint8_t> Bytes(N);
        if (N > 0) S.ReadBuffer(Bytes.data(), N);
        FData = std::move(Bytes);
        ++Reads;
      },
      [this](TStream& S) {
        S.WriteDWord(static_cast<uint32_t>(FData.size()));
        if (!FData.empty()) S.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
      },
      HasData);
}

TFtWidget::TFtWidget(TComponent* AOwner) : TComponent(AOwner) {
  ++GLive;
}
TFtWidget::~TFtWidget() {
  --GLive;
}

void TFtWidget::DeclareProperties(TPropertyList& Props) const {
  TComponent::DeclareProperties(Props);
  auto P = Props.Of<TFtWidget>();
  P.Int("Left", &TFtWidget::Left, &TFtWidget::SetLeft, 0);
  P.Int("Width", &TFtWidget::Width, &TFtWidget::SetWidth);
  P.Int("Tiny", &TFtWidget::Tiny, &TFtWidget::SetTiny, 0);
  P.String("Caption", &TFtWidget::Caption, &TFtWidget::SetCaption);
  P.String("Hint", &TFtWidget::Hint, &TFtWidget::SetHint, "hint");
  P.Bool("Visible", &TFtWidget::Visible, &TFtWidget::SetVisible, true);
  P.Enum("Style", &TFtWidget::Style, &TFtWidget::SetStyle, {"fsNone", "fsSingle", "fsSizeable"},
         TFtStyle::fsSizeable);
  P.Set("Icons", &TFtWidget::Icons, &TFtWidget::SetIcons,
        {"fiSystemMenu", "fiMinimize", "fiMaximize"});
  P.Set("Anchors", &TFtWidget::Anchors, &TFtWidget::SetAnchors,
        {"akLeft", "akTop", "akRight", "akBottom"}, 3u);
  P.Int("Color", &TFtWidget::Color, &TFtWidget::SetColor, clBtnFace,
        {{"clRed", clRed}, {"clBtnFace", clBtnFace}});
  P.Object("Font", &TFtWidget::Font);
  P.Object("Image", &TFtWidget::Image);
  P.Component("PopupMenu", &TFtWidget::PopupMenu, &TFtWidget::SetPopupMenu);
  P.Event("OnShow", &TFtWidget::OnShow, &TFtWidget::SetOnShow);
  P.Event("OnMove", &TFtWidget::OnMove, &TFtWidget::SetOnMove);
}

void TFtWidget::Log(const std::string& What) {
  GLog.push_back(Name() + "." + What);
  if (InState(TComponentStateItem::csLoading) && InState(TComponentStateItem::csReading))
    ReadingSeen = true;
}

void TFtWidget::SetLeft(int V) {
  FLeft = V;
  Log("Left=" + std::to_string(V));
}
void TFtWidget::SetWidth(int V) {
  FWidth = V;
  Log("Width=" + std::to_string(V));
}
void TFtWidget::SetTiny(uint8_t V) {
  FTiny = V;
  Log("Tiny=" + std::to_string(V));
}
void TFtWidget::SetCaption(const std::string& V) {
  FCaption = V;
  Log("Caption=" + V);
}
void TFtWidget::SetHint(const std::string& V) {
  FHint = V;
  Log("Hint=" + V);
}
void TFtWidget::SetVisible(bool V) {
  FVisible = V;
  Log(std::string("Visible=") + (V ? "1" : "0"));
}
void TFtWidget::SetStyle(TFtStyle V) {
  FStyle = V;
  Log("Style=" + std::to_string(static_cast<int>(V)));
}
void TFtWidget::SetIcons(const TFtIcons& V) {
  FIcons = V;
  Log("Icons=" + std::to_string(V.size()));
}
void TFtWidget::SetAnchors(uint32_t V) {
  FAnchors = V;
  Log("Anchors=" + std::to_string(V));
}
void TFtWidget::SetColor(int64_t V) {
  FColor = V;
  Log("Color=" + std::to_string(V));
}
void TFtWidget::SetPopupMenu(TFtMenu* V) {
  if (FPopupMenu != nullptr) RemoveFreeNotification(FPopupMenu);
  FPopupMenu = V;
  if (V != nullptr) FreeNotification(V);
  Log("PopupMenu=" + (V ? V->Name() : std::string("nil")));
}

void TFtWidget::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TFtWidget::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  // Parented children first, then (for the root) the components without a parent.
  std::vector<TComponent*> Mine;
  for (int I = 0; I < Root->ComponentCount(); ++I)
    if (Root->Components(I)->GetParentComponent() == this) Mine.push_back(Root->Components(I));
  for (TComponent* C : Mine) Proc(C);
  TComponent::GetChildren(Proc, Root);
}

void TFtWidget::Loaded() {
  TComponent::Loaded();
  GLog.push_back("Loaded:" + Name());
  if (FailInLoaded) throw EComponentError("Loaded failed");
}

TFtForm::TFtForm(TComponent* AOwner) : TFtWidget(AOwner) {
  PublishMethod<TNotifyEvent>("FormShow", [this](TObject*) { ++ShowCalls; });
  PublishMethod<TFtMoveEvent>("FormMove", [this](TObject*, int X, int Y) {
    LastX = X;
    LastY = Y;
  });
  PublishField("Panel1", Panel1);
}

TFtMenu::TFtMenu(TComponent* AOwner) : TComponent(AOwner) {
  ++GLive;
}

TFtMenu::~TFtMenu() {
  for (TFtItem* I : Items) I->FParentMenu = nullptr;
  --GLive;
}

void TFtMenu::GetChildren(const TGetChildProc& Proc, TComponent*) {
  const std::vector<TFtItem*> Copy = Items;
  for (TFtItem* I : Copy) Proc(I);
}

TFtItem::~TFtItem() {
  if (FParentMenu != nullptr) {
    auto& L = FParentMenu->Items;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
  }
}

void TFtItem::DeclareProperties(TPropertyList& Props) const {
  TFtMenu::DeclareProperties(Props);
  Props.Of<TFtItem>().String("Caption", &TFtItem::FCaption, &TFtItem::FCaption);
}

void TFtItem::SetParentComponent(TComponent* Value) {
  if (auto* M = dynamic_cast<TFtMenu*>(Value)) {
    FParentMenu = M;
    M->Items.push_back(this);
  }
}

void RegisterFixtureClasses() {
  RegisterClasses({ClassEntry<TFtWidget>("TFtWidget"), ClassEntry<TFtForm>("TFtForm"),
                   ClassEntry<TFtMenu>("TFtMenu"), ClassEntry<TFtItem>("TFtItem"),
                   ClassEntry<TFtFont>("TFtFont")});
}

}  // namespace ft
