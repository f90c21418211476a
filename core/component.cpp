#include "core/component.h"

#include <algorithm>

#include "core/exceptions.h"

namespace orn {

bool IsValidIdent(const std::string& S) {
  if (S.empty()) return false;
  auto Alpha = [](char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_'; };
  if (!Alpha(S[0])) return false;
  return std::all_of(S.begin(), S.end(),
                     [&](char C) { return Alpha(C) || (C >= '0' && C <= '9'); });
}

bool SameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'A' && X <= 'Z') X = static_cast<char>(X - 'A' + 'a');
    if (Y >= 'A' && Y <= 'Z') Y = static_cast<char>(Y - 'A' + 'a');
    if (X != Y) return false;
  }
  return true;
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  FComponentState.insert(TComponentStateItem::csDestroying);
  // Tell everybody who asked that this component goes away.
  while (!FFreeNotifies.empty()) {
    TComponent* Other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    auto& Theirs = Other->FFreeNotifies;
    Theirs.erase(std::remove(Theirs.begin(), Theirs.end(), this), Theirs.end());
    Other->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (FOwner != nullptr) {
    TComponent* Owner = FOwner;
    std::unique_ptr<TComponent> Self = Owner->ReleaseComponent(this);
    (void)Self.release();  // being destroyed already: only leave the owner's list
    Owner->ClearFieldsFor(this);
    // Siblings that refer to this component drop their references.
    Owner->Notification(this, TOperation::opRemove);
  }
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    std::unique_ptr<TComponent> C = std::move(FComponents.back());
    FComponents.pop_back();
    C->FOwner = nullptr;
    ClearFieldsFor(C.get());
    C.reset();
  }
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == FName) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError("\"" + NewName + "\" is not a valid component name");
  if (!NewName.empty() && FOwner != nullptr) {
    TComponent* Found = FOwner->FindComponent(NewName);
    if (Found != nullptr && Found != this)
      throw EComponentError("A component named " + NewName + " already exists");
  }
  if (FOwner != nullptr) {
    if (!NewName.empty()) BindOwnerField(NewName, this);
    if (!FName.empty()) {
      for (auto& F : FOwner->FFields)
        if (SameText(F.Name, FName) && F.Get() == this) F.Set(nullptr);
    }
    if (!NewName.empty()) {
      for (auto& F : FOwner->FFields)
        if (SameText(F.Name, NewName)) F.Set(this);
    }
  }
  FName = NewName;
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount()) ListIndexError(Index);
  return FComponents[static_cast<size_t>(Index)].get();
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (const auto& C : FComponents)
    if (SameText(C->FName, AName)) return C.get();
  return nullptr;
}

void TComponent::SetState(TComponentStateItem S, bool On) {
  if (On)
    FComponentState.insert(S);
  else
    FComponentState.erase(S);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  auto& Theirs = AComponent->FFreeNotifies;
  if (std::find(Theirs.begin(), Theirs.end(), this) == Theirs.end()) Theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent),
                      FFreeNotifies.end());
  auto& Theirs = AComponent->FFreeNotifies;
  Theirs.erase(std::remove(Theirs.begin(), Theirs.end(), this), Theirs.end());
}

void TComponent::Loaded() {
  FComponentState.erase(TComponentStateItem::csLoading);
}

void TComponent::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
  if (Root != this) return;
  // Copy first: Proc may be the writer, which must not see the list change under it.
  std::vector<TComponent*> Owned;
  for (const auto& C : FComponents)
    if (!C->HasParent()) Owned.push_back(C.get());
  for (TComponent* C : Owned) Proc(C);
}

void TComponent::SetMethod(const std::string& Name, std::any Handler) {
  if (!IsValidIdent(Name)) throw EComponentError("\"" + Name + "\" is not a valid method name");
  for (auto& M : FMethods)
    if (SameText(M.first, Name)) {
      M.second = std::move(Handler);
      return;
    }
  FMethods.emplace_back(Name, std::move(Handler));
}

const std::any* TComponent::FindMethod(const std::string& Name) const {
  for (const auto& M : FMethods)
    if (SameText(M.first, Name)) return &M.second;
  return nullptr;
}

std::vector<std::string> TComponent::MethodNames() const {
  std::vector<std::string> Names;
  for (const auto& M : FMethods) Names.push_back(M.first);
  return Names;
}

void TComponent::AddField(const std::string& Name, std::function<TComponent*()> Get,
                          std::function<bool(TComponent*)> Set) {
  if (!IsValidIdent(Name)) throw EComponentError("\"" + Name + "\" is not a valid field name");
  TComponent* Existing = FindComponent(Name);
  if (Existing != nullptr && !Set(Existing))
    throw EComponentError("Field " + Name + " of " + ClassName() + " cannot hold a " +
                          Existing->ClassName());
  FFields.push_back({Name, std::move(Get), std::move(Set)});
}

void TComponent::BindOwnerField(const std::string& Name, TComponent* C) {
  // Only a check: the fields are set once the name is known to be acceptable.
  for (auto& F : FOwner->FFields) {
    if (!SameText(F.Name, Name)) continue;
    TComponent* Old = F.Get();
    if (!F.Set(C))
      throw EComponentError("Field " + F.Name + " of " + FOwner->ClassName() + " cannot hold a " +
                            C->ClassName());
    F.Set(Old);
  }
}

void TComponent::ClearFieldsFor(TComponent* C) {
  for (auto& F : FFields)
    if (F.Get() == C) F.Set(nullptr);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove) RemoveFreeNotification(AComponent);
  for (const auto& C : FComponents) C->Notification(AComponent, Operation);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  AComponent->FOwner = this;
  FComponents.emplace_back(AComponent);
}

std::unique_ptr<TComponent> TComponent::ReleaseComponent(TComponent* AComponent) {
  for (auto It = FComponents.begin(); It != FComponents.end(); ++It) {
    if (It->get() == AComponent) {
      std::unique_ptr<TComponent> Result = std::move(*It);
      FComponents.erase(It);
      Result->FOwner = nullptr;
      return Result;
    }
  }
  return nullptr;
}

}  // namespace orn
