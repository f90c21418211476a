// The class registry: lets form descriptions and component streams create objects from the
// class name they store. Component classes are made with an owner; other persistent classes
// (a graphic, a frame) with no arguments.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <typeindex>
#include <vector>

#include "core/classes.h"
#include "core/component.h"

namespace orn {

using TComponentFactory = std::function<TComponent*(TComponent* Owner)>;
using TPersistentFactory = std::function<TPersistent*()>;

// One registered class. Exactly one of the two factories is set.
struct TClassInfo {
  std::string ClassName;
  TComponentFactory CreateComponent;    // component classes: new instance with its owner
  TPersistentFactory CreatePersistent;  // other persistent classes: new instance
  std::type_index Type = typeid(void);  // the C++ class when known (registration by type)

  bool IsComponent() const { return static_cast<bool>(CreateComponent); }
};
using TPersistentClass = const TClassInfo*;

// The registry entry for class T under Name: T(Owner) for components, T() otherwise.
template <class T>
TClassInfo ClassEntry(const std::string& Name) {
  static_assert(std::is_base_of_v<TPersistent, T>, "only persistent classes can be registered");
  TClassInfo Info;
  Info.ClassName = Name;
  Info.Type = typeid(T);
  if constexpr (std::is_base_of_v<TComponent, T>)
    Info.CreateComponent = [](TComponent* Owner) -> TComponent* { return new T(Owner); };
  else
    Info.CreatePersistent = []() -> TPersistent* { return new T(); };
  return Info;
}

// Registers a class. Registering the same C++ class under the same name again does nothing;
// another class under a name already taken raises EComponentError
// "Class <name> already registered". Names are matched without regard to case.
void RegisterClass(TClassInfo Info);
template <class T>
void RegisterClass(const std::string& Name) {
  RegisterClass(ClassEntry<T>(Name));
}
// A component class with a factory of its own.
void RegisterClass(const std::string& Name, TComponentFactory Factory);
void RegisterClasses(std::initializer_list<TClassInfo> Infos);
void UnRegisterClass(const std::string& Name);

// The registered class of that name, or nil.
TPersistentClass GetClass(const std::string& Name);
// The registered class of that name; raises EClassNotFound "Class <name> not found".
TPersistentClass FindClass(const std::string& Name);

// Names of every registered class, sorted without regard to case.
std::vector<std::string> RegisteredClassNames();

}  // namespace orn
