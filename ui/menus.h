// Menus: TMenuItem (a node of the menu tree) and TPopupMenu (a menu shown at the mouse).
// A click on an item with AutoCheck inverts its check mark before OnClick runs; checking a
// RadioItem clears every other radio item of its GroupIndex under the same parent item.
#pragma once

#include <string>
#include <vector>

#include "core/component.h"
#include "core/properties.h"
#include "ui/controls.h"

namespace orn {

class TMenu;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;
  std::string ClassName() const override { return "TMenuItem"; }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value) { FCaption = Value; }
  // A caption of "-" makes a separator.
  bool IsLine() const { return FCaption == "-"; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool Value) { FAutoCheck = Value; }
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool Value);
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value) { FVisible = Value; }
  // Drawn bold; the item a double click would choose.
  bool Default() const { return FDefault; }
  void SetDefault(bool Value) { FDefault = Value; }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }

  // The submenu.
  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int Index) const;
  void Add(TMenuItem* Item);
  void Insert(int Index, TMenuItem* Item);
  void Remove(TMenuItem* Item);
  int IndexOf(const TMenuItem* Item) const;
  TMenuItem* Parent() const { return FParent; }
  // Depth-first search by component name (case-insensitive); nullptr when absent.
  TMenuItem* Find(const std::string& AName);

  // A click: inverts the check mark of an AutoCheck item, then calls OnClick. Nothing for a
  // disabled item.
  virtual void Click();

  // Reading from a form description puts an item into the enclosing item or menu.
  void SetParentComponent(TComponent* Value) override;
  TComponent* GetParentComponent() const override;
  bool HasParent() const override { return true; }
  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
  void DeclareProperties(TPropertyList& Props) const override;

  TNotifyEvent OnClick;

 private:
  void TurnSiblingsOff();

  std::string FCaption;
  std::string FHint;
  bool FChecked = false;
  bool FAutoCheck = false;
  bool FRadioItem = false;
  int FGroupIndex = 0;
  bool FEnabled = true;
  bool FVisible = true;
  bool FDefault = false;
  TMenuItem* FParent = nullptr;
  TMenu* FMenu = nullptr;  // the menu whose root this item is
  std::vector<TMenuItem*> FItems;
  friend class TMenu;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  std::string ClassName() const override { return "TMenu"; }
  // The root item; the menu's items are its children.
  TMenuItem& Items() { return *FItems; }
  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
  void DeclareProperties(TPropertyList& Props) const override;

 private:
  TMenuItem* FItems;  // owned
};

enum class TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}
  std::string ClassName() const override { return "TPopupMenu"; }

  // Shows the menu at the screen point and clicks the item chosen, if any. Exceptions from
  // the click handler go to the application's error handling.
  virtual void Popup(int X, int Y);
  // The control the menu was last shown for.
  TComponent* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* Value) { FPopupComponent = Value; }
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool Value) { FAutoPopup = Value; }
  void DeclareProperties(TPropertyList& Props) const override;

  TNotifyEvent OnPopup;

 private:
  TComponent* FPopupComponent = nullptr;
  bool FAutoPopup = true;
};

// The caption as a menu shows it: a single '&' (the mnemonic mark) is dropped, "&&" shows
// one '&'.
std::string StripHotkey(const std::string& Caption);
// The entries a popup menu shows for the submenu of Menu: visible items only, in order, each
// entry's Id the index of its item in ById (to which the items are appended).
std::vector<TPopupMenuEntry> MenuEntries(TMenuItem& Menu, std::vector<TMenuItem*>& ById);

}  // namespace orn
