// TFiler: what a persistent object sees of the form reader or writer in DefineProperties.
#pragma once

#include <functional>
#include <string>

#include "core/classes.h"
#include "core/stream.h"

namespace orn {

class TFiler {
 public:
  using TStreamProc = std::function<void(TStream& Stream)>;
  virtual ~TFiler() = default;

  // A property the object reads and writes itself as binary data. The reader calls ReadData
  // with a stream holding the stored bytes when Name appears; the writer calls WriteData with
  // an empty stream to fill, and only when HasData is true.
  virtual void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData,
                                    TStreamProc WriteData, bool HasData) = 0;

  // While writing: the corresponding object of the ancestor being compared against (so that a
  // has-data test can leave out data equal to the ancestor's), or nil. Nil while reading.
  TPersistent* Ancestor() const { return FAncestor; }

 protected:
  TPersistent* FAncestor = nullptr;
};

}  // namespace orn
