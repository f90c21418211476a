// Published properties: each persistent class lists the properties a form description can
// set and store, with their kind, accessors and default. A class overrides
// TPersistent::DeclareProperties, calls its base first and then appends its own, one line a
// property:
//
//   void TFoo::DeclareProperties(TPropertyList& Props) const {
//     TBar::DeclareProperties(Props);
//     auto P = Props.Of<TFoo>();
//     P.Int("Left", &TFoo::Left, &TFoo::SetLeft, 0);
//     P.Bool("Loop", &TFoo::Loop, &TFoo::FLoopOn, true);          // a field as the setter
//     P.Enum("BorderStyle", &TFoo::BorderStyle, &TFoo::SetBorderStyle,
//            {"bsNone", "bsSingle", "bsSizeable"}, TBorderStyle::bsSizeable);
//     P.Set("BorderIcons", &TFoo::BorderIcons, &TFoo::SetBorderIcons,
//           {"biSystemMenu", "biMinimize", "biMaximize"}, TBorderIcons{});
//     P.Object("Font", &TFoo::Font);                               // sub-object: Font.Name
//     P.Component("PopupMenu", &TFoo::PopupMenu, &TFoo::SetPopupMenu);
//     P.Event("OnShow", &TFoo::OnShow, &TFoo::SetOnShow);
//   }
//
// Getters are anything std::invoke can call with the object (a const or non-const member
// function, a data member, a lambda taking TFoo&); setters likewise with the new value, or a
// data member, which is then assigned. The list is built once per class and cached.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/classes.h"
#include "core/component.h"

namespace orn {

enum class TPropKind {
  pkInteger,      // whole number; may also have named values (colours: clBtnFace)
  pkBoolean,      // True / False
  pkString,       // byte string
  pkEnumeration,  // one identifier out of a list
  pkSet,          // a set of identifiers out of a list: [biSystemMenu, biMinimize]
  pkClass,        // a sub-object whose own properties are set through dotted names
  pkComponent,    // a reference to another component, by name
  pkEvent         // a handler bound by name to a method the root component publishes
};

// An event handler bound from a published method. It keeps the method's name so the writer
// can store the binding again; the form reader wraps every handler it binds in it.
template <class F>
struct TNamedMethod {
  std::string Name;
  F Handler;
  template <class... A>
  decltype(auto) operator()(A&&... Args) const {
    return Handler(std::forward<A>(Args)...);
  }
};

// One published property.
struct TPropInfo {
  std::string Name;
  TPropKind Kind = TPropKind::pkInteger;

  // Integer range of the C++ type behind the property; values outside it are refused.
  int64_t MinValue = std::numeric_limits<int64_t>::min();
  int64_t MaxValue = std::numeric_limits<int64_t>::max();
  std::vector<std::string> ValueNames;                     // enumeration / set, by ordinal
  std::vector<std::pair<std::string, int64_t>> IntIdents;  // named integer values

  // The default: a property equal to it is not written. Without a default, integers,
  // booleans and enumerations are always written, strings and sets only when not empty.
  bool HasDefault = false;
  int64_t OrdDefault = 0;  // integer, boolean (0/1), enumeration ordinal, set bit mask
  std::string StrDefault;

  // Ordinal kinds (integer, boolean, enumeration, set as a bit mask of ordinals).
  std::function<int64_t(TPersistent&)> GetOrd;
  std::function<void(TPersistent&, int64_t)> SetOrd;
  // String.
  std::function<std::string(TPersistent&)> GetStr;
  std::function<void(TPersistent&, const std::string&)> SetStr;
  // Class: the sub-object, nil when there is none.
  std::function<TPersistent*(TPersistent&)> GetObject;
  // Component reference.
  std::function<TComponent*(TPersistent&)> GetComponent;
  std::function<void(TPersistent&, TComponent*)> SetComponent;
  std::function<bool(TComponent*)> AcceptsComponent;  // the component fits the property's type
  // Event.
  std::function<bool(TPersistent&)> EventAssigned;
  std::function<std::string(TPersistent&)> EventMethodName;  // "" unless bound by name
  // Binds the published Handler (a std::any holding the handler); false when its type is not
  // the event's type.
  std::function<bool(TPersistent&, const std::string& Name, const std::any& Handler)> BindEvent;
  std::function<void(TPersistent&)> ClearEvent;

