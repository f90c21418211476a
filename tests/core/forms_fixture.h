// Small component classes for the form reader and writer tests: every property kind, a
// sub-object, a binary defined property, parents and children, published methods and fields.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/component.h"
#include "core/filer.h"
#include "core/properties.h"

namespace ft {

using namespace orn;

// Calls of setters and Loaded, in order, as "Name.Property=value" / "Loaded:Name".
extern std::vector<std::string> GLog;
// Components of these classes alive right now.
extern int GLive;

enum class TFtStyle { fsNone, fsSingle, fsSizeable };
enum class TFtIcon { fiSystemMenu, fiMinimize, fiMaximize };
using TFtIcons = std::set<TFtIcon>;
using TFtMoveEvent = std::function<void(TObject* Sender, int X, int Y)>;

constexpr int64_t clRed = 0xFF;
constexpr int64_t clBtnFace = 0xFF00000F;

class TFtFont : public TPersistent {
 public:
  std::string ClassName() const override { return "TFtFont"; }
  void DeclareProperties(TPropertyList& Props) const override;
  std::string FName = "MS Sans Serif";
  int FHeight = -11;
};

// Binary data stored as a 4-byte length and the bytes, like a graphic's "Data".
class TFtBlob : public TPersistent {
 public:
  std::string ClassName() const override { return "TFtBlob"; }
  void DefineProperties(TFiler& Filer) override;
  bool Equals(const TFtBlob& Other) const { return FData == Other.FData; }
  std::vector<uint8_t> FData;
  int Reads = 0;
  bool SawAncestor = false;  // the last has-data test had an ancestor
};

class TFtMenu;

class TFtWidget : public TComponent {
 public:
  explicit TFtWidget(TComponent* AOwner);
  ~TFtWidget() override;
  std::string ClassName() const override { return "TFtWidget"; }
  void DeclareProperties(TPropertyList& Props) const override;

  int Left() const { return FLeft; }
  void SetLeft(int V);
  int Width() const { return FWidth; }
  void SetWidth(int V);
  uint8_t Tiny() const { return FTiny; }
  void SetTiny(uint8_t V);
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& V);
  std::string Hint() const { return FHint; }
  void SetHint(const std::string& V);
  bool Visible() const { return FVisible; }
  void SetVisible(bool V);
  TFtStyle Style() const { return FStyle; }
  void SetStyle(TFtStyle V);
  TFtIcons Icons() const { return FIcons; }
  void SetIcons(const TFtIcons& V);
  uint32_t Anchors() const { return FAnchors; }
  void SetAnchors(uint32_t V);
  int64_t Color() const { return FColor; }
  void SetColor(int64_t V);
  TFtFont* Font() { return &FFont; }
  TFtBlob* Image() { return &FImage; }
  TFtMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TFtMenu* V);
  const TNotifyEvent& OnShow() const { return FOnShow; }
  void SetOnShow(TNotifyEvent V) { FOnShow = std::move(V); }
  const TFtMoveEvent& OnMove() const { return FOnMove; }
  void SetOnMove(TFtMoveEvent V) { FOnMove = std::move(V); }

  bool HasParent() const override { return FParent != nullptr; }
  TComponent* GetParentComponent() const override { return FParent; }
  void SetParentComponent(TComponent* Value) override { FParent = Value; }
  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
  void Loaded() override;

  bool ReadingSeen = false;  // a setter ran while csLoading and csReading were set
  bool FailInLoaded = false;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Log(const std::string& What);

 private:
  int FLeft = 0, FWidth = 0;
  uint8_t FTiny = 0;
  std::string FCaption, FHint = "hint";
  bool FVisible = true;
  TFtStyle FStyle = TFtStyle::fsSizeable;
  TFtIcons FIcons;
  uint32_t FAnchors = 3;  // [akLeft, akTop]
  int64_t FColor = clBtnFace;
  TFtFont FFont;
  TFtBlob FImage;
  TFtMenu* FPopupMenu = nullptr;
  TNotifyEvent FOnShow;
  TFtMoveEvent FOnMove;
  TComponent* FParent = nullptr;
};

// The root class: publishes two methods and one field.
class TFtForm : public TFtWidget {
 public:
  explicit TFtForm(TComponent* AOwner);
  std::string ClassName() const override { return "TFtForm"; }
  TFtWidget* Panel1 = nullptr;
  int ShowCalls = 0;
  int LastX = 0, LastY = 0;
};

class TFtItem;

// A container whose children are items given to it as their parent.
class TFtMenu : public TComponent {
 public:
  explicit TFtMenu(TComponent* AOwner);
  ~TFtMenu() override;
  std::string ClassName() const override { return "TFtMenu"; }
  void GetChildren(const TGetChildProc& Proc, TComponent* Root) override;
  std::vector<TFtItem*> Items;
};

class TFtItem : public TFtMenu {
 public:
  explicit TFtItem(TComponent* AOwner) : TFtMenu(AOwner) {}
  ~TFtItem() override;
  std::string ClassName() const override { return "TFtItem"; }
  void DeclareProperties(TPropertyList& Props) const override;
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override { return FParentMenu; }
  void SetParentComponent(TComponent* Value) override;
  std::string FCaption;
  TFtMenu* FParentMenu = nullptr;
};

// Registers the classes above (once).
void RegisterFixtureClasses();

}  // namespace ft
