// Exceptions and wide-string conversions shared by the whole program.
#pragma once

#include <exception>
#include <string>

#include "platform/base/types.h"

// Every exception of the program derives from Exception and carries its text.
class Exception : public std::exception {
 public:
  explicit Exception(const WideString& Msg);
  explicit Exception(const char* Utf8Msg);
  explicit Exception(const std::string& Utf8Msg) : Exception(Utf8Msg.c_str()) {}
  ~Exception() override = default;
  const WideString& Message() const { return FMessage; }
  void SetMessage(const WideString& Msg);
  const char* what() const noexcept override { return FUtf8.c_str(); }

 private:
  WideString FMessage;
  std::string FUtf8;
};

#define GT_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {             \
   public:                               \
    using Base::Base;                    \
  };

GT_DECLARE_EXCEPTION(EAbort, Exception)
GT_DECLARE_EXCEPTION(EConvertError, Exception)
GT_DECLARE_EXCEPTION(EOutOfMemory, Exception)
GT_DECLARE_EXCEPTION(EInOutError, Exception)
GT_DECLARE_EXCEPTION(EStreamError, Exception)
GT_DECLARE_EXCEPTION(EReadError, EStreamError)
GT_DECLARE_EXCEPTION(EWriteError, EStreamError)
GT_DECLARE_EXCEPTION(EFCreateError, EStreamError)
GT_DECLARE_EXCEPTION(EFOpenError, EStreamError)
GT_DECLARE_EXCEPTION(EListError, Exception)
GT_DECLARE_EXCEPTION(EStringListError, Exception)
GT_DECLARE_EXCEPTION(EInvalidOperation, Exception)
GT_DECLARE_EXCEPTION(EInvalidPointer, Exception)
GT_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
GT_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)
GT_DECLARE_EXCEPTION(EOSError, Exception)
GT_DECLARE_EXCEPTION(EThread, Exception)
GT_DECLARE_EXCEPTION(ERangeError, Exception)
GT_DECLARE_EXCEPTION(EDivByZero, Exception)
GT_DECLARE_EXCEPTION(EAccessViolation, Exception)
GT_DECLARE_EXCEPTION(ENotSupportedException, Exception)
GT_DECLARE_EXCEPTION(EComponentError, Exception)
GT_DECLARE_EXCEPTION(EAssertionFailed, Exception)

// The system's text for an errno value.
WideString SysErrorMessage(int ErrorCode);

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD, never an exception.
WideString Utf8ToWide(const std::string& s);
std::string WideToUtf8(const WideString& s);
// Shorthand for literals in ports: W("text").
inline WideString W(const char* utf8) { return Utf8ToWide(utf8); }