  // Whether the writer stores the property at all (nil: yes).
  std::function<bool(TPersistent&)> Stored;

  bool IsOrdinal() const {
    return Kind == TPropKind::pkInteger || Kind == TPropKind::pkBoolean ||
           Kind == TPropKind::pkEnumeration || Kind == TPropKind::pkSet;
  }
};

template <class C>
class TPropertyBuilder;

class TPropertyList {
 public:
  // Appends Info; a property of the same name (a redeclaration in a subclass) is replaced in
  // place, keeping its position. Names are matched without regard to case.
  TPropInfo& Add(TPropInfo Info);
  const TPropInfo* Find(const std::string& Name) const;
  TPropInfo* Find(const std::string& Name);
  // Changes the default of a declared property (e.g. a subclass with another default);
  // raises EPropertyError when there is no such property.
  void SetDefault(const std::string& Name, int64_t Value);
  void SetDefault(const std::string& Name, const std::string& Value);
  void NoDefault(const std::string& Name);

  int Count() const { return static_cast<int>(FItems.size()); }
  const TPropInfo& operator[](int Index) const { return FItems.at(static_cast<size_t>(Index)); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

  template <class C>
  TPropertyBuilder<C> Of() {
    return TPropertyBuilder<C>(*this);
  }

 private:
  TPropInfo& Require(const std::string& Name);
  std::vector<TPropInfo> FItems;
};

// The published properties of Instance's class (built on first use, then cached).
const TPropertyList& GetPropList(const TPersistent& Instance);
const TPropInfo* GetPropInfo(const TPersistent& Instance, const std::string& Name);

namespace propdetail {

template <class C, class G>
using ValueOf = std::remove_cvref_t<std::invoke_result_t<const G&, C&>>;

template <class C, class G>
decltype(auto) Get(const G& Getter, TPersistent& Obj) {
  return std::invoke(Getter, static_cast<C&>(Obj));
}

template <class C, class S, class V>
void Put(const S& Setter, TPersistent& Obj, V&& Value) {
  if constexpr (std::is_member_object_pointer_v<S>)
    static_cast<C&>(Obj).*Setter = std::forward<V>(Value);
  else
    std::invoke(Setter, static_cast<C&>(Obj), std::forward<V>(Value));
}

template <class T>
struct IsStdSet : std::false_type {};
template <class E>
struct IsStdSet<std::set<E>> : std::true_type {
  using Element = E;
};

template <class T>
struct IsStdFunction : std::false_type {};
template <class R, class... A>
struct IsStdFunction<std::function<R(A...)>> : std::true_type {};

template <class V>
void SetRange(TPropInfo& Info) {
  using L = std::numeric_limits<V>;
  Info.MinValue = static_cast<int64_t>(L::min());
  Info.MaxValue =
      static_cast<uint64_t>(L::max()) > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
          ? std::numeric_limits<int64_t>::max()
          : static_cast<int64_t>(L::max());
}

}  // namespace propdetail

// Declares properties of class C into a list; see the top of this file.
template <class C>
class TPropertyBuilder {
 public:
  explicit TPropertyBuilder(TPropertyList& List) : FList(List) {}

  template <class G, class S>
  TPropInfo& Int(const std::string& Name, G Getter, S Setter,
                 std::optional<int64_t> Default = std::nullopt,
                 std::vector<std::pair<std::string, int64_t>> Idents = {}) {
    using V = propdetail::ValueOf<C, G>;
    static_assert(std::is_integral_v<V> && !std::is_same_v<V, bool>,
                  "an integer property needs an integer getter");
    TPropInfo Info = Base(Name, TPropKind::pkInteger, Default);
    propdetail::SetRange<V>(Info);
    Info.IntIdents = std::move(Idents);
    BindOrdinal<V>(Info, Getter, Setter);
    return FList.Add(std::move(Info));
  }

  template <class G, class S>
  TPropInfo& Bool(const std::string& Name, G Getter, S Setter,
                  std::optional<bool> Default = std::nullopt) {
    static_assert(std::is_same_v<propdetail::ValueOf<C, G>, bool>,
                  "a boolean property needs a bool getter");
    std::optional<int64_t> D;
    if (Default) D = *Default ? 1 : 0;
    TPropInfo Info = Base(Name, TPropKind::pkBoolean, D);
    Info.MinValue = 0;
    Info.MaxValue = 1;
    Info.GetOrd = [Getter](TPersistent& O) -> int64_t {
      return propdetail::Get<C>(Getter, O) ? 1 : 0;
    };
    Info.SetOrd = [Setter](TPersistent& O, int64_t X) { propdetail::Put<C>(Setter, O, X != 0); };
    return FList.Add(std::move(Info));
  }

