#include "core/forms.h"

#include <typeinfo>
#include <vector>

#include "core/classregistry.h"
#include "core/exceptions.h"
#include "core/filer.h"
#include "core/formparser.h"
#include "core/properties.h"

namespace orn {

namespace {

std::string LinePrefix(int Line) {
  return "Line " + std::to_string(Line) + ": ";
}

[[noreturn]] void PropertyError(int Line, const std::string& Message) {
  throw EPropertyError(LinePrefix(Line) + Message);
}

[[noreturn]] void InvalidValue(const TDescProperty& P, const std::string& Expected) {
  PropertyError(P.Value.Line,
                "Invalid value for property " + P.Name + " (" + Expected + " expected)");
}

std::vector<std::string> SplitDotted(const std::string& Name) {
  std::vector<std::string> Parts;
  size_t Start = 0;
  while (true) {
    const size_t Dot = Name.find('.', Start);
    Parts.push_back(Name.substr(Start, Dot - Start));
    if (Dot == std::string::npos) break;
    Start = Dot + 1;
  }
  return Parts;
}

int IndexOfName(const std::vector<std::string>& Names, const std::string& Name) {
  for (size_t I = 0; I < Names.size(); ++I)
    if (SameText(Names[I], Name)) return static_cast<int>(I);
  return -1;
}

// The reader's side of DefineProperties: hands the stored bytes to the one defined property
// whose name is being read.
class TReaderFiler : public TFiler {
 public:
  TReaderFiler(const std::string& Name, const TDescProperty& Prop) : FName(Name), FProp(Prop) {}

  void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc,
                            bool) override {
    if (FFound || !SameText(Name, FName)) return;
    FFound = true;
    if (FProp.Value.Kind != TDescValueKind::dvBinary) InvalidValue(FProp, "binary data");
    TMemoryStream Data;
    const auto& Bytes = FProp.Value.Bytes;
    if (!Bytes.empty()) Data.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    Data.SetPosition(0);
    if (ReadData) ReadData(Data);
  }

  bool Found() const { return FFound; }

 private:
  std::string FName;
  const TDescProperty& FProp;
  bool FFound = false;
};

class TFormReader {
 public:
  explicit TFormReader(TComponent* Root) : FRoot(Root) {}

  void Read(const TDescObject& Desc) {
    if (!SameText(Desc.ClassName, FRoot->ClassName()))
      throw EClassNotFound(LinePrefix(Desc.Line) + "Class " + Desc.ClassName +
                           " does not match the root's class " + FRoot->ClassName());
    try {
      FRoot->SetState(TComponentStateItem::csLoading, true);
      FRoot->SetState(TComponentStateItem::csReading, true);
      if (!Desc.Name.empty()) NameComponent(FRoot, Desc);
      ReadProperties(*FRoot, Desc);
      for (const auto& Child : Desc.Children) ReadChild(*Child, FRoot);
      ResolveFixups();
      FRoot->SetState(TComponentStateItem::csReading, false);
      for (TComponent* C : FCreated) C->SetState(TComponentStateItem::csReading, false);
      CallLoaded(FRoot);
      for (TComponent* C : FCreated) CallLoaded(C);
    } catch (...) {
      DestroyCreated();
      FRoot->SetState(TComponentStateItem::csReading, false);
      FRoot->SetState(TComponentStateItem::csLoading, false);
      throw;
    }
  }

 private:
  struct TFixup {
    TPersistent* Instance;
    const TPropInfo* Prop;
    std::string Name;
    int Line;
  };

  static void CallLoaded(TComponent* C) {
    C->Loaded();
    C->SetState(TComponentStateItem::csLoading, false);
  }

  bool OwnedByRoot(TComponent* C) const {
    for (int I = 0; I < FRoot->ComponentCount(); ++I)
      if (FRoot->Components(I) == C) return true;
    return false;
  }

