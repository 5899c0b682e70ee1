// The memory a build of many records may take: loads, multi-controlled walks,
// controlled copies and repetitions all check against this one budget.
#pragma once

#include <cstdint>

namespace velorin {

// Heap bytes of one leaf record on `num_qubits` qubits with `num_params`
// angles and a name of `name_size` characters, its matrix, its handle and the
// allocator's overheads included.
uint64_t RecordBytes(uint64_t num_qubits, uint64_t num_params, uint64_t name_size);

// The most records of `record_bytes` each that one build may create: a share of
// the memory available now, so that the machine keeps room for the run.
uint64_t RecordBudget(uint64_t record_bytes);

// Whether `records` more records of `record_bytes` each stay within the budget;
// builds below a few megabytes never consult the system.
bool RecordsFit(uint64_t records, uint64_t record_bytes);

}  // namespace velorin
