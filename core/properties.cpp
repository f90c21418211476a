#include "core/properties.h"

#include <map>
#include <memory>
#include <mutex>
#include <typeindex>

#include "core/exceptions.h"

namespace orn {

TPropInfo& TPropertyList::Add(TPropInfo Info) {
  if (!IsValidIdent(Info.Name))
    throw EPropertyError("\"" + Info.Name + "\" is not a valid property name");
  if (Info.Kind == TPropKind::pkSet && Info.ValueNames.size() > 64)
    throw EPropertyError("Set property " + Info.Name + " has more than 64 elements");
  for (TPropInfo& Existing : FItems)
    if (SameText(Existing.Name, Info.Name)) {
      Existing = std::move(Info);
      return Existing;
    }
  FItems.push_back(std::move(Info));
  return FItems.back();
}

const TPropInfo* TPropertyList::Find(const std::string& Name) const {
  for (const TPropInfo& P : FItems)
    if (SameText(P.Name, Name)) return &P;
  return nullptr;
}

TPropInfo* TPropertyList::Find(const std::string& Name) {
  for (TPropInfo& P : FItems)
    if (SameText(P.Name, Name)) return &P;
  return nullptr;
}

TPropInfo& TPropertyList::Require(const std::string& Name) {
  TPropInfo* P = Find(Name);
  if (P == nullptr) throw EPropertyError("Property " + Name + " does not exist");
  return *P;
}

void TPropertyList::SetDefault(const std::string& Name, int64_t Value) {
  TPropInfo& P = Require(Name);
  P.HasDefault = true;
  P.OrdDefault = Value;
}

void TPropertyList::SetDefault(const std::string& Name, const std::string& Value) {
  TPropInfo& P = Require(Name);
  P.HasDefault = true;
  P.StrDefault = Value;
}

void TPropertyList::NoDefault(const std::string& Name) {
  Require(Name).HasDefault = false;
}

const TPropertyList& GetPropList(const TPersistent& Instance) {
  static std::mutex Lock;
  static std::map<std::type_index, std::unique_ptr<TPropertyList>> Cache;
  const std::type_index Key(typeid(Instance));
  {
    std::lock_guard<std::mutex> Guard(Lock);
    auto It = Cache.find(Key);
    if (It != Cache.end()) return *It->second;
  }
  // Built outside the lock: a declaration may itself look at another class's list.
  auto List = std::make_unique<TPropertyList>();
  Instance.DeclareProperties(*List);
  std::lock_guard<std::mutex> Guard(Lock);
  auto [It, Inserted] = Cache.emplace(Key, std::move(List));
  return *It->second;
}

const TPropInfo* GetPropInfo(const TPersistent& Instance, const std::string& Name) {
  return GetPropList(Instance).Find(Name);
}

}  // namespace orn
