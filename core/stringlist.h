// A list of byte strings (any byte values, embedded NULs included).
#pragma once

#include <string>
#include <vector>

#include "core/classes.h"

namespace orn {

class TStringList : public TPersistent {
 public:
  std::string ClassName() const override { return "TStringList"; }
  void Assign(TPersistent* Source) override;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Index errors raise EListError.
  const std::string& Strings(int Index) const;
  void SetStrings(int Index, const std::string& Value);
  const std::string& operator[](int Index) const { return Strings(Index); }

  int Add(const std::string& S);
  void Insert(int Index, const std::string& S);
  void Delete(int Index);
  void Clear() { FItems.clear(); }
  void AddStrings(const TStringList& Other);
  int IndexOf(const std::string& S) const;

  // The lines joined, each followed by CR LF; setting splits at CR LF, CR or LF.
  std::string Text() const;
  void SetText(const std::string& Value);

  bool Equals(const TStringList& Other) const { return FItems == Other.FItems; }
  const std::vector<std::string>& Items() const { return FItems; }

 private:
  std::vector<std::string> FItems;
};

}  // namespace orn
