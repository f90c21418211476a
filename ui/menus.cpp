#include "ui/menus.h"

#include <algorithm>

#include "core/exceptions.h"
#include "ui/application.h"

namespace orn {

// ---- TMenuItem --------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  // Sub-items owned elsewhere stay alive but leave this tree.
  for (TMenuItem* I : FItems) I->FParent = nullptr;
  FItems.clear();
  if (FParent != nullptr) FParent->Remove(this);
}

TMenuItem* TMenuItem::Items(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) {
  Insert(Count(), Item);
}

void TMenuItem::Insert(int Index, TMenuItem* Item) {
  if (Item == nullptr) return;
  if (Item->FParent != nullptr) throw EComponentError("Menu inserted twice");
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
  if (Item->FChecked && Item->FRadioItem) Item->TurnSiblingsOff();
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  if (It == FItems.end()) return;
  FItems.erase(It);
  Item->FParent = nullptr;
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  return It == FItems.end() ? -1 : static_cast<int>(It - FItems.begin());
}

TMenuItem* TMenuItem::Find(const std::string& AName) {
  for (TMenuItem* I : FItems) {
    if (SameText(I->Name(), AName)) return I;
    if (TMenuItem* Sub = I->Find(AName)) return Sub;
  }
  return nullptr;
}

void TMenuItem::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  if (Value && FRadioItem) TurnSiblingsOff();
}

void TMenuItem::SetRadioItem(bool Value) {
  if (FRadioItem == Value) return;
  FRadioItem = Value;
  if (FChecked && FRadioItem) TurnSiblingsOff();
}

void TMenuItem::SetGroupIndex(int Value) {
  if (FGroupIndex == Value) return;
  FGroupIndex = Value;
  if (FChecked && FRadioItem) TurnSiblingsOff();
}

void TMenuItem::TurnSiblingsOff() {
  if (FParent == nullptr) return;
  for (TMenuItem* I : FParent->FItems)
    if (I != this && I->FRadioItem && I->FGroupIndex == FGroupIndex) I->FChecked = false;
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  if (FAutoCheck) SetChecked(!FChecked);
  if (OnClick) OnClick(this);
}

void TMenuItem::SetParentComponent(TComponent* Value) {
  if (FParent != nullptr) FParent->Remove(this);
  if (auto* Item = dynamic_cast<TMenuItem*>(Value))
    Item->Add(this);
  else if (auto* Menu = dynamic_cast<TMenu*>(Value))
    Menu->Items().Add(this);
}

TComponent* TMenuItem::GetParentComponent() const {
  if (FParent != nullptr && FParent->FMenu != nullptr) return FParent->FMenu;
  return FParent;
}

void TMenuItem::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  for (TMenuItem* I : std::vector<TMenuItem*>(FItems))
    if (I->Owner() == Root) Proc(I);
}

void TMenuItem::DeclareProperties(TPropertyList& Props) const {
  TComponent::DeclareProperties(Props);
  auto P = Props.Of<TMenuItem>();
  P.Bool("AutoCheck", &TMenuItem::AutoCheck, &TMenuItem::SetAutoCheck, false);
  P.String(
      "Caption", [](TMenuItem& I) { return I.Caption(); }, &TMenuItem::SetCaption, std::string());
  P.Bool("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked, false);
  P.Bool("Default", &TMenuItem::Default, &TMenuItem::SetDefault, false);
  P.Bool("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled, true);
  P.Int("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex, 0);
  P.String(
      "Hint", [](TMenuItem& I) { return I.Hint(); }, &TMenuItem::SetHint, std::string());
  P.Bool("RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem, false);
  P.Bool("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible, true);
  P.Event("OnClick", &TMenuItem::OnClick, &TMenuItem::OnClick);
}

// ---- TMenu ------------------------------------------------------------------------------

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), FItems(new TMenuItem(nullptr)) {
  FItems->FMenu = this;
}

TMenu::~TMenu() {
  delete FItems;
}

void TMenu::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  FItems->GetChildren(Proc, Root);
}

void TMenu::DeclareProperties(TPropertyList& Props) const {
  TComponent::DeclareProperties(Props);
}

// ---- TPopupMenu -------------------------------------------------------------------------

std::string StripHotkey(const std::string& Caption) {
  std::string R;
  for (size_t I = 0; I < Caption.size(); ++I) {
    if (Caption[I] != '&') {
      R += Caption[I];
    } else if (I + 1 < Caption.size() && Caption[I + 1] == '&') {
      R += '&';
      ++I;
    }
  }
  return R;
}

std::vector<TPopupMenuEntry> MenuEntries(TMenuItem& Menu, std::vector<TMenuItem*>& ById) {
  std::vector<TPopupMenuEntry> R;
  for (int I = 0; I < Menu.Count(); ++I) {
    TMenuItem* Item = Menu.Items(I);
    if (!Item->Visible()) continue;
    TPopupMenuEntry E;
    E.Id = static_cast<int>(ById.size());
    ById.push_back(Item);
    E.Name = Item->Name();
    E.Separator = Item->IsLine();
    if (!E.Separator) {
      E.Caption = StripHotkey(Item->Caption());
      E.Enabled = Item->Enabled();
      E.Checked = Item->Checked();
      E.Radio = Item->RadioItem();
      E.Default = Item->Default();
      E.Items = MenuEntries(*Item, ById);
    }
    R.push_back(std::move(E));
  }
  return R;
}

void TPopupMenu::Popup(int X, int Y) {
  if (OnPopup) OnPopup(this);
  HWND Owner = 0;
  if (auto* C = dynamic_cast<TControl*>(FPopupComponent))
    if (TCustomForm* F = GetParentForm(C)) Owner = F->Handle();
  // The entries are built now, so the menu shows the items as they are at this moment.
  std::vector<TMenuItem*> ById;
  const std::vector<TPopupMenuEntry> Entries = MenuEntries(Items(), ById);
  const int Id = Platform().TrackPopupMenu(Owner, Entries, X, Y);
  if (Id < 0 || Id >= static_cast<int>(ById.size())) return;
  TMenuItem* Chosen = ById[static_cast<size_t>(Id)];
  // Only a command can be chosen: not a separator, a submenu or a disabled item.
  if (Chosen->IsLine() || Chosen->Count() > 0 || !Chosen->Enabled()) return;
  DispatchGuarded(Chosen, [Chosen] { Chosen->Click(); });
}

void TPopupMenu::DeclareProperties(TPropertyList& Props) const {
  TMenu::DeclareProperties(Props);
  auto P = Props.Of<TPopupMenu>();
  P.Bool("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup, true);
  P.Event("OnPopup", &TPopupMenu::OnPopup, &TPopupMenu::OnPopup);
}

}  // namespace orn