  // Last created first, so a component that frees the ones nested in it (a menu its items)
  // finds them gone already; each is checked first in case another one took it along.
  void DestroyCreated() {
    while (!FCreated.empty()) {
      TComponent* C = FCreated.back();
      FCreated.pop_back();
      if (OwnedByRoot(C)) delete C;
    }
  }

  void NameComponent(TComponent* C, const TDescObject& Desc) {
    try {
      C->SetName(Desc.Name);
    } catch (const EComponentError& E) {
      throw EComponentError(LinePrefix(Desc.Line) + E.Message());
    }
  }

  void ReadChild(const TDescObject& Desc, TComponent* Parent) {
    TPersistentClass Class = GetClass(Desc.ClassName);
    if (Class == nullptr)
      throw EClassNotFound(LinePrefix(Desc.Line) + "Class " + Desc.ClassName + " not found");
    if (!Class->IsComponent())
      throw EClassNotFound(LinePrefix(Desc.Line) + "Class " + Desc.ClassName +
                           " is not a component class");
    TComponent* C = Class->CreateComponent(FRoot);
    if (C == nullptr)
      throw EComponentError(LinePrefix(Desc.Line) + "Class " + Desc.ClassName + " created nothing");
    if (C->Owner() != FRoot) {
      delete C;
      throw EComponentError(LinePrefix(Desc.Line) + "Class " + Desc.ClassName +
                            " did not take the root as its owner");
    }
    FCreated.push_back(C);
    C->SetState(TComponentStateItem::csLoading, true);
    C->SetState(TComponentStateItem::csReading, true);
    if (!Desc.Name.empty()) NameComponent(C, Desc);
    C->SetParentComponent(Parent);
    ReadProperties(*C, Desc);
    for (const auto& Child : Desc.Children) ReadChild(*Child, C);
  }

  void ReadProperties(TPersistent& Obj, const TDescObject& Desc) {
    for (const TDescProperty& P : Desc.Properties) ReadProperty(Obj, P);
  }

  [[noreturn]] static void NoSuchProperty(const TDescProperty& P) {
    PropertyError(P.Line, "Property " + P.Name + " does not exist");
  }

  void ReadProperty(TPersistent& Obj, const TDescProperty& P) {
    const std::vector<std::string> Parts = SplitDotted(P.Name);
    TPersistent* Target = &Obj;
    for (size_t I = 0; I + 1 < Parts.size(); ++I) {
      const TPropInfo* Info = GetPropInfo(*Target, Parts[I]);
      if (Info == nullptr || Info->Kind != TPropKind::pkClass) NoSuchProperty(P);
      Target = Info->GetObject(*Target);
      if (Target == nullptr)
        PropertyError(P.Line, "Property " + P.Name + " cannot be set: " + Parts[I] + " is nil");
    }
    const TPropInfo* Info = GetPropInfo(*Target, Parts.back());
    if (Info != nullptr) {
      SetValue(*Target, *Info, P);
      return;
    }
    TReaderFiler Filer(Parts.back(), P);
    Target->DefineProperties(Filer);
    if (!Filer.Found()) NoSuchProperty(P);
  }

