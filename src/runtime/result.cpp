#include "runtime/result.h"

#include <map>

#include "circuit/errors.h"
#include "engine/mps_simulator.h"
#include "platform/clock.h"
#include "runtime/shot_text.h"

namespace velorin {

namespace {

constexpr const char* kNotCompleted = "Job not completed yet. Try again later.";
constexpr const char* kNoStatevector = "Statevector is is no longer accessible for the given job.";
constexpr const char* kNoAmplitudes = "Amplitude vector is no longer accessible for the given job.";
constexpr const char* kNoDensityMatrix = "Density Matrix is no longer accessible for the given job.";

std::vector<uint64_t> FirstIndices(uint64_t n) {
  std::vector<uint64_t> indices(n);
  for (uint64_t i = 0; i < n; ++i) indices[i] = i;
  return indices;
}

}  // namespace

Result::Result() : date(platform::CtimeNow()) {}

Result::Result(std::string backend_name_arg, std::string backend_version_arg,
               std::string qobj_id_arg, std::string job_id_arg, std::string date_arg,
               std::string /*status: always "Functional"*/, std::string header_arg)
    : backend_name(std::move(backend_name_arg)),
      backend_version(std::move(backend_version_arg)),
      qobj_id(std::move(qobj_id_arg)),
      job_id(std::move(job_id_arg)),
      date(std::move(date_arg)),
      header(std::move(header_arg)) {}

Result::~Result() {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  engine_.reset();
}

bool Result::success() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  return success_;
}

uint64_t Result::engine_qubits() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  return engine_ ? engine_->num_qubits() : 0;
}

void Result::SetCircuit(std::shared_ptr<const QuantumCircuit> circuit) {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  circuit_ = std::move(circuit);
}

void Result::AppendShot(const std::string& bits) {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  if (results_.size() < kMaxStoredShots) results_.push_back(bits);
}

void Result::Finish(std::unique_ptr<MpsSimulator> engine, bool success) {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  engine_ = std::move(engine);
  success_ = success;
}

Result::Summary Result::to_dict() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  return Summary{success_, results_};
}

std::vector<std::string> Result::get_memory() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  return results_;
}

Result::Counts Result::CountsLocked() const {
  std::map<std::string, int32_t> counted;
  for (const std::string& bits : results_) ++counted[bits];
  Counts counts;
  counts.entries.assign(counted.begin(), counted.end());
  return counts;
}

Result::Counts Result::get_counts() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  return CountsLocked();
}

void Result::RequireEngine(const char* missing_text, bool require_success) const {
  if (!engine_) throw RunTimeError(missing_text);
  if (require_success && !success_) throw RunTimeError(kNotCompleted);
}

std::vector<ComplexVector> Result::DensityMatrixLocked() const {
  const Matrix rho = engine_->GetDensityMatrix(FirstIndices(engine_->num_qubits()));
  std::vector<ComplexVector> rows(static_cast<size_t>(rho.rows()));
  for (Eigen::Index r = 0; r < rho.rows(); ++r) {
    rows[static_cast<size_t>(r)].resize(static_cast<size_t>(rho.cols()));
    for (Eigen::Index c = 0; c < rho.cols(); ++c) rows[static_cast<size_t>(r)][c] = rho(r, c);
  }
  return rows;
}

std::string Result::ClassicalRegisterLocked() const {
  return MeasuredText(*engine_, /*with_unmeasured=*/true);
}

Result::Data Result::data() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  if (!success_) throw RunTimeError(kNotCompleted);
  Data out;
  out.counts = CountsLocked();
  if (!engine_) return out;
  out.has_engine = true;
  out.statevector = engine_->GetStateVector();
  const uint64_t n = engine_->num_qubits();
  out.probabilities = engine_->GetProbabilities(FirstIndices(n));
  out.amplitudes = engine_->GetAmplitudes(FirstIndices(n));
  out.densitymatrix = DensityMatrixLocked();
  out.creg = ClassicalRegisterLocked();
  return out;
}

ComplexVector Result::get_statevector() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  RequireEngine(kNoStatevector, true);
  return engine_->GetStateVector();
}

ComplexVector Result::get_unitary() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  RequireEngine(kNoAmplitudes, true);
  return engine_->GetAmplitudes(FirstIndices(engine_->num_qubits()));
}

std::vector<double> Result::get_probabilities() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  RequireEngine(kNoAmplitudes, true);
  return engine_->GetProbabilities(FirstIndices(engine_->num_qubits()));
}

std::vector<ComplexVector> Result::get_densitymatrix() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  RequireEngine(kNoDensityMatrix, true);
  return DensityMatrixLocked();
}

std::string Result::get_classicalregister() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  RequireEngine(kNoAmplitudes, false);
  return ClassicalRegisterLocked();
}

void Result::from_dict() const { throw NotImplemented("Result::from_dict"); }

}  // namespace velorin
