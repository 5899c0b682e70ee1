// The memory a build of many records may take: multi-controlled walks,
// controlled copies and repetitions all count what they will make and check
// it against this one budget before they make any of it.
#pragma once

#include <cstdint>

#include "circuit/instruction.h"

namespace velorin {

// Sums and products of byte counts that stop at the largest value instead of
// wrapping; a saturated figure never fits.
uint64_t SaturatingAdd(uint64_t a, uint64_t b);
uint64_t SaturatingMul(uint64_t a, uint64_t b);

// Heap bytes of one record with a matrix of `matrix_entries` entries (0 for a
// composite), `num_qubits` qubits, `num_params` angles and a name of
// `name_size` characters: its block shared with the control block, each
// separately allocated member as the allocator rounds it, and its slot in a
// list.
uint64_t RecordBytes(uint64_t matrix_entries, uint64_t num_qubits, uint64_t num_params,
                     uint64_t name_size);

// One step of a gate decomposition: a two-qubit record, its matrix included.
uint64_t StepRecordBytes(uint64_t num_params, uint64_t name_size);

// What a copy of `record` alone takes (its sub-records not included).
uint64_t CopyBytes(const Instruction& record);

// What a copy of every record of `list`, at every depth, takes.
uint64_t CopyBytes(const InstructionList& list);

// Whether a build of `bytes` more stays within a share of the memory
// available now, so that the machine keeps room for the run; builds below a
// few megabytes never consult the system.
bool BuildFits(uint64_t bytes);

// Throws the allocation failure, before anything is built, when `bytes` do
// not fit.
void RequireBuildFits(uint64_t bytes);

}  // namespace velorin