  void SetValue(TPersistent& Obj, const TPropInfo& Info, const TDescProperty& P) {
    const TDescValue& V = P.Value;
    switch (Info.Kind) {
      case TPropKind::pkInteger: {
        int64_t X = 0;
        if (V.Kind == TDescValueKind::dvInteger) {
          X = V.Int;
        } else if (V.Kind == TDescValueKind::dvIdent) {
          bool Found = false;
          for (const auto& [Name, Value] : Info.IntIdents)
            if (SameText(Name, V.Text)) {
              X = Value;
              Found = true;
              break;
            }
          if (!Found) InvalidValue(P, "Integer");
        } else {
          InvalidValue(P, "Integer");
        }
        if (X < Info.MinValue || X > Info.MaxValue)
          PropertyError(V.Line,
                        "Value " + std::to_string(X) + " out of range for property " + P.Name);
        Info.SetOrd(Obj, X);
        return;
      }
      case TPropKind::pkBoolean:
        if (V.Kind == TDescValueKind::dvIdent && SameText(V.Text, "True"))
          Info.SetOrd(Obj, 1);
        else if (V.Kind == TDescValueKind::dvIdent && SameText(V.Text, "False"))
          Info.SetOrd(Obj, 0);
        else
          InvalidValue(P, "True or False");
        return;
      case TPropKind::pkString:
        if (V.Kind != TDescValueKind::dvString) InvalidValue(P, "String");
        Info.SetStr(Obj, V.Text);
        return;
      case TPropKind::pkEnumeration: {
        const int Ord =
            V.Kind == TDescValueKind::dvIdent ? IndexOfName(Info.ValueNames, V.Text) : -1;
        if (Ord < 0) InvalidValue(P, "One of " + JoinNames(Info.ValueNames));
        Info.SetOrd(Obj, Ord);
        return;
      }
      case TPropKind::pkSet: {
        if (V.Kind != TDescValueKind::dvSet) InvalidValue(P, "Set");
        uint64_t Mask = 0;
        for (const std::string& Item : V.Items) {
          const int Ord = IndexOfName(Info.ValueNames, Item);
          if (Ord < 0)
            PropertyError(V.Line, "Invalid set element " + Item + " for property " + P.Name);
          Mask |= uint64_t{1} << Ord;
        }
        Info.SetOrd(Obj, static_cast<int64_t>(Mask));
        return;
      }
      case TPropKind::pkClass:
        InvalidValue(P, "Sub-property");
      case TPropKind::pkComponent:
        if (V.Kind != TDescValueKind::dvIdent) InvalidValue(P, "Component name");
        if (SameText(V.Text, "nil"))
          Info.SetComponent(Obj, nullptr);
        else
          FFixups.push_back({&Obj, &Info, V.Text, V.Line});
        return;
      case TPropKind::pkEvent: {
        if (V.Kind != TDescValueKind::dvIdent) InvalidValue(P, "Method name");
        if (SameText(V.Text, "nil")) {
          Info.ClearEvent(Obj);
          return;
        }
        const std::any* Method = FRoot->FindMethod(V.Text);
        if (Method == nullptr)
          PropertyError(V.Line,
                        "Method " + V.Text + " of " + FRoot->ClassName() + " does not exist");
        if (!Info.BindEvent(Obj, V.Text, *Method))
          PropertyError(V.Line, "Method " + V.Text + " does not match the type of event " + P.Name);
        return;
      }
    }
  }

  static std::string JoinNames(const std::vector<std::string>& Names) {
    std::string S;
    for (const std::string& N : Names) S += (S.empty() ? "" : ", ") + N;
    return S;
  }

  void ResolveFixups() {
    for (const TFixup& F : FFixups) {
      TComponent* C = nullptr;
      if (!FRoot->Name().empty() && SameText(F.Name, FRoot->Name()))
        C = FRoot;
      else
        C = FRoot->FindComponent(F.Name);
      if (C == nullptr) PropertyError(F.Line, "Component " + F.Name + " not found");
      if (!F.Prop->AcceptsComponent(C))
        PropertyError(F.Line, "Component " + F.Name + " (" + C->ClassName() +
                                  ") does not fit property " + F.Prop->Name);
      F.Prop->SetComponent(*F.Instance, C);
    }
  }