  template <class G, class S>
  TPropInfo& String(const std::string& Name, G Getter, S Setter,
                    std::optional<std::string> Default = std::nullopt) {
    static_assert(std::is_same_v<propdetail::ValueOf<C, G>, std::string>,
                  "a string property needs a std::string getter");
    TPropInfo Info = Base(Name, TPropKind::pkString, std::nullopt);
    if (Default) {
      Info.HasDefault = true;
      Info.StrDefault = *Default;
    }
    Info.GetStr = [Getter](TPersistent& O) { return std::string(propdetail::Get<C>(Getter, O)); };
    Info.SetStr = [Setter](TPersistent& O, const std::string& X) {
      propdetail::Put<C>(Setter, O, X);
    };
    return FList.Add(std::move(Info));
  }

  // The getter returns an enumeration (or an integer ordinal); Names lists the identifiers of
  // ordinals 0, 1, 2, ...
  template <class G, class S>
  TPropInfo& Enum(const std::string& Name, G Getter, S Setter, std::vector<std::string> Names,
                  std::optional<propdetail::ValueOf<C, G>> Default = std::nullopt) {
    using V = propdetail::ValueOf<C, G>;
    static_assert(std::is_enum_v<V> || std::is_integral_v<V>,
                  "an enumeration property needs an enum getter");
    std::optional<int64_t> D;
    if (Default) D = static_cast<int64_t>(*Default);
    TPropInfo Info = Base(Name, TPropKind::pkEnumeration, D);
    Info.MinValue = 0;
    Info.MaxValue = static_cast<int64_t>(Names.size()) - 1;
    Info.ValueNames = std::move(Names);
    BindOrdinal<V>(Info, Getter, Setter);
    return FList.Add(std::move(Info));
  }

  // The getter returns a std::set of an enumeration, or an integer bit mask (bit N set for
  // ordinal N). At most 64 element names.
  template <class G, class S>
  TPropInfo& Set(const std::string& Name, G Getter, S Setter, std::vector<std::string> Names,
                 std::optional<propdetail::ValueOf<C, G>> Default = std::nullopt) {
    using V = propdetail::ValueOf<C, G>;
    std::optional<int64_t> D;
    if (Default) D = ToMask(*Default);
    TPropInfo Info = Base(Name, TPropKind::pkSet, D);
    Info.ValueNames = std::move(Names);
    Info.GetOrd = [Getter](TPersistent& O) { return ToMask(V(propdetail::Get<C>(Getter, O))); };
    Info.SetOrd = [Setter, Count = Info.ValueNames.size()](TPersistent& O, int64_t Mask) {
      propdetail::Put<C>(Setter, O, FromMask<V>(Mask, Count));
    };
    return FList.Add(std::move(Info));
  }

  // A sub-object the class owns; its own properties are reached with dotted names
  // (Font.Name, Image.Data). The getter returns a pointer to a persistent object, or nil.
  template <class G>
  TPropInfo& Object(const std::string& Name, G Getter) {
    using V = propdetail::ValueOf<C, G>;
    static_assert(std::is_pointer_v<V> &&
                      std::is_base_of_v<TPersistent, std::remove_cv_t<std::remove_pointer_t<V>>>,
                  "a class property needs a getter returning a persistent pointer");
    TPropInfo Info = Base(Name, TPropKind::pkClass, std::nullopt);
    Info.GetObject = [Getter](TPersistent& O) -> TPersistent* {
      return propdetail::Get<C>(Getter, O);
    };
    return FList.Add(std::move(Info));
  }

