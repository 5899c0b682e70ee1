// Read-out: shot strings, state vector, probabilities, density matrix and
// amplitudes.
#include <algorithm>
#include <exception>
#include <limits>
#include <stdexcept>

#include "circuit/errors.h"
#include "engine/mps_simulator.h"
#include "platform/memory.h"

namespace velorin {

namespace {

constexpr uint64_t kStateVectorMaxQubits = 16;
constexpr const char* kStateVectorTooLarge =
    "State Vector is supported only for 16 qubits or less.";
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

// Saturating arithmetic for memory estimates: a saturated figure never fits.
uint64_t Mul(uint64_t a, uint64_t b) { return (b != 0 && a > kMax / b) ? kMax : a * b; }
uint64_t Add(uint64_t a, uint64_t b) { return a > kMax - b ? kMax : a + b; }

// Refuses work whose storage cannot exist, before any of it is allocated: a
// figure beyond 64 bits, or beyond the memory the system reports free (when
// it reports any), throws the allocation failure instead of letting the
// process be killed.
void RequireBytes(uint64_t bytes) {
  if (bytes == kMax) throw MemoryAllocError();
  const uint64_t available = platform::AvailablePhysicalMemory();
  if (available != 0 && bytes > available) throw MemoryAllocError();
}

// 2^bits entries, or a saturated figure.
uint64_t PowerOfTwo(uint64_t bits) { return bits >= 64 ? kMax : uint64_t{1} << bits; }

// Bytes of one heap matrix of `entries` complex values: the object and its
// heap block as the allocator rounds it (a header word, steps of 16 bytes, 32
// at least). Merged sites hold millions of tiny matrices, so the rounding
// decides whether the figure is near the truth.
uint64_t MatrixBytes(uint64_t entries) {
  const uint64_t payload = Add(Mul(entries, sizeof(Complex)), 8 + 15);
  if (payload == kMax) return kMax;
  return Add(sizeof(Matrix), std::max<uint64_t>(payload & ~uint64_t{15}, 32));
}

}  // namespace

// ---- texts ----

std::string MpsSimulator::MeasuredBitsText() const {
  std::string text;
  text.reserve(n_);
  for (uint64_t q = n_; q-- > 0;) {
    const int64_t v = measured_[q];
    text += v == -1 ? 'X' : v == 0 ? '0' : v == 1 ? '1' : '-';
  }
  return text;
}

std::string MpsSimulator::MeasuredBitString() const {
  std::string text;
  text.reserve(n_);
  for (uint64_t q = n_; q-- > 0;) {
    if (measured_[q] == 0) text += '0';
    if (measured_[q] == 1) text += '1';
  }
  return text;
}

// ---- reordering ----

template <class T>
void PermuteToRequestedOrder(const std::vector<T>& input, const std::vector<uint64_t>& order,
                             std::vector<T>& output) {
  const uint64_t k = order.size();
  std::vector<uint64_t> ranks;
  RankPositions(order, ranks);
  const uint64_t count = std::min<uint64_t>(input.size(), PowerOfTwo(k));
  output.resize(input.size());
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t o = 0;
    for (uint64_t j = 0; j < k; ++j) {
      if ((i >> (k - 1 - ranks[j])) & 1u) o |= uint64_t{1} << (k - 1 - j);
    }
    output[o] = input[i];
  }
}

template void PermuteToRequestedOrder<Complex>(const std::vector<Complex>&,
                                               const std::vector<uint64_t>&, std::vector<Complex>&);
template void PermuteToRequestedOrder<double>(const std::vector<double>&,
                                              const std::vector<uint64_t>&, std::vector<double>&);
template void PermuteToRequestedOrder<uint64_t>(const std::vector<uint64_t>&,
                                                const std::vector<uint64_t>&,
                                                std::vector<uint64_t>&);

bool MpsSimulator::UseParallel(uint64_t items) const {
  return hardware_threads_ >= 0 && items > static_cast<uint64_t>(hardware_threads_) &&
         thread_count_ > 1;
}