  TComponent* FRoot;
  std::vector<TComponent*> FCreated;
  std::vector<TFixup> FFixups;
};

// ---- Writing ----

bool IsValidUtf8(const std::string& S) {
  size_t I = 0;
  while (I < S.size()) {
    const auto C = static_cast<unsigned char>(S[I]);
    size_t Len = 0;
    uint32_t Code = 0;
    if (C < 0x80) {
      ++I;
      continue;
    } else if ((C & 0xE0) == 0xC0) {
      Len = 2;
      Code = C & 0x1F;
    } else if ((C & 0xF0) == 0xE0) {
      Len = 3;
      Code = C & 0x0F;
    } else if ((C & 0xF8) == 0xF0) {
      Len = 4;
      Code = C & 0x07;
    } else {
      return false;
    }
    if (I + Len > S.size()) return false;
    for (size_t K = 1; K < Len; ++K) {
      const auto D = static_cast<unsigned char>(S[I + K]);
      if ((D & 0xC0) != 0x80) return false;
      Code = (Code << 6) | (D & 0x3F);
    }
    if ((Len == 2 && Code < 0x80) || (Len == 3 && Code < 0x800) || (Len == 4 && Code < 0x10000) ||
        Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF))
      return false;
    I += Len;
  }
  return true;
}

// One piece of a string: quoted runs of printable text, #nnn for the other bytes (and for
// bytes above 127 unless the whole string is UTF-8 text, which stays readable).
std::string QuotePiece(const std::string& S, bool RawHigh) {
  std::string R;
  bool InQuote = false;
  for (unsigned char C : S) {
    const bool Printable = (C >= 32 && C < 127) || (C >= 128 && RawHigh);
    if (Printable) {
      if (!InQuote) R += '\'';
      InQuote = true;
      if (C == '\'') R += '\'';
      R += static_cast<char>(C);
    } else {
      if (InQuote) R += '\'';
      InQuote = false;
      R += '#' + std::to_string(C);
    }
  }
  if (InQuote) R += '\'';
  if (R.empty()) R = "''";
  return R;
}

constexpr size_t StringLineBytes = 64;
constexpr size_t BinaryLineDigits = 64;
constexpr int MaxSubObjectDepth = 16;

class TFormWriter;

class TWriterFiler : public TFiler {
 public:
  TWriterFiler(TFormWriter& Writer, TPersistent* Ancestor, std::string Prefix, int Indent)
      : FWriter(Writer), FPrefix(std::move(Prefix)), FIndent(Indent) {
    FAncestor = Ancestor;
  }
  void DefineBinaryProperty(const std::string& Name, TStreamProc, TStreamProc WriteData,
                            bool HasData) override;

 private:
  TFormWriter& FWriter;
  std::string FPrefix;
  int FIndent;
};

class TFormWriter {
 public:
  TFormWriter(TComponent* Root, TComponent* AncestorRoot) : FRoot(Root), FAncRoot(AncestorRoot) {}

  std::string Write() {
    WriteComponent(FRoot, FAncRoot, 0, 0);
    return std::move(FOut);
  }

  void WriteBinary(const std::string& Name, const std::vector<uint8_t>& Bytes, int Indent) {
    static const char Hex[] = "0123456789ABCDEF";
    Line(Indent, Name + " = {");
    if (Bytes.empty()) {
      FOut += "}\n";
      return;
    }
    FOut += '\n';
    const size_t PerLine = BinaryLineDigits / 2;
    for (size_t I = 0; I < Bytes.size(); I += PerLine) {
      std::string L;
      for (size_t K = I; K < Bytes.size() && K < I + PerLine; ++K) {
        L += Hex[Bytes[K] >> 4];
        L += Hex[Bytes[K] & 15];
      }
      Line(Indent + 2, L);
      FOut += I + PerLine >= Bytes.size() ? "}\n" : "\n";
    }
  }

 private:
  void Line(int Indent, const std::string& Text) {
    FOut.append(static_cast<size_t>(Indent), ' ');
    FOut += Text;
  }

  void WriteComponent(TComponent* C, TComponent* Anc, int Indent, int Depth) {
    if (Depth > MaxDescNesting)
      throw EWriteError("Components nested too deeply to write (" + C->ClassName() + ")");
    Line(Indent, "object " + (C->Name().empty() ? "" : C->Name() + ": ") + C->ClassName());
    FOut += '\n';
    WriteProperties(*C, Anc, "", Indent + 2, 0);
    C->GetChildren(
        [&](TComponent* Child) {
          TComponent* ChildAnc = FAncRoot != nullptr && !Child->Name().empty()
                                     ? FAncRoot->FindComponent(Child->Name())
                                     : nullptr;
          WriteComponent(Child, ChildAnc, Indent + 2, Depth + 1);
        },
        FRoot);
    Line(Indent, "end\n");
  }

