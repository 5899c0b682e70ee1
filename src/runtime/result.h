// The outcome of one run: the shot bit strings, and after the run the engine
// whose read-outs the host asks for.
#pragma once

#include <complex>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "circuit/quantum_circuit.h"
#include "platform/fork.h"

namespace velorin {

class MpsSimulator;

// Shots kept in memory; every shot still goes to the output file.
inline constexpr size_t kMaxStoredShots = 10000;

using ComplexVector = std::vector<std::complex<double>>;

class Result {
 public:
  Result();
  Result(std::string backend_name, std::string backend_version, std::string qobj_id,
         std::string job_id, std::string date, std::string status, std::string header);
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result();

  struct Counts {
    std::vector<std::pair<std::string, int32_t>> entries;  // ascending byte order
  };
  struct Data {
    Counts counts;
    bool has_engine = false;
    ComplexVector statevector;
    std::vector<double> probabilities;
    ComplexVector amplitudes;
    std::vector<ComplexVector> densitymatrix;
    std::string creg;
  };
  struct Summary {  // what to_dict shows
    bool success;
    std::vector<std::string> results;
  };

  Summary to_dict() const;
  std::vector<std::string> get_memory() const;
  Counts get_counts() const;
  Data data() const;
  ComplexVector get_statevector() const;
  ComplexVector get_unitary() const;
  std::vector<double> get_probabilities() const;
  std::vector<ComplexVector> get_densitymatrix() const;
  std::string get_classicalregister() const;
  [[noreturn]] void from_dict() const;

  bool success() const;
  // The engine's qubits, 0 without an engine: what the read-outs will size.
  uint64_t engine_qubits() const;

  // The versioned byte form behind pickling and deep copies: everything the
  // accessors read, the engine's chain included. Decode throws DecodeError
  // (an invalid_argument) for bytes that are not such a form.
  std::string Encode() const;
  static std::shared_ptr<Result> Decode(const std::string& bytes);

  // Run side: the backend appends shots, then hands over the engine.
  void SetCircuit(std::shared_ptr<const QuantumCircuit> circuit);
  void AppendShot(const std::string& bits);
  void Finish(std::unique_ptr<MpsSimulator> engine, bool success);

  const std::string backend_name;
  const std::string backend_version;
  const std::string qobj_id;
  const std::string job_id;
  const std::string date;
  const std::string status = "Functional";
  const std::string header;

 private:
  Counts CountsLocked() const;
  std::vector<ComplexVector> DensityMatrixLocked() const;
  std::string ClassicalRegisterLocked() const;
  void RequireEngine(const char* missing_text, bool require_success) const;

  mutable platform::ForkSafeMutex mutex_;
  bool success_ = false;
  std::vector<std::string> results_;
  std::shared_ptr<const QuantumCircuit> circuit_;
  std::unique_ptr<MpsSimulator> engine_;
};

}  // namespace velorin
