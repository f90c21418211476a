// Scope guards for cleanup: an action that runs, or a value that returns, when the scope ends,
// however it ends. They replace hand-written "undo, then rethrow" handlers.
#pragma once

#include <utility>

namespace orn {

// Runs Action when the scope ends.
template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F Action) : FAction(std::move(Action)) {}
  ~TScopeExit() { FAction(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F FAction;
};

// Gives Variable a new value for the rest of the scope and moves the old one back at its end.
template <class T>
class TScopedValue {
 public:
  TScopedValue(T& Variable, T Value)
      : FVariable(Variable), FOld(std::exchange(Variable, std::move(Value))) {}
  ~TScopedValue() { FVariable = std::move(FOld); }
  TScopedValue(const TScopedValue&) = delete;
  TScopedValue& operator=(const TScopedValue&) = delete;

 private:
  T& FVariable;
  T FOld;
};

}  // namespace orn
