// TComponent: named objects with an owner. An owner destroys the components it owns when it
// is destroyed; a component destroyed on its own leaves its owner's list.
#pragma once

#include <any>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "core/classes.h"

namespace orn {

enum class TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning };
using TComponentState = std::set<TComponentStateItem>;

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
  template <class F>
  struct IsEventType : std::false_type {};
  template <class R, class... A>
  struct IsEventType<std::function<R(A...)>> : std::true_type {};

 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  // Raises EComponentError for a name that is not an identifier or that the owner already
  // holds ("A component named X already exists").
  void SetName(const std::string& NewName);
  int Tag() const { return FTag; }
  void SetTag(int Value) { FTag = Value; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const;
  TComponent* FindComponent(const std::string& AName) const;  // case-insensitive, or nil

  const TComponentState& ComponentState() const { return FComponentState; }
  bool InState(TComponentStateItem S) const { return FComponentState.count(S) != 0; }
  void SetState(TComponentStateItem S, bool On);

  // Asks to be told (Notification opRemove) when AComponent is destroyed; mutual.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Destroys the owned components, last created first. The destructor does it too; a class
  // whose own parts the owned components use (a form and its window) calls it first, while
  // those parts are still whole.
  void DestroyComponents();

  // Called by the form reader after every property of this component (and its owned
  // components) has been read; clears csLoading.
  virtual void Loaded();

  // Parent relation used by form descriptions. The reader hands every nested object its
  // enclosing object through SetParentComponent (a control gets its form, a menu item its
  // menu); a plain component has no parent and ignores it.
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* Value) { (void)Value; }

  // Calls Proc, in order, for each component the writer stores nested inside this one. The
  // default gives, when this is the Root being written, the owned components without a
  // parent; a class holding children (a form's controls, a menu's items) adds its own.
  using TGetChildProc = std::function<void(TComponent* Child)>;
  virtual void GetChildren(const TGetChildProc& Proc, TComponent* Root);

  // Method table: handlers published under a name so that a description's event properties
  // (OnShow = FormShow) bind to them. F is the event's type, e.g. TNotifyEvent; an event
  // property accepts only a handler published with exactly its type. Publishing a name again
  // replaces the handler.
  template <class F>
  void PublishMethod(const std::string& Name, F Handler) {
    static_assert(IsEventType<F>::value,
                  "publish a method as its event type: PublishMethod<TNotifyEvent>(...)");
    SetMethod(Name, std::any(std::move(Handler)));
  }
  const std::any* FindMethod(const std::string& Name) const;  // case-insensitive, or nil
  std::vector<std::string> MethodNames() const;

  // Published field: Field follows the owned component named Name. It is set when such a
  // component is named (by the form reader or by SetName), and cleared when the component
  // goes away. Naming a component whose class T cannot hold raises EComponentError.
  template <class T>
  void PublishField(const std::string& Name, T*& Field) {
    T** Slot = &Field;
    AddField(
        Name, [Slot]() -> TComponent* { return *Slot; },
        [Slot](TComponent* C) -> bool {
          if (C == nullptr) {
            *Slot = nullptr;
            return true;
          }
          T* Typed = dynamic_cast<T*>(C);
          if (Typed == nullptr) return false;
          *Slot = Typed;
          return true;
        });
  }

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  void InsertComponent(TComponent* AComponent);
  std::unique_ptr<TComponent> ReleaseComponent(TComponent* AComponent);
  void SetMethod(const std::string& Name, std::any Handler);

  struct TPublishedField {
    std::string Name;
    std::function<TComponent*()> Get;
    std::function<bool(TComponent*)> Set;  // false when the component does not fit
  };
  void AddField(const std::string& Name, std::function<TComponent*()> Get,
                std::function<bool(TComponent*)> Set);
  // Points the owner's field Name at C; checks first, so a misfit changes nothing.
  void BindOwnerField(const std::string& Name, TComponent* C);
  void ClearFieldsFor(TComponent* C);

  TComponent* FOwner = nullptr;
  std::string FName;
  int FTag = 0;
  TComponentState FComponentState;
  std::vector<std::unique_ptr<TComponent>> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  std::vector<std::pair<std::string, std::any>> FMethods;
  std::vector<TPublishedField> FFields;
};

// True when S is a valid identifier: a letter or underscore, then letters, digits, underscores.
bool IsValidIdent(const std::string& S);
bool SameText(const std::string& A, const std::string& B);

}  // namespace orn
