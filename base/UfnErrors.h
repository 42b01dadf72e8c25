// The error classes of the core. Each carries the message text that the user is shown.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

#define ORLENWAY_ERROR_CLASS(Name, Base)                                                           \
  class Name : public Base {                                                                       \
  public:                                                                                          \
    explicit Name(const std::string& message) : Base(message) {}                                   \
  };

ORLENWAY_ERROR_CLASS(EStreamError, Exception)
ORLENWAY_ERROR_CLASS(EFOpenError, EStreamError)
ORLENWAY_ERROR_CLASS(EFCreateError, EStreamError)
ORLENWAY_ERROR_CLASS(EWriteError, EStreamError)
ORLENWAY_ERROR_CLASS(EReadError, EStreamError)
ORLENWAY_ERROR_CLASS(EParserError, Exception)
ORLENWAY_ERROR_CLASS(EConvertError, Exception)
ORLENWAY_ERROR_CLASS(EClassNotFound, EStreamError)
ORLENWAY_ERROR_CLASS(EComponentError, Exception)
ORLENWAY_ERROR_CLASS(EListError, Exception)
ORLENWAY_ERROR_CLASS(EInOutError, Exception)

#undef ORLENWAY_ERROR_CLASS

// printf-style formatting of the message texts.
template <typename... Args> std::string Format(const char* fmt, Args... args) {
  int n = std::snprintf(nullptr, 0, fmt, args...);
  if (n <= 0) return fmt;
  std::string s(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), fmt, args...);
  s.resize(static_cast<size_t>(n));
  return s;
}
