// Registers name contiguous ranges of global qubit or classical-bit indices.
// A register made by the host takes its start from a process-wide running
// counter and gives its size back when it dies; a register a circuit creates
// or copies is detached from the counters (circuits never give sizes back).
#pragma once

#include <cstdint>
#include <string>

namespace velorin {

// Process-wide counters; every caller holds the interpreter lock.
extern int32_t gNextQubitIndex;
extern int32_t gNextAncillaIndex;
extern int32_t gNextClbitIndex;
extern int32_t gQregNameCounter;
extern int32_t gAncillaNameCounter;
extern int32_t gCregNameCounter;

// Sizes are unchecked ints; arithmetic on the counters and indices wraps.
inline int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
// Unsigned too, so that giving back the most negative size is defined.
inline int32_t WrappingSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

template <int32_t* Counter, char Prefix>
class Register {
 public:
  Register(int32_t size, std::string name) : size_(size), name_(std::move(name)) {
    start_ = *Counter;
    *Counter = WrappingAdd(*Counter, size);
  }
  // A register restored from its byte form: like a copy, never counted.
  struct RestoreTag {};
  Register(int32_t size, std::string name, int32_t start, RestoreTag)
      : size_(size), name_(std::move(name)), start_(start), counted_(false) {}
  // A copy stands for the same range but never moves the counter.
  Register(const Register& other)
      : size_(other.size_), name_(other.name_), start_(other.start_), counted_(false) {}
  Register& operator=(const Register& other) {
    size_ = other.size_;
    name_ = other.name_;
    start_ = other.start_;
    return *this;
  }
  ~Register() {
    if (counted_) *Counter = WrappingSub(*Counter, size_);
  }

  int32_t size() const { return size_; }
  std::string name() const { return name_; }
  static char prefix() { return Prefix; }
  int32_t start() const { return start_; }
  int32_t operator[](int32_t offset) const { return WrappingAdd(start_, offset); }

  void set_start(int32_t start) { start_ = start; }
  void set_name(std::string name) { name_ = std::move(name); }
  // The circuit keeps the registers it makes for the life of their circuits.
  void Detach() { counted_ = false; }

 private:
  int32_t size_;
  std::string name_;
  int32_t start_ = 0;
  bool counted_ = true;
};

using QuantumRegister = Register<&gNextQubitIndex, 'q'>;
using AncillaRegister = Register<&gNextAncillaIndex, 'a'>;
using ClassicalRegister = Register<&gNextClbitIndex, 'c'>;

}  // namespace velorin
