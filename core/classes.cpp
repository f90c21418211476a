#include "core/classes.h"

#include "core/exceptions.h"

namespace orn {

void TPersistent::Assign(TPersistent* Source) {
  if (Source != nullptr) {
    Source->AssignTo(this);
    return;
  }
  AssignError(nullptr);
}

void TPersistent::DefineProperties(TFiler&) {}

void TPersistent::DeclareProperties(TPropertyList&) const {}

void TPersistent::AssignTo(TPersistent* Dest) {
  if (Dest == nullptr) throw EConvertError("Cannot assign a " + ClassName() + " to a nil");
  Dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* Source) const {
  const std::string From = Source != nullptr ? Source->ClassName() : std::string("nil");
  throw EConvertError("Cannot assign a " + From + " to a " + ClassName());
}

void ListIndexError(int64_t Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void TSharedImage::Release() {
  if (FRefCount > 0) --FRefCount;
  if (FRefCount == 0) {
    FreeHandle();
    delete this;
  }
}

}  // namespace orn
