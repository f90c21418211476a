// The root classes: TObject, TPersistent (copyable by Assign), events, the list index error
// and TSharedImage (intrusively reference-counted holder of heavy data).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orn {

class TFiler;
class TPropertyList;

class TObject {
 public:
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }

  // Copies Source into this object. The default lets Source try AssignTo; a source that
  // knows nothing of this class (or nil) raises the assignment error.
  virtual void Assign(TPersistent* Source);

  // Lets the object store data the published properties do not cover (a graphic's binary
  // "Data", for example). The form reader and writer call it after the published properties.
  virtual void DefineProperties(TFiler& Filer);

  // Describes the published properties of this class (see core/properties.h). An override
  // first calls its base class's, then appends its own, so subclasses inherit the list; the
  // list is built once per class, so it must not depend on the instance's state.
  virtual void DeclareProperties(TPropertyList& Props) const;

  // Raises EConvertError "Cannot assign a <source class> to a <this class>".
  [[noreturn]] void AssignError(TPersistent* Source) const;

 protected:
  // Copies this object into Dest; the default raises Dest's assignment error.
  virtual void AssignTo(TPersistent* Dest);
};

// Raises EListError "List index out of bounds (N)".
[[noreturn]] void ListIndexError(int64_t Index);

// Heavy data shared between objects by reference count. The count starts at 0; the object
// that takes the holder calls Reference, the one that lets go calls Release, which frees the
// holder (after FreeHandle) when the count returns to 0.
class TSharedImage {
 public:
  TSharedImage() = default;
  TSharedImage(const TSharedImage&) = delete;
  TSharedImage& operator=(const TSharedImage&) = delete;

  void Reference() { ++FRefCount; }
  void Release();
  int RefCount() const { return FRefCount; }

 protected:
  virtual ~TSharedImage() = default;
  virtual void FreeHandle() = 0;

 private:
  int FRefCount = 0;
};

// Points Holder at Source: the reference to Source is taken before the old holder is let go,
// so sharing a holder with itself is safe. Holder may be nil.
template <class T>
void ReplaceSharedImage(T*& Holder, T* Source) {
  Source->Reference();
  if (Holder != nullptr) Holder->Release();
  Holder = Source;
}

}  // namespace orn
