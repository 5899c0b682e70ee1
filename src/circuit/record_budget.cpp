#include "circuit/record_budget.h"

#include <algorithm>
#include <complex>
#include <limits>
#include <string>

#include "circuit/errors.h"
#include "platform/memory.h"

namespace velorin {

namespace {

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

// Half of what is available: the run that follows needs room too.
constexpr uint64_t kShareDivisor = 2;
constexpr uint64_t kAlwaysAffordableBytes = uint64_t{64} << 20;

// A heap block of `bytes` as the allocator hands it out: a header word,
// steps of 16 bytes, 32 at least; nothing for an empty request. Records are
// small blocks, so this rounding is a large part of their cost.
uint64_t Block(uint64_t bytes) {
  if (bytes == 0) return 0;
  if (bytes > kMax - 32) return kMax;
  return std::max<uint64_t>((bytes + 8 + 15) & ~uint64_t{15}, 32);
}

// Strings keep up to 15 characters in place.
uint64_t TextBlock(uint64_t size) { return size <= 15 ? 0 : Block(SaturatingAdd(size, 1)); }

template <class T>
uint64_t VectorBlock(uint64_t count) {
  return Block(SaturatingMul(count, sizeof(T)));
}

}  // namespace

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > kMax - b ? kMax : a + b; }

uint64_t SaturatingMul(uint64_t a, uint64_t b) {
  return (b != 0 && a > kMax / b) ? kMax : a * b;
}

uint64_t RecordBytes(uint64_t matrix_entries, uint64_t num_qubits, uint64_t num_params,
                     uint64_t name_size) {
  // The record shares its block with the shared pointer's control block.
  uint64_t bytes = Block(sizeof(Instruction) + 2 * sizeof(void*));
  bytes = SaturatingAdd(bytes, VectorBlock<std::complex<double>>(matrix_entries));
  bytes = SaturatingAdd(bytes, VectorBlock<uint64_t>(num_qubits));
  bytes = SaturatingAdd(bytes, VectorBlock<double>(num_params));
  bytes = SaturatingAdd(bytes, TextBlock(name_size));
  return SaturatingAdd(bytes, sizeof(InstructionPtr));
}

uint64_t StepRecordBytes(uint64_t num_params, uint64_t name_size) {
  return RecordBytes(16, 2, num_params, name_size);
}

uint64_t CopyBytes(const Instruction& record) {
  uint64_t bytes = RecordBytes(static_cast<uint64_t>(record.matrix.size()), record.qubits.size(),
                               record.params.size(), record.name.size());
  bytes = SaturatingAdd(bytes, VectorBlock<uint64_t>(record.clbits.size()));
  bytes = SaturatingAdd(bytes, VectorBlock<std::string>(record.sub_names.size()));
  for (const std::string& name : record.sub_names) {
    bytes = SaturatingAdd(bytes, TextBlock(name.size()));
  }
  bytes = SaturatingAdd(bytes, TextBlock(record.condition_register.name.size()));
  return SaturatingAdd(bytes, VectorBlock<int64_t>(record.condition_register.qubits.size()));
}

uint64_t CopyBytes(const InstructionList& list) {
  uint64_t bytes = 0;
  VisitRecordTree(list, [&](const Instruction& record) {
    bytes = SaturatingAdd(bytes, CopyBytes(record));
    return true;
  });
  return bytes;
}

bool BuildFits(uint64_t bytes) {
  if (bytes <= kAlwaysAffordableBytes) return true;
  if (bytes == kMax) return false;
  const uint64_t available = platform::AvailablePhysicalMemory();
  // Nothing readable: do not refuse what may well fit.
  if (available == 0) return true;
  return bytes <= available / kShareDivisor;
}

void RequireBuildFits(uint64_t bytes) {
  if (!BuildFits(bytes)) throw MemoryAllocError();
}

}  // namespace velorin
