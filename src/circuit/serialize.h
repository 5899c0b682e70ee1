// The versioned byte form of circuits and registers, behind pickling and deep
// copies. The decoders check every field against the bytes left and against
// what the rest of the program assumes of a circuit, so no byte string can
// make a circuit that later reads out of range.
#pragma once

#include <complex>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

// Bytes that do not decode. An invalid_argument, so the host sees ValueError.
class DecodeError : public std::invalid_argument {
 public:
  explicit DecodeError(const std::string& what) : std::invalid_argument(what) {}
};

// Little-endian fields, whatever the host's byte order.
class ByteWriter {
 public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U32(uint32_t v) { Fixed(v, 4); }
  void U64(uint64_t v) { Fixed(v, 8); }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void I64(int64_t v) { U64(static_cast<uint64_t>(v)); }
  void F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U64(bits);
  }
  void C128(std::complex<double> v) {
    F64(v.real());
    F64(v.imag());
  }
  void Bool(bool v) { U8(v ? 1 : 0); }
  void Str(const std::string& s) {
    U64(s.size());
    out_ += s;
  }
  void Raw(const std::string& s) { out_ += s; }
  template <class T, class Put>
  void List(const std::vector<T>& items, Put put) {
    U64(items.size());
    for (const T& item : items) put(*this, item);
  }
  std::string Take() { return std::move(out_); }

 private:
  void Fixed(uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  }
  std::string out_;
};

class ByteReader {
 public:
  ByteReader(const std::string& bytes, std::string what)
      : data_(bytes.data()), size_(bytes.size()), what_(std::move(what)) {}

  [[noreturn]] void Fail(const std::string& why) const {
    throw DecodeError("cannot restore the " + what_ + ": " + why);
  }
  size_t left() const { return size_ - at_; }
  bool done() const { return at_ == size_; }

  uint8_t U8() {
    Need(1);
    return static_cast<uint8_t>(data_[at_++]);
  }
  uint32_t U32() { return static_cast<uint32_t>(Fixed(4)); }
  uint64_t U64() { return Fixed(8); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  int64_t I64() { return static_cast<int64_t>(U64()); }
  double F64() {
    const uint64_t bits = U64();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  std::complex<double> C128() {
    const double re = F64();
    return {re, F64()};
  }
  bool Bool() {
    const uint8_t v = U8();
    if (v > 1) Fail("a flag holds " + std::to_string(v));
    return v == 1;
  }
  std::string Str() {
    const uint64_t n = Count(1);
    std::string s(data_ + at_, static_cast<size_t>(n));
    at_ += static_cast<size_t>(n);
    return s;
  }
  // A count of items of at least `min_item_bytes` each: never more than the
  // bytes left can hold, so no length makes an allocation the bytes cannot back.
  uint64_t Count(uint64_t min_item_bytes) {
    const uint64_t n = U64();
    if (min_item_bytes != 0 && n > left() / min_item_bytes) Fail("a length runs past the end");
    return n;
  }
  template <class T, class Get>
  std::vector<T> List(uint64_t min_item_bytes, Get get) {
    const uint64_t n = Count(min_item_bytes);
    std::vector<T> items;
    items.reserve(static_cast<size_t>(n));
    for (uint64_t i = 0; i < n; ++i) items.push_back(get(*this));
    return items;
  }
  // The magic and version of a byte form; anything else is refused.
  void Header(const char* magic, uint32_t version) {
    Need(4);
    if (std::memcmp(data_ + at_, magic, 4) != 0) Fail("these bytes are not its byte form");
    at_ += 4;
    const uint32_t found = U32();
    if (found != version) {
      Fail("byte form version " + std::to_string(found) + " is not supported (this module reads version " +
           std::to_string(version) + ")");
    }
  }
  void End() const {
    if (!done()) Fail("bytes are left over after the end");
  }

 private:
  void Need(size_t n) const {
    if (left() < n) Fail("the bytes end early");
  }
  uint64_t Fixed(int bytes) {
    Need(static_cast<size_t>(bytes));
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      v |= uint64_t{static_cast<uint8_t>(data_[at_ + static_cast<size_t>(i)])} << (8 * i);
    }
    at_ += static_cast<size_t>(bytes);
    return v;
  }

  const char* data_;
  size_t size_;
  size_t at_ = 0;
  std::string what_;
};

inline constexpr uint32_t kCircuitFormatVersion = 1;
inline constexpr uint32_t kRegisterFormatVersion = 1;

std::string EncodeCircuit(const QuantumCircuit& circuit);
// A new circuit that has everything the encoded one had and shares nothing
// with it; it takes no name from the process's counter.
std::unique_ptr<QuantumCircuit> DecodeCircuit(const std::string& bytes);

// The circuit body inside another byte form (a result's executed circuit).
void WriteCircuitBody(ByteWriter& w, const QuantumCircuit& circuit);
std::unique_ptr<QuantumCircuit> ReadCircuitBody(ByteReader& r);

// Registers: size, name and start. A restored register stands for the same
// range and, like a copy, never moves the process's counters.
template <class R>
std::string EncodeRegister(const R& reg);
template <class R>
std::unique_ptr<R> DecodeRegister(const std::string& bytes);

}  // namespace velorin
