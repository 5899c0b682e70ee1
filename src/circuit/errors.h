// The program's exceptions. None is registered with the interpreter: the
// binding library's standard translation gives RuntimeError, MemoryError and
// RuntimeError respectively.
#pragma once

#include <new>
#include <stdexcept>
#include <string>

namespace velorin {

// Everything a caller did wrong, with its exact message text.
class RunTimeError : public std::runtime_error {
 public:
  explicit RunTimeError(const std::string& message) : std::runtime_error(message) {}
};

// Same text on every platform, whatever the C++ library says for bad_alloc.
class MemoryAllocError : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

class NotImplemented : public std::logic_error {
 public:
  explicit NotImplemented(const std::string& name)
      : std::logic_error("Function '" + name + "' is not implemented.") {}
};

// std::out_of_range with a fixed text, independent of the C++ library.
class InvalidStringPosition : public std::out_of_range {
 public:
  InvalidStringPosition() : std::out_of_range("invalid string position") {}
};

inline constexpr const char* kInvalidGateParameter =
    "Invalid Parameter passed to the gate instruction.";

}  // namespace velorin
