// TComponent: named objects with an owner. An owner destroys the components it owns when it
// is destroyed; a component destroyed on its own leaves its owner's list.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/classes.h"

namespace orn {

enum class TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning };
using TComponentState = std::set<TComponentStateItem>;

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
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

  // Called by the form reader after every property of this component (and its owned
  // components) has been read; clears csLoading.
  virtual void Loaded();

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  void InsertComponent(TComponent* AComponent);
  std::unique_ptr<TComponent> ReleaseComponent(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  int FTag = 0;
  TComponentState FComponentState;
  std::vector<std::unique_ptr<TComponent>> FComponents;
  std::vector<TComponent*> FFreeNotifies;
};

// True when S is a valid identifier: a letter or underscore, then letters, digits, underscores.
bool IsValidIdent(const std::string& S);
bool SameText(const std::string& A, const std::string& B);

}  // namespace orn
