#include "circuit/record_budget.h"

#include <complex>
#include <limits>
#include <memory>

#include "circuit/instruction.h"
#include "platform/memory.h"

namespace velorin {

namespace {

constexpr uint64_t kAllocationOverhead = 32;
// Half of what is free: the run that follows needs room too.
constexpr uint64_t kShareDivisor = 2;
constexpr uint64_t kAlwaysAffordableBytes = uint64_t{64} << 20;

}  // namespace

uint64_t RecordBytes(uint64_t num_qubits, uint64_t num_params, uint64_t name_size) {
  const uint64_t dim = num_qubits < 8 ? (uint64_t{1} << num_qubits) : 256;
  // The record and its shared-pointer control block, its handle in a list,
  // then each separately allocated member.
  return sizeof(Instruction) + 2 * sizeof(void*) + sizeof(InstructionPtr) +
         dim * dim * sizeof(std::complex<double>) + num_qubits * sizeof(uint64_t) +
         num_params * sizeof(double) + name_size + 5 * kAllocationOverhead;
}

uint64_t RecordBudget(uint64_t record_bytes) {
  if (record_bytes == 0) record_bytes = 1;
  const uint64_t available = platform::AvailablePhysicalMemory();
  // Nothing readable: do not refuse what may well fit.
  if (available == 0) return std::numeric_limits<uint64_t>::max();
  const uint64_t share = available / kShareDivisor;
  const uint64_t floor = kAlwaysAffordableBytes / record_bytes;
  const uint64_t budget = share / record_bytes;
  return budget > floor ? budget : floor;
}

bool RecordsFit(uint64_t records, uint64_t record_bytes) {
  if (record_bytes == 0) record_bytes = 1;
  if (records <= kAlwaysAffordableBytes / record_bytes) return true;
  return records <= RecordBudget(record_bytes);
}

}  // namespace velorin