  // A reference to another component of the same root, stored by name and resolved after the
  // whole description is read. The getter returns T*, the setter takes T*.
  template <class G, class S>
  TPropInfo& Component(const std::string& Name, G Getter, S Setter) {
    using V = propdetail::ValueOf<C, G>;
    using T = std::remove_cv_t<std::remove_pointer_t<V>>;
    static_assert(std::is_pointer_v<V> && std::is_base_of_v<TComponent, T>,
                  "a component property needs a getter returning a component pointer");
    TPropInfo Info = Base(Name, TPropKind::pkComponent, std::nullopt);
    Info.GetComponent = [Getter](TPersistent& O) -> TComponent* {
      return propdetail::Get<C>(Getter, O);
    };
    Info.SetComponent = [Setter](TPersistent& O, TComponent* X) {
      propdetail::Put<C>(Setter, O, static_cast<T*>(X));
    };
    Info.AcceptsComponent = [](TComponent* X) { return dynamic_cast<T*>(X) != nullptr; };
    return FList.Add(std::move(Info));
  }

  // An event of type F (a std::function). The reader binds it to a method the root publishes
  // with exactly type F.
  template <class G, class S>
  TPropInfo& Event(const std::string& Name, G Getter, S Setter) {
    using F = propdetail::ValueOf<C, G>;
    static_assert(propdetail::IsStdFunction<F>::value, "an event property needs a std::function");
    TPropInfo Info = Base(Name, TPropKind::pkEvent, std::nullopt);
    Info.EventAssigned = [Getter](TPersistent& O) {
      return static_cast<bool>(propdetail::Get<C>(Getter, O));
    };
    Info.EventMethodName = [Getter](TPersistent& O) -> std::string {
      const F& Handler = propdetail::Get<C>(Getter, O);
      const TNamedMethod<F>* Named = Handler.template target<TNamedMethod<F>>();
      return Named != nullptr ? Named->Name : std::string();
    };
    Info.BindEvent = [Setter](TPersistent& O, const std::string& MethodName,
                              const std::any& Handler) {
      const F* Typed = std::any_cast<F>(&Handler);
      if (Typed == nullptr) return false;
      propdetail::Put<C>(Setter, O, F(TNamedMethod<F>{MethodName, *Typed}));
      return true;
    };
    Info.ClearEvent = [Setter](TPersistent& O) { propdetail::Put<C>(Setter, O, F()); };
    return FList.Add(std::move(Info));
  }

  // Makes the writer store the named, already declared property only when Pred(object) holds.
  template <class P>
  void StoredWhen(const std::string& Name, P Pred) {
    TPropInfo* Info = FList.Find(Name);
    if (Info == nullptr) return;
    Info->Stored = [Pred](TPersistent& O) -> bool { return std::invoke(Pred, static_cast<C&>(O)); };
  }

 private:
  // Reads and writes an ordinal property whose value type is V through its getter and setter.
  template <class V, class G, class S>
  static void BindOrdinal(TPropInfo& Info, G Getter, S Setter) {
    Info.GetOrd = [Getter](TPersistent& O) {
      return static_cast<int64_t>(propdetail::Get<C>(Getter, O));
    };
    Info.SetOrd = [Setter](TPersistent& O, int64_t X) {
      propdetail::Put<C>(Setter, O, static_cast<V>(X));
    };
  }

  static TPropInfo Base(const std::string& Name, TPropKind Kind, std::optional<int64_t> Default) {
    TPropInfo Info;
    Info.Name = Name;
    Info.Kind = Kind;
    if (Default) {
      Info.HasDefault = true;
      Info.OrdDefault = *Default;
    }
    return Info;
  }

  template <class V>
  static int64_t ToMask(const V& Value) {
    if constexpr (propdetail::IsStdSet<V>::value) {
      uint64_t Mask = 0;
      for (const auto& E : Value) {
        const auto Ord = static_cast<int64_t>(E);
        if (Ord >= 0 && Ord < 64) Mask |= uint64_t{1} << Ord;
      }
      return static_cast<int64_t>(Mask);
    } else {
      static_assert(std::is_integral_v<V>, "a set property needs a std::set or a bit mask");
      return static_cast<int64_t>(Value);
    }
  }

  template <class V>
  static V FromMask(int64_t Mask, size_t Count) {
    if constexpr (propdetail::IsStdSet<V>::value) {
      using E = typename propdetail::IsStdSet<V>::Element;
      V Result;
      for (size_t I = 0; I < Count && I < 64; ++I)
        if ((static_cast<uint64_t>(Mask) >> I) & 1u) Result.insert(static_cast<E>(I));
      return Result;
    } else {
      return static_cast<V>(Mask);
    }
  }

  TPropertyList& FList;
};

}  // namespace orn