template <class T>
std::vector<T> MpsSimulator::ReverseBits(const std::vector<T>& input, uint64_t bits) const {
  const int64_t count = static_cast<int64_t>(std::min<uint64_t>(input.size(), PowerOfTwo(bits)));
  std::vector<T> output(input.size());
  const bool parallel = UseParallel(static_cast<uint64_t>(count));
  const int threads = parallel ? thread_count_ : 1;
  (void)threads;
#ifdef _OPENMP
#pragma omp parallel for schedule(static) num_threads(threads) if (parallel)
#endif
  for (int64_t i = 0; i < count; ++i) {
    uint64_t mirrored = 0;
    for (uint64_t b = 0; b < bits; ++b) {
      if ((static_cast<uint64_t>(i) >> b) & 1u) mirrored |= uint64_t{1} << (bits - 1 - b);
    }
    output[static_cast<size_t>(i)] = input[mirrored];
  }
  return output;
}

std::vector<Complex> MpsSimulator::ReverseBitOrder(const std::vector<Complex>& input,
                                                   uint64_t bits) const {
  return ReverseBits(input, bits);
}
std::vector<double> MpsSimulator::ReverseBitOrder(const std::vector<double>& input,
                                                  uint64_t bits) const {
  return ReverseBits(input, bits);
}
std::vector<uint64_t> MpsSimulator::ReverseBitOrder(const std::vector<uint64_t>& input,
                                                    uint64_t bits) const {
  return ReverseBits(input, bits);
}

// ---- checks ----

void MpsSimulator::CheckReadOutQubits(const std::vector<uint64_t>& qubits) const {
  RequireChain();
  if (qubits.empty()) throw std::out_of_range("invalid vector subscript");
  std::vector<bool> seen(n_, false);
  for (uint64_t q : qubits) {
    if (q >= n_ || seen[q]) throw std::out_of_range("invalid vector subscript");
    seen[q] = true;
  }
}

// The merge of positions first..last holds 2^j factors of chi_left x bond_j
// after j steps; each step keeps the scaled copy, the old and the new tensor.
void MpsSimulator::RequireMergeMemory(uint64_t first, uint64_t last, uint64_t extra_bytes) const {
  const uint64_t left = first > 0 ? bonds_[first - 1].size() : 1;
  uint64_t peak = MatrixBytes(Mul(2 * left, chain_[first].factors[0].cols()));
  for (uint64_t p = first; p < last; ++p) {
    const uint64_t j = p - first + 1;
    const uint64_t before = Mul(PowerOfTwo(j), MatrixBytes(Mul(left, bonds_[p].size())));
    const uint64_t after =
        Mul(PowerOfTwo(j + 1), MatrixBytes(Mul(left, chain_[p + 1].factors[0].cols())));
    peak = std::max(peak, Add(Mul(2, before), after));
  }
  RequireBytes(Add(peak, extra_bytes));
}

// ---- numeric read-outs ----

std::vector<Complex> MpsSimulator::GetStateVector() {
  if (n_ > kStateVectorMaxQubits) throw RunTimeError(kStateVectorTooLarge);
  RequireChain();
  RestoreQubitOrder();
  std::vector<uint64_t> all(n_);
  for (uint64_t q = 0; q < n_; ++q) all[q] = q;
  RequireMergeMemory(0, n_ - 1, Mul(PowerOfTwo(n_), 3 * sizeof(Complex)));
  QubitTensor merged;
  ContractQubits(merged, PositionsOf(all));
  std::vector<Complex> raw(merged.factors.size());
  for (size_t m = 0; m < raw.size(); ++m) raw[m] = merged.factors[m](0, 0);
  std::vector<Complex> ordered;
  PermuteToRequestedOrder(raw, all, ordered);
  return ReverseBitOrder(ordered, n_);
}

std::vector<double> MpsSimulator::ComputeSubsetProbabilities(
    const std::vector<uint64_t>& qubits) const {
  CheckReadOutQubits(qubits);
  const uint64_t k = qubits.size();
  RequireBytes(Mul(PowerOfTwo(k), 3 * sizeof(double)));
  MpsSimulator copy(*this);
  std::vector<uint64_t> targets;
  copy.CentralizeQubits(copy.PositionsOf(qubits), targets);
  copy.RequireMergeMemory(targets.front(), targets.back(), Mul(PowerOfTwo(k), 3 * sizeof(double)));
  QubitTensor merged;
  copy.ContractRange(merged, targets.front(), targets.back());
  std::vector<double> probabilities(merged.factors.size());
  Matrix squared;
  for (size_t m = 0; m < merged.factors.size(); ++m) {
    MultiplyElementwise(merged.factors[m], ConjugateMatrix(merged.factors[m]), squared);
    probabilities[m] = squared.real().sum();
  }
  return probabilities;
}

