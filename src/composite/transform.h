// Circuit transformations: attaching circuits and gates as composites, copies,
// counts and timings, inverse, reversals, repetition, final-measurement
// removal, to_gate and control.
//
// Every operation validates all of its input before it changes anything, so a
// failed call leaves every circuit as it was.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

using CircuitPtr = std::unique_ptr<QuantumCircuit>;

// Append and compose ------------------------------------------------------------

// Wraps `other` as one composite at the end: the lists have one entry per
// qubit (clbit) of `qc`, the first ones relabelling other's qubits (clbits).
int32_t append(QuantumCircuit& qc, const QuantumCircuit& other,
               const std::vector<int64_t>& qubits_vector, const std::vector<int64_t>& cbits_vector);
// The gate's first record as a composite; the gate's qubits are relabelled by
// their position in that record's qubit list (clbits likewise).
int32_t append(QuantumCircuit& qc, const Gate& gate, const std::vector<int64_t>& qubits_vector,
               const std::vector<int64_t>& cbits_vector);
// Always changes `qc`; returns whether the caller gets the circuit back
// (inplace false) or nothing.
bool compose(QuantumCircuit& qc, const QuantumCircuit& other, std::vector<int64_t> qubits,
             std::vector<int64_t> clbits, bool front, bool inplace);
bool compose(QuantumCircuit& qc, const Gate& gate, const std::vector<int64_t>& qubits,
             const std::vector<int64_t>& clbits, bool front, bool inplace);

// Builds other's composite from already checked maps and inserts it.
int AppendCircuitAsComposite(QuantumCircuit& qc, const QuantumCircuit& other,
                             const std::vector<int64_t>& qubit_map,
                             const std::vector<int64_t>& clbit_map, bool front);
// Appends relabelled deep copies of `source` to `target`; every index must
// have an entry in its map. Conditions follow `condition_map`; a tested
// qubit without an entry there (or with -1) can no longer be measured.
void CopyInstructionsMapped(const InstructionList& source, InstructionList& target,
                            const std::vector<int64_t>& qubit_map,
                            const std::vector<int64_t>& clbit_map,
                            const std::vector<int64_t>& condition_map);
// Whether the sub-list `a` of a composite holds the same instructions as `b`.
bool SameComposite(const InstructionList& a, const InstructionList& b);
// A condition names qubits (a bit is the last outcome of its qubit): it
// follows them through `qubit_map` like the record's own qubits. A tested
// qubit without an image keeps its number when `keep_unmapped`, else
// becomes -1, which never reads 1.
void MapCondition(Instruction& record, const std::vector<int64_t>& qubit_map, bool keep_unmapped);
// Relabels every qubit q at every depth to permutation[q], in place.
void RemapRecordQubits(InstructionList& list, const std::vector<int64_t>& permutation);

// A Gate standing for a new composite of copies of the circuit's records.
std::unique_ptr<Gate> to_gate(QuantumCircuit& qc, const std::vector<double>& param_vector,
                              const std::string& label);

// Copies, counts and queries --------------------------------------------------------

// Appends deep copies of `source` to `target`.
void CopyInstructions(const InstructionList& source, InstructionList& target);
CircuitPtr copy(const QuantumCircuit& qc, const std::string& name);
CircuitPtr copy_empty_like(const QuantumCircuit& qc, const std::string& name);
// Gate name to count, composites counted through their parts; ascending names.
std::map<std::string, int64_t> count_ops(const QuantumCircuit& qc);
int32_t cls_instances(const QuantumCircuit& qc);
std::string cls_prefix(const QuantumCircuit& qc);
// A register matches one of the circuit's registers of its kind with the same
// size, name and start index.
bool has_register(const QuantumCircuit& qc, const QuantumRegister& reg);
bool has_register(const QuantumCircuit& qc, const AncillaRegister& reg);
bool has_register(const QuantumCircuit& qc, const ClassicalRegister& reg);
int32_t num_connected_components(const QuantumCircuit& qc, bool unitary_only);
int32_t num_nonlocal_gates(const QuantumCircuit& qc);
int32_t num_unitary_factors(const QuantumCircuit& qc);
int32_t num_tensor_factors(const QuantumCircuit& qc);

// Timings of the last finished run, in whole milliseconds from its first record.
double qubit_start_time(const QuantumCircuit& qc, int32_t qubit);
double qubit_duration(const QuantumCircuit& qc, int32_t qubit);
int32_t qubit_end_time(const QuantumCircuit& qc);

// Inverse, reversal, repetition, final measurements ------------------------------------

CircuitPtr inverse(const QuantumCircuit& qc, bool annotated);
CircuitPtr reverse_ops(const QuantumCircuit& qc);
CircuitPtr reverse_bits(const QuantumCircuit& qc);
// Null for 0 repetitions; a negative count is refused.
CircuitPtr repeat(const QuantumCircuit& qc, int32_t reps);
// Null when inplace (qc itself changes), else the trimmed copy.
CircuitPtr remove_final_measurements(QuantumCircuit& qc, bool inplace);
// Removes each qubit's last measure or barrier that nothing follows; `open`
// holds one flag per qubit, cleared as qubits meet other records.
void RemoveFinalMeasurementsFrom(std::vector<char>& open, InstructionList& list);

// Control ------------------------------------------------------------------------------

// Records, at every depth, that the controlled forms of `list` under k
// controls make (the control-state gates and the phase not included); adds
// the bytes of the general composites among them to `composite_bytes`.
uint64_t ControlledRecordCount(const InstructionList& list, uint64_t k,
                               uint64_t* composite_bytes = nullptr);

CircuitPtr control(const QuantumCircuit& qc, int32_t num_ctrl_qubits, const std::string& label,
                   const std::string& ctrl_state);

}  // namespace velorin