  std::string OrdText(const TPropInfo& Info, int64_t V) {
    switch (Info.Kind) {
      case TPropKind::pkBoolean:
        return V != 0 ? "True" : "False";
      case TPropKind::pkEnumeration:
        if (V < 0 || V >= static_cast<int64_t>(Info.ValueNames.size()))
          throw EPropertyError("Value " + std::to_string(V) + " of property " + Info.Name +
                               " has no name");
        return Info.ValueNames[static_cast<size_t>(V)];
      case TPropKind::pkSet: {
        std::string S;
        for (size_t I = 0; I < Info.ValueNames.size(); ++I)
          if ((static_cast<uint64_t>(V) >> I) & 1u)
            S += (S.empty() ? "" : ", ") + Info.ValueNames[I];
        return "[" + S + "]";
      }
      default:
        for (const auto& [Name, Value] : Info.IntIdents)
          if (Value == V) return Name;
        return std::to_string(V);
    }
  }

  std::string StringText(const std::string& S, int Indent) {
    const bool RawHigh = IsValidUtf8(S);
    if (S.size() <= StringLineBytes) return QuotePiece(S, RawHigh);
    std::string R;
    size_t I = 0;
    while (I < S.size()) {
      size_t End = std::min(S.size(), I + StringLineBytes);
      // Keep a UTF-8 character on one line.
      if (RawHigh)
        while (End < S.size() && End > I + 1 && (static_cast<unsigned char>(S[End]) & 0xC0) == 0x80)
          --End;
      if (!R.empty()) {
        R += " +\n";
        R.append(static_cast<size_t>(Indent + 2), ' ');
      }
      R += QuotePiece(S.substr(I, End - I), RawHigh);
      I = End;
    }
    return R;
  }

  // The name under which a referenced component can be written, or "" when it cannot.
  std::string ReferenceName(TComponent* C) const {
    if (C == nullptr || C->Name().empty()) return "";
    if (C == FRoot || C->Owner() == FRoot) return C->Name();
    return "";
  }

  void WriteProperties(TPersistent& Obj, TPersistent* Anc, const std::string& Prefix, int Indent,
                       int Depth) {
    if (Depth > MaxSubObjectDepth)
      throw EWriteError("Sub-objects nested too deeply to write (" + Prefix + ")");
    for (const TPropInfo& Info : GetPropList(Obj)) {
      if (Info.Stored && !Info.Stored(Obj)) continue;
      const TPropInfo* AncInfo = Anc != nullptr ? GetPropInfo(*Anc, Info.Name) : nullptr;
      if (AncInfo != nullptr && AncInfo->Kind != Info.Kind) AncInfo = nullptr;
      const std::string Name = Prefix + Info.Name;
      switch (Info.Kind) {
        case TPropKind::pkInteger:
        case TPropKind::pkBoolean:
        case TPropKind::pkEnumeration:
        case TPropKind::pkSet: {
          const int64_t V = Info.GetOrd(Obj);
          if (AncInfo != nullptr) {
            if (AncInfo->GetOrd(*Anc) == V) continue;
          } else if (Info.HasDefault ? V == Info.OrdDefault
                                     : (Info.Kind == TPropKind::pkSet && V == 0)) {
            continue;
          }
          Line(Indent, Name + " = " + OrdText(Info, V) + "\n");
          break;
        }
        case TPropKind::pkString: {
          const std::string V = Info.GetStr(Obj);
          if (AncInfo != nullptr) {
            if (AncInfo->GetStr(*Anc) == V) continue;
          } else if (Info.HasDefault ? V == Info.StrDefault : V.empty()) {
            continue;
          }
          Line(Indent, Name + " = " + StringText(V, Indent) + "\n");
          break;
        }
        case TPropKind::pkClass: {
          TPersistent* Sub = Info.GetObject(Obj);
          if (Sub == nullptr) continue;
          TPersistent* AncSub = AncInfo != nullptr ? AncInfo->GetObject(*Anc) : nullptr;
          WriteProperties(*Sub, AncSub, Name + ".", Indent, Depth + 1);
          break;
        }
        case TPropKind::pkComponent: {
          const std::string Ref = ReferenceName(Info.GetComponent(Obj));
          if (Ref.empty()) continue;
          if (AncInfo != nullptr) {
            TComponent* A = AncInfo->GetComponent(*Anc);
            if (A != nullptr && SameText(A->Name(), Ref)) continue;
          }
          Line(Indent, Name + " = " + Ref + "\n");
          break;
        }
        case TPropKind::pkEvent: {
          const std::string Method = Info.EventMethodName(Obj);
          if (Method.empty()) continue;
          if (AncInfo != nullptr && SameText(AncInfo->EventMethodName(*Anc), Method)) continue;
          Line(Indent, Name + " = " + Method + "\n");
          break;
        }
      }
    }
    TWriterFiler Filer(*this, Anc, Prefix, Indent);
    Obj.DefineProperties(Filer);
  }