std::vector<double> MpsSimulator::GetProbabilities(std::vector<uint64_t> qubits) const {
  std::vector<double> merged_order = ComputeSubsetProbabilities(qubits);
  std::vector<double> ordered;
  PermuteToRequestedOrder(merged_order, PositionsOf(qubits), ordered);
  return ReverseBitOrder(ordered, qubits.size());
}

Matrix MpsSimulator::GetDensityMatrix(std::vector<uint64_t> qubits) const {
  CheckReadOutQubits(qubits);
  const uint64_t k = qubits.size();
  const uint64_t dimension = PowerOfTwo(k);
  const uint64_t result_bytes =
      Add(Mul(Mul(dimension, dimension), sizeof(Complex)), Mul(dimension, 3 * sizeof(uint64_t)));
  RequireBytes(result_bytes);
  MpsSimulator copy(*this);
  std::vector<uint64_t> targets;
  copy.CentralizeQubits(copy.PositionsOf(qubits), targets);
  copy.RequireMergeMemory(targets.front(), targets.back(), result_bytes);
  QubitTensor merged;
  copy.ContractRange(merged, targets.front(), targets.back());

  std::vector<uint64_t> identity(dimension);
  for (uint64_t i = 0; i < dimension; ++i) identity[i] = i;
  std::vector<uint64_t> permuted;
  PermuteToRequestedOrder(identity, PositionsOf(qubits), permuted);
  const std::vector<uint64_t> index = ReverseBitOrder(permuted, k);

  const Eigen::Index size = static_cast<Eigen::Index>(dimension);
  Matrix rho(size, size);
  const std::vector<Matrix>& f = merged.factors;
  const bool parallel = hardware_threads_ >= 0 && thread_count_ > 1 &&
                        static_cast<uint32_t>(dimension) > static_cast<uint32_t>(hardware_threads_);
  const int threads = parallel ? thread_count_ : 1;
  (void)threads;
#ifdef _OPENMP
#pragma omp parallel for schedule(static) num_threads(threads) if (parallel)
#endif
  for (Eigen::Index i = 0; i < size; ++i) {
    const Matrix& a = f[index[static_cast<size_t>(i)]];
    for (Eigen::Index j = 0; j < size; ++j) {
      rho(i, j) = a.cwiseProduct(f[index[static_cast<size_t>(j)]].conjugate()).sum();
    }
  }
  return rho;
}

std::vector<Complex> MpsSimulator::GetAmplitudes(const std::vector<uint64_t>& indices) const {
  RequireChain();
  std::vector<Complex> amplitudes(indices.size());
  const int64_t count = static_cast<int64_t>(indices.size());
  const bool parallel = UseParallel(static_cast<uint64_t>(count));
  const int threads = parallel ? thread_count_ : 1;
  (void)threads;
  // An exception must not leave a parallel region: keep the first and rethrow.
  std::exception_ptr failure;
#ifdef _OPENMP
#pragma omp parallel for schedule(static) num_threads(threads) if (parallel)
#endif
  for (int64_t d = 0; d < count; ++d) {
    try {
      const uint64_t index = indices[static_cast<size_t>(d)];
      auto value_at = [&](uint64_t position) -> size_t {
        const uint64_t qubit = static_cast<uint64_t>(position_to_qubit_[position]);
        return qubit < 64 ? static_cast<size_t>((index >> qubit) & 1u) : 0;
      };
      Matrix m = chain_[0].factors[value_at(0)];
      for (uint64_t p = 1; p < n_; ++p) {
        const BondValues& bond = bonds_[p - 1];
        for (Eigen::Index c = 0; c < m.cols() && c < static_cast<Eigen::Index>(bond.size()); ++c) {
          m.col(c) *= bond[static_cast<size_t>(c)];
        }
        m = m * chain_[p].factors[value_at(p)];
      }
      amplitudes[static_cast<size_t>(d)] = m(0, 0);
    } catch (...) {
#ifdef _OPENMP
#pragma omp critical(velorin_amplitude_failure)
#endif
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
  return amplitudes;
}

}  // namespace velorin
