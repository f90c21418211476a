// The exception hierarchy of the system. Every failure is a C++ exception derived from
// Exception, which carries a UTF-8 message.
#pragma once

#include <stdexcept>
#include <string>

namespace orn {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
  std::string Message() const { return what(); }
};

// Raised silently: the application's error report does not show it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  explicit EAbort(const std::string& Message) : Exception(Message) {}
};

class EStreamError : public Exception {
  using Exception::Exception;
};
class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error") {}
  explicit EReadError(const std::string& Message) : EStreamError(Message) {}
};
class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
  explicit EWriteError(const std::string& Message) : EStreamError(Message) {}
};
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
  using EStreamError::EStreamError;
};

class EConvertError : public Exception {
  using Exception::Exception;
};
class EListError : public Exception {
  using Exception::Exception;
};
class EComponentError : public Exception {
  using Exception::Exception;
};
class EClassNotFound : public Exception {
  using Exception::Exception;
};
class EPropertyError : public Exception {
  using Exception::Exception;
};
// A malformed form description; the message names the line and what was expected.
class EParserError : public Exception {
  using Exception::Exception;
};
class EThread : public Exception {
  using Exception::Exception;
};

class EInvalidGraphic : public Exception {
  using Exception::Exception;
};
class EInvalidGraphicOperation : public Exception {
  using Exception::Exception;
};
class EOutOfResources : public Exception {
  using Exception::Exception;
};
class EClipboardException : public Exception {
  using Exception::Exception;
};
class ERegistryException : public Exception {
  using Exception::Exception;
};

}  // namespace orn