  TComponent* FRoot;
  TComponent* FAncRoot;
  std::string FOut;
};

void TWriterFiler::DefineBinaryProperty(const std::string& Name, TStreamProc, TStreamProc WriteData,
                                        bool HasData) {
  if (!HasData || !WriteData) return;
  TMemoryStream Data;
  WriteData(Data);
  FWriter.WriteBinary(FPrefix + Name, Data.Bytes(), FIndent);
}

std::string ReadAll(TStream& Stream) {
  const int64_t Size = Stream.Size() - Stream.Position();
  std::string Text;
  if (Size <= 0) return Text;
  Text.resize(static_cast<size_t>(Size));
  Stream.ReadBuffer(Text.data(), Size);
  return Text;
}

}  // namespace

void ReadFormDescription(const std::string& Text, TComponent* Root) {
  if (Root == nullptr) throw EComponentError("No root component to read into");
  const std::unique_ptr<TDescObject> Desc = ParseFormDescription(Text);
  TFormReader(Root).Read(*Desc);
}

void ReadFormDescription(TStream& Stream, TComponent* Root) {
  ReadFormDescription(ReadAll(Stream), Root);
}

TComponent* CreateFromFormDescription(const std::string& Text, TComponent* Owner) {
  const std::unique_ptr<TDescObject> Desc = ParseFormDescription(Text);
  TPersistentClass Class = GetClass(Desc->ClassName);
  if (Class == nullptr)
    throw EClassNotFound(LinePrefix(Desc->Line) + "Class " + Desc->ClassName + " not found");
  if (!Class->IsComponent())
    throw EClassNotFound(LinePrefix(Desc->Line) + "Class " + Desc->ClassName +
                         " is not a component class");
  std::unique_ptr<TComponent> Root(Class->CreateComponent(Owner));
  if (Root == nullptr)
    throw EComponentError(LinePrefix(Desc->Line) + "Class " + Desc->ClassName + " created nothing");
  TFormReader(Root.get()).Read(*Desc);
  return Root.release();
}

std::unique_ptr<TComponent> CreateFromFormDescription(const std::string& Text) {
  return std::unique_ptr<TComponent>(CreateFromFormDescription(Text, nullptr));
}

std::string WriteFormDescription(TComponent* Root, TComponent* Ancestor) {
  if (Root == nullptr) throw EComponentError("No root component to write");
  return TFormWriter(Root, Ancestor).Write();
}

void WriteFormDescription(TStream& Stream, TComponent* Root, TComponent* Ancestor) {
  const std::string Text = WriteFormDescription(Root, Ancestor);
  Stream.WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
}

}  // namespace orn
