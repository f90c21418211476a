#include "core/stringlist.h"

namespace orn {

void TStringList::Assign(TPersistent* Source) {
  if (auto* Other = dynamic_cast<TStringList*>(Source)) {
    if (Other != this) FItems = Other->FItems;
    return;
  }
  TPersistent::Assign(Source);
}

const std::string& TStringList::Strings(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<size_t>(Index)];
}

void TStringList::SetStrings(int Index, const std::string& Value) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  FItems[static_cast<size_t>(Index)] = Value;
}

int TStringList::Add(const std::string& S) {
  FItems.push_back(S);
  return Count() - 1;
}

void TStringList::Insert(int Index, const std::string& S) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  FItems.insert(FItems.begin() + Index, S);
}

void TStringList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  FItems.erase(FItems.begin() + Index);
}

void TStringList::AddStrings(const TStringList& Other) {
  const std::vector<std::string> Copy = Other.FItems;  // Other may be this list
  FItems.insert(FItems.end(), Copy.begin(), Copy.end());
}

int TStringList::IndexOf(const std::string& S) const {
  for (size_t I = 0; I < FItems.size(); ++I)
    if (FItems[I] == S) return static_cast<int>(I);
  return -1;
}

std::string TStringList::Text() const {
  std::string R;
  for (const auto& S : FItems) R += S + "\r\n";
  return R;
}

void TStringList::SetText(const std::string& Value) {
  FItems.clear();
  size_t Start = 0, I = 0;
  while (I < Value.size()) {
    if (Value[I] == '\r' || Value[I] == '\n') {
      FItems.push_back(Value.substr(Start, I - Start));
      if (Value[I] == '\r' && I + 1 < Value.size() && Value[I + 1] == '\n') ++I;
      Start = ++I;
    } else {
      ++I;
    }
  }
  if (Start < Value.size()) FItems.push_back(Value.substr(Start));
}

}  // namespace orn
