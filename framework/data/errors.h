#pragma once
// Exceptions of the framework.
//
// EAbort is the silent abort: it unwinds to the event loop without a message
// (the message, if any, was shown before it was thrown). fw::Error carries a
// Portuguese sentence fit to show the user; the guard around every entry from
// Qt into module code shows it and swallows it.

#include <QString>

#include <exception>
#include <stdexcept>

namespace fw {

class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "EAbort"; }
};

// Throws EAbort.
[[noreturn]] void Abort();

class Error : public std::runtime_error {
 public:
  explicit Error(const QString& message)
      : std::runtime_error(message.toStdString()), message_(message) {}
  const QString& message() const noexcept { return message_; }

 private:
  QString message_;
};

}  // namespace fw
