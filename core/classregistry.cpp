#include "core/classregistry.h"

#include <map>
#include <memory>
#include <mutex>

#include "core/exceptions.h"

namespace orn {

namespace {

std::string Lower(const std::string& S) {
  std::string R = S;
  for (char& C : R)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return R;
}

struct TRegistry {
  std::mutex Lock;
  // Entries are never moved, so a TPersistentClass stays valid until its class is unregistered.
  std::map<std::string, std::unique_ptr<TClassInfo>> Classes;
};

TRegistry& Registry() {
  static TRegistry R;
  return R;
}

}  // namespace

void RegisterClass(TClassInfo Info) {
  if (!IsValidIdent(Info.ClassName))
    throw EComponentError("\"" + Info.ClassName + "\" is not a valid class name");
  if (!Info.CreateComponent && !Info.CreatePersistent)
    throw EComponentError("Class " + Info.ClassName + " has no factory");
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  const std::string Key = Lower(Info.ClassName);
  auto It = R.Classes.find(Key);
  if (It != R.Classes.end()) {
    if (Info.Type != typeid(void) && It->second->Type == Info.Type) return;
    throw EComponentError("Class " + Info.ClassName + " already registered");
  }
  R.Classes.emplace(Key, std::make_unique<TClassInfo>(std::move(Info)));
}

void RegisterClass(const std::string& Name, TComponentFactory Factory) {
  TClassInfo Info;
  Info.ClassName = Name;
  Info.CreateComponent = std::move(Factory);
  RegisterClass(std::move(Info));
}

void RegisterClasses(std::initializer_list<TClassInfo> Infos) {
  for (const TClassInfo& Info : Infos) RegisterClass(Info);
}

void UnRegisterClass(const std::string& Name) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  R.Classes.erase(Lower(Name));
}

TPersistentClass GetClass(const std::string& Name) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  auto It = R.Classes.find(Lower(Name));
  return It == R.Classes.end() ? nullptr : It->second.get();
}

TPersistentClass FindClass(const std::string& Name) {
  TPersistentClass C = GetClass(Name);
  if (C == nullptr) throw EClassNotFound("Class " + Name + " not found");
  return C;
}

std::vector<std::string> RegisteredClassNames() {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  std::vector<std::string> Names;
  for (const auto& [Key, Info] : R.Classes) Names.push_back(Info->ClassName);
  return Names;
}

}  // namespace orn
