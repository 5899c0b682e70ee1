// Read-out: shot strings, state vector, probabilities, density matrix and
// amplitudes.
//
// The numeric read-outs contract a block of chain positions without ever
// holding one small matrix per basis state. Two sweeps grow contiguous arrays
// from the block's ends, each indexed by (outer bond, bits of the swept
// positions) x (inner bond); one product of the two then gives every entry of
// the result, tile by tile, written straight to its place in the requested
// bit order. The split between the sweeps is chosen where the arrays and the
// product are smallest, so a result of 2^k entries needs little beyond its own
// storage.
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>
#include <type_traits>

#include "circuit/errors.h"
#include "engine/mps_simulator.h"
#include "platform/memory.h"

namespace velorin {

namespace {

constexpr uint64_t kStateVectorMaxQubits = 16;
constexpr const char* kStateVectorTooLarge =
    "State Vector is supported only for 16 qubits or less.";
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

// Old rows set aside at a time while a sweep array grows in place.
constexpr uint64_t kScratchEntries = uint64_t{1} << 14;
// Rows (and columns) of one tile of the final product, outer bonds included.
constexpr uint64_t kTileSide = 64;
// Up to this many inner bond values the tile kernel beats a general product,
// which then spends its time packing.
constexpr uint64_t kKernelMaxDepth = 32;
// Results smaller than this are written on the calling thread: waking a
// team costs more than it saves, and on a busy machine far more.
constexpr uint64_t kParallelReadOutEntries = uint64_t{1} << 20;
// Columns of the density matrix computed together.
constexpr Eigen::Index kDensityColumns = 64;

using RowMatrix = Eigen::Matrix<Complex, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using RowMap = Eigen::Map<RowMatrix>;
using ConstRowMap = Eigen::Map<const RowMatrix>;

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

uint64_t FloorPowerOfTwo(uint64_t value) {
  uint64_t p = 1;
  while (p <= value / 2) p *= 2;
  return p;
}

// Of a non-zero value.
unsigned LowestBit(uint64_t value) {
  unsigned bit = 0;
  while (((value >> bit) & 1u) == 0) ++bit;
  return bit;
}

Eigen::Index Idx(uint64_t value) { return static_cast<Eigen::Index>(value); }

// A bond's weight at an index, as ScaleRows and ScaleColumns apply it: an
// index beyond the bond's values keeps its entries unscaled.
double Weight(const BondValues& bond, uint64_t j) { return j < bond.size() ? bond[j] : 1.0; }

// Bytes a copy of the chain occupies (factors and bond values).
uint64_t ChainBytes(const std::vector<QubitTensor>& chain, const std::vector<BondValues>& bonds) {
  uint64_t bytes = 0;
  for (const QubitTensor& site : chain) {
    for (const Matrix& f : site.factors) {
      const uint64_t entries = static_cast<uint64_t>(f.size());
      bytes = Add(bytes, Add(sizeof(Matrix), Mul(entries, sizeof(Complex))));
    }
  }
  for (const BondValues& bond : bonds) bytes = Add(bytes, Mul(bond.size(), sizeof(double)));
  return bytes;
}

// Positions first..last of a chain, read in place: site i of the block is
// chain position first + i.
class Block {
 public:
  Block(const std::vector<QubitTensor>& chain, const std::vector<BondValues>& bonds,
        uint64_t first, uint64_t last)
      : chain_(chain), bonds_(bonds), first_(first), last_(last) {
    if (first > last || last >= chain.size() || bonds.size() < chain.size()) {
      throw std::out_of_range("invalid vector subscript");
    }
    for (uint64_t i = 0; i < sites(); ++i) {
      const std::vector<Matrix>& f = chain[first + i].factors;
      const bool fits = f.size() == 2 && f[0].rows() > 0 && f[0].cols() > 0 &&
                        f[1].rows() == f[0].rows() && f[1].cols() == f[0].cols() &&
                        (i == 0 || f[0].rows() == Factor(i - 1, 0).cols());
      if (!fits) throw std::logic_error("chain tensors of mismatched shapes");
    }
  }

  uint64_t sites() const { return last_ - first_ + 1; }
  const Matrix& Factor(uint64_t i, int b) const { return chain_[first_ + i].factors[b]; }
  uint64_t RowsAt(uint64_t i) const { return static_cast<uint64_t>(Factor(i, 0).rows()); }
  uint64_t ColsAt(uint64_t i) const { return static_cast<uint64_t>(Factor(i, 0).cols()); }
  uint64_t outer_left() const { return RowsAt(0); }
  uint64_t outer_right() const { return ColsAt(sites() - 1); }
  // The bond before the block, and after it; none at the chain's ends.
  double OuterLeftWeight(uint64_t j) const {
    return first_ > 0 ? Weight(bonds_[first_ - 1], j) : 1.0;
  }
  double OuterRightWeight(uint64_t j) const {
    return last_ + 1 < chain_.size() ? Weight(bonds_[last_], j) : 1.0;
  }
  // The bond between sites i and i + 1 of the block.
  double InnerWeight(uint64_t i, uint64_t j) const { return Weight(bonds_[first_ + i], j); }

 private:
  const std::vector<QubitTensor>& chain_;
  const std::vector<BondValues>& bonds_;
  uint64_t first_;
  uint64_t last_;
};

// The shape of one sweep: rows x columns at its end, the largest array on
// the way (old and new rows share one buffer), and its multiply-adds.
struct SweepShape {
  uint64_t rows = 0;
  uint64_t cols = 0;
  uint64_t peak = 0;
  double work = 0.0;
};

// The sweep over `count` sites (at least one) of the block: from its left
// end, or from its right end. A step multiplies rows x cols by cols x 2 next.
SweepShape ShapeOf(const Block& block, uint64_t count, bool from_left) {
  const uint64_t k = block.sites();
  SweepShape s;
  s.rows = Mul(from_left ? block.outer_left() : block.outer_right(), 2);
  s.cols = from_left ? block.ColsAt(0) : block.RowsAt(k - 1);
  s.peak = Mul(s.rows, s.cols);
  s.work = static_cast<double>(s.peak);
  for (uint64_t step = 1; step < count; ++step) {
    const uint64_t next = from_left ? block.ColsAt(step) : block.RowsAt(k - 1 - step);
    s.work += static_cast<double>(s.rows) * static_cast<double>(s.cols) * 2.0 *
              static_cast<double>(next);
    s.rows = Mul(s.rows, 2);
    s.cols = next;
    s.peak = std::max(s.peak, Mul(s.rows, s.cols));
  }
  return s;
}

// Where the block is cut: `split` sites swept from the left, the rest from
// the right; and the bytes the read-out needs besides its result.
struct Plan {
  uint64_t split = 0;
  uint64_t working_bytes = 0;
};

// Working bytes of a cut: both sweep buffers and their reordered copies
// (the kernel's planes replace one of them), the index tables, the scratch
// rows and one product tile per thread.
uint64_t WorkingBytes(const Block& block, uint64_t split, uint64_t threads) {
  const uint64_t k = block.sites();
  uint64_t entries = 0;
  uint64_t scratch = 0;
  for (const bool from_left : {true, false}) {
    const uint64_t count = from_left ? split : k - split;
    if (count == 0) continue;
    const SweepShape shape = ShapeOf(block, count, from_left);
    entries = Add(entries, Add(shape.peak, Mul(shape.rows, shape.cols)));
    scratch = std::max(scratch, std::max(kScratchEntries, shape.cols));
  }
  const uint64_t tile = Mul(std::max(kTileSide, block.outer_left()),
                            std::max(kTileSide, block.outer_right()));
  entries = Add(entries, Add(Mul(2, scratch), Mul(Mul(tile, 2), threads)));
  const uint64_t tables =
      Mul(Add(PowerOfTwo(split), PowerOfTwo(k - split)), 2 * sizeof(uint64_t));
  return Add(Mul(entries, sizeof(Complex)), tables);
}

// The cut with the least work, memory counted as work: the product costs
// one multiply-add per result entry and inner bond value (none where one
// side has no sites), each sweep its steps, and every entry held is written.
Plan ChoosePlan(const Block& block, uint64_t threads) {
  const uint64_t k = block.sites();
  const double result =
      std::ldexp(static_cast<double>(block.outer_left()) * static_cast<double>(block.outer_right()),
                 static_cast<int>(std::min<uint64_t>(k, 1000)));
  double best = std::numeric_limits<double>::infinity();
  Plan plan;
  for (uint64_t split = 0; split <= k; ++split) {
    double cost = 0.0;
    double held = 0.0;
    for (const bool from_left : {true, false}) {
      const uint64_t count = from_left ? split : k - split;
      if (count == 0) continue;
      const SweepShape shape = ShapeOf(block, count, from_left);
      cost += shape.work;
      held += static_cast<double>(shape.peak) +
              static_cast<double>(shape.rows) * static_cast<double>(shape.cols);
    }
    const double inner =
        split > 0 && split < k ? static_cast<double>(block.ColsAt(split - 1)) : 1.0;
    cost += result * inner + 2.0 * held;
    if (cost < best) {
      best = cost;
      plan.split = split;
    }
  }
  plan.working_bytes = WorkingBytes(block, plan.split, threads);
  return plan;
}

// The sweep over `count` sites of the block into rows (outer bond, the
// sites' bits, the block's end site most significant) x (the bond after the
// last swept site). From the left: sites 0, 1, ...; from the right: sites
// k - 1, k - 2, ..., their factors transposed. The outer bond's weights are
// included, the weights of the bond after the last swept site are not.
std::vector<Complex> Sweep(const Block& block, uint64_t count, bool from_left,
                           SweepShape& shape) {
  const uint64_t k = block.sites();
  shape = ShapeOf(block, count, from_left);
  std::vector<Complex> data(shape.peak);
  std::vector<Complex> scratch;
  const uint64_t end = from_left ? 0 : k - 1;
  // The entry of factor b at a site that feeds entry (i, j) of a step:
  // from the right, the factors are read transposed.
  auto entry = [&](uint64_t site, int b, uint64_t i, uint64_t j) {
    const Matrix& f = block.Factor(site, b);
    return from_left ? f(Idx(i), Idx(j)) : f(Idx(j), Idx(i));
  };
  uint64_t rows = from_left ? block.outer_left() : block.outer_right();
  uint64_t cols = from_left ? block.ColsAt(end) : block.RowsAt(end);
  for (uint64_t o = 0; o < rows; ++o) {
    const double w = from_left ? block.OuterLeftWeight(o) : block.OuterRightWeight(o);
    for (int b = 0; b < 2; ++b) {
      Complex* row = data.data() + (o * 2 + static_cast<uint64_t>(b)) * cols;
      for (uint64_t c = 0; c < cols; ++c) row[c] = w * entry(end, b, o, c);
    }
  }
  rows *= 2;
  RowMatrix w;
  for (uint64_t step = 1; step < count; ++step) {
    const uint64_t site = from_left ? step : k - 1 - step;
    const uint64_t bond = from_left ? site - 1 : site;  // between this site and the last one
    const uint64_t next = from_left ? block.ColsAt(site) : block.RowsAt(site);
    w.resize(Idx(cols), Idx(2 * next));
    for (uint64_t r = 0; r < cols; ++r) {
      const double weight = block.InnerWeight(bond, r);
      for (int b = 0; b < 2; ++b) {
        for (uint64_t c = 0; c < next; ++c) {
          w(Idx(r), Idx(static_cast<uint64_t>(b) * next + c)) = weight * entry(site, b, r, c);
        }
      }
    }
    MultiplyRowsInPlace(data.data(), rows, w.data(), cols, 2 * next, scratch);
    rows *= 2;
    cols = next;
  }
  return data;
}

// One side's index in the order in which its result bits increase: value[c]
// is the side's index at counter c and result_bits[c] its bits in the result.
struct Axis {
  std::vector<uint64_t> value;
  std::vector<uint64_t> result_bits;
};

// `targets[t]`: the result bit of bit t of the side's index.
Axis MakeAxis(const std::vector<unsigned>& targets) {
  std::vector<unsigned> by_target(targets.size());
  for (unsigned t = 0; t < targets.size(); ++t) by_target[t] = t;
  std::sort(by_target.begin(), by_target.end(),
            [&](unsigned a, unsigned b) { return targets[a] < targets[b]; });
  const uint64_t size = uint64_t{1} << targets.size();
  Axis axis;
  axis.value.resize(size);
  axis.result_bits.resize(size);
  axis.value[0] = 0;
  axis.result_bits[0] = 0;
  for (uint64_t c = 1; c < size; ++c) {
    const unsigned low = LowestBit(c);
    const uint64_t rest = c & (c - 1);
    axis.value[c] = axis.value[rest] | (uint64_t{1} << by_target[low]);
    axis.result_bits[c] = axis.result_bits[rest] | (uint64_t{1} << targets[by_target[low]]);
  }
  return axis;
}

// A sweep's rows reordered as (axis counter, outer bond), columns weighted
// when `weights` is given: a tile of the product then reads consecutive rows.
std::vector<Complex> Reorder(const std::vector<Complex>& sweep, uint64_t outer, uint64_t cols,
                             const Axis& axis, const std::vector<double>* weights) {
  const uint64_t count = axis.value.size();
  std::vector<Complex> out(count * outer * cols);
  for (uint64_t c = 0; c < count; ++c) {
    for (uint64_t o = 0; o < outer; ++o) {
      const Complex* from = sweep.data() + (o * count + axis.value[c]) * cols;
      Complex* to = out.data() + (c * outer + o) * cols;
      if (weights == nullptr) {
        std::copy(from, from + cols, to);
      } else {
        for (uint64_t j = 0; j < cols; ++j) to[j] = from[j] * (*weights)[j];
      }
    }
  }
  return out;
}

// Rows of one value of outer bond in planes for the tile kernel: per tile
// of `tile` rows, the real parts of inner index 0 of every row, then of
// index 1, ..., then the imaginary parts alike.
std::vector<double> Planes(const std::vector<Complex>& rows, uint64_t count, uint64_t tile,
                           uint64_t depth) {
  std::vector<double> planes(2 * count * depth);
  for (uint64_t t0 = 0; t0 < count; t0 += tile) {
    double* re = planes.data() + 2 * t0 * depth;
    double* im = re + tile * depth;
    for (uint64_t i = 0; i < tile; ++i) {
      const Complex* row = rows.data() + (t0 + i) * depth;
      for (uint64_t d = 0; d < depth; ++d) {
        re[d * tile + i] = row[d].real();
        im[d * tile + i] = row[d].imag();
      }
    }
  }
  return planes;
}

// Where each bit of a block index (bit 0: the block's last site) goes in the
// result: the listed entry of rank r sits at block bit k - 1 - r and goes to
// result bit j, its place in the list. This is the order the two reorder
// helpers make in turn, as one map. With no list, nothing moves.
std::vector<unsigned> ResultBits(uint64_t k, const std::vector<uint64_t>* listed_positions) {
  std::vector<unsigned> target(k);
  if (listed_positions == nullptr) {
    for (unsigned m = 0; m < k; ++m) target[m] = m;
    return target;
  }
  std::vector<uint64_t> ranks;
  RankPositions(*listed_positions, ranks);
  for (unsigned j = 0; j < k; ++j) target[k - 1 - ranks[j]] = j;
  return target;
}

// The value a result entry takes from one amplitude.
template <class T>
T EntryOf(double re, double im) {
  if constexpr (std::is_same_v<T, double>) {
    return re * re + im * im;
  } else {
    return Complex(re, im);
  }
}

// One tile where both outer bonds have one value: entry (i, j) is the sum
// over d of a(i, d) b(j, d). The loop over i runs along the planes, so it
// vectorises, and the sums go straight to the result.
template <class T>
void WriteTile(const double* a_planes, uint64_t a_tile, const Complex* b_rows, uint64_t b_tile,
               uint64_t depth, const uint64_t* a_bits, const uint64_t* b_bits, T* out,
               double* sums) {
  const double* a_im = a_planes + a_tile * depth;
  double* re = sums;
  double* im = sums + a_tile;
  for (uint64_t j = 0; j < b_tile; ++j) {
    const Complex* b = b_rows + j * depth;
    std::fill(re, re + a_tile, 0.0);
    std::fill(im, im + a_tile, 0.0);
    for (uint64_t d = 0; d < depth; ++d) {
      const double br = b[d].real();
      const double bi = b[d].imag();
      const double* xr = a_planes + d * a_tile;
      const double* xi = a_im + d * a_tile;
      for (uint64_t i = 0; i < a_tile; ++i) {
        re[i] += xr[i] * br - xi[i] * bi;
        im[i] += xr[i] * bi + xi[i] * br;
      }
    }
    T* base = out + b_bits[j];
    for (uint64_t i = 0; i < a_tile; ++i) base[a_bits[i]] = EntryOf<T>(re[i], im[i]);
  }
}

// One side of the final product: a reordered sweep, rows (axis counter,
// outer bond) x inner bond; or, for a side without sites, its outer bond's
// weights as a diagonal.
struct Side {
  const Axis* axis = nullptr;
  const std::vector<Complex>* rows = nullptr;
  Eigen::VectorXcd diagonal;
  uint64_t outer = 1;
  uint64_t tile = 1;
  uint64_t count() const { return axis->value.size(); }
};

// g := side a's tile from counter a0 times side b's tile from b0, transposed:
// entry ((a, outer a), (b, outer b)), column-major.
void TileProduct(const Side& a, uint64_t a0, const Side& b, uint64_t b0, uint64_t depth,
                 Matrix& g) {
  const Eigen::Index d = Idx(depth);
  if (a.rows != nullptr && b.rows != nullptr) {
    g.noalias() = ConstRowMap(a.rows->data() + a0 * a.outer * depth, Idx(a.tile * a.outer), d) *
                  ConstRowMap(b.rows->data() + b0 * b.outer * depth, Idx(b.tile * b.outer), d)
                      .transpose();
  } else if (a.rows == nullptr) {
    g.noalias() =
        a.diagonal.asDiagonal() *
        ConstRowMap(b.rows->data() + b0 * b.outer * depth, Idx(b.tile * b.outer), d).transpose();
  } else {
    g.noalias() = ConstRowMap(a.rows->data() + a0 * a.outer * depth, Idx(a.tile * a.outer), d) *
                  b.diagonal.asDiagonal();
  }
}

// Writes every entry of a block's contraction to `out` at its result index
// (`targets`: the result bit of each block bit): the sum of squared
// magnitudes over both outer bonds (double), or the amplitude (complex,
// outer bonds of one value). Every entry is written exactly once.
template <class T>
void ContractBlockInto(const Block& block, const Plan& plan, const std::vector<unsigned>& targets,
                       T* out, int threads) {
  const uint64_t k = block.sites();
  const uint64_t split = plan.split;

  // The left side's index holds block bits k-1 .. k-split (its bit t is
  // block bit k - split + t); the right side's is mirrored (its bit t is
  // block bit k - split - 1 - t).
  std::vector<unsigned> left_targets(split), right_targets(k - split);
  for (uint64_t t = 0; t < split; ++t) left_targets[t] = targets[k - split + t];
  for (uint64_t t = 0; t < k - split; ++t) right_targets[t] = targets[k - split - 1 - t];
  const Axis left_axis = MakeAxis(left_targets);
  const Axis right_axis = MakeAxis(right_targets);

  Side left, right;
  left.axis = &left_axis;
  right.axis = &right_axis;
  left.outer = block.outer_left();
  right.outer = block.outer_right();
  std::vector<Complex> left_rows, right_rows;
  uint64_t depth = 0;
  for (const bool from_left : {true, false}) {
    Side& side = from_left ? left : right;
    const uint64_t count = from_left ? split : k - split;
    if (count == 0) {
      side.diagonal.resize(Idx(side.outer));
      for (uint64_t j = 0; j < side.outer; ++j) {
        side.diagonal[Idx(j)] = from_left ? block.OuterLeftWeight(j) : block.OuterRightWeight(j);
      }
      continue;
    }
    SweepShape shape;
    const std::vector<Complex> sweep = Sweep(block, count, from_left, shape);
    depth = shape.cols;
    // The bond at the cut is weighted once, on the left side's rows.
    std::vector<double> middle;
    if (from_left && split < k) {
      middle.resize(depth);
      for (uint64_t j = 0; j < depth; ++j) middle[j] = block.InnerWeight(split - 1, j);
    }
    std::vector<Complex>& rows = from_left ? left_rows : right_rows;
    rows = Reorder(sweep, side.outer, depth, *side.axis, middle.empty() ? nullptr : &middle);
    side.rows = &rows;
  }
  for (Side* side : {&left, &right}) {
    side->tile = std::min(side->count(),
                          FloorPowerOfTwo(std::max<uint64_t>(1, kTileSide / side->outer)));
  }
  // Side a holds result bit 0: walking down a column of a tile writes
  // neighbouring entries of the result.
  const bool left_first = left.count() > 1 && left_axis.result_bits[1] == 1;
  const Side& a = left_first ? left : right;
  const Side& b = left_first ? right : left;
  const uint64_t a_tiles = a.count() / a.tile;
  const int64_t tiles = static_cast<int64_t>(a_tiles * (b.count() / b.tile));
  const bool kernel = a.rows != nullptr && b.rows != nullptr && a.outer == 1 && b.outer == 1 &&
                      depth <= kKernelMaxDepth;
  std::vector<double> a_planes;
  if (kernel) {
    a_planes = Planes(*a.rows, a.count(), a.tile, depth);
    std::vector<Complex>().swap(left_first ? left_rows : right_rows);
  }

  std::exception_ptr failure;
  auto keep_failure = [&failure] {
#ifdef _OPENMP
#pragma omp critical(velorin_readout_failure)
#endif
    if (!failure) failure = std::current_exception();
  };
  (void)threads;
#ifdef _OPENMP
#pragma omp parallel num_threads(threads) if (threads > 1)
#endif
  {
    // Every thread must reach the loop, whatever happens to its storage.
    Matrix g;
    std::vector<double> sums;
    bool ready = false;
    try {
      if (kernel) {
        sums.resize(2 * a.tile);
      } else {
        g.resize(Idx(a.tile * a.outer), Idx(b.tile * b.outer));
      }
      ready = true;
    } catch (...) {
      keep_failure();
    }
    // Tiles are handed out a few at a time, so a thread the machine
    // delays holds back only its own few.
#ifdef _OPENMP
#pragma omp for schedule(dynamic, 4)
#endif
    for (int64_t t = 0; t < tiles; ++t) {
      if (!ready) continue;
      try {
        const uint64_t a0 = (static_cast<uint64_t>(t) % a_tiles) * a.tile;
        const uint64_t b0 = (static_cast<uint64_t>(t) / a_tiles) * b.tile;
        const uint64_t* a_bits = a.axis->result_bits.data() + a0;
        const uint64_t* b_bits = b.axis->result_bits.data() + b0;
        if (kernel) {
          WriteTile(a_planes.data() + 2 * a0 * depth, a.tile, b.rows->data() + b0 * depth, b.tile,
                    depth, a_bits, b_bits, out, sums.data());
          continue;
        }
        TileProduct(a, a0, b, b0, depth, g);
        const uint64_t column = a.tile * a.outer;
        for (uint64_t j = 0; j < b.tile; ++j) {
          T* base = out + b_bits[j];
          for (uint64_t i = 0; i < a.tile; ++i) {
            if constexpr (std::is_same_v<T, double>) {
              double sum = 0.0;
              for (uint64_t ob = 0; ob < b.outer; ++ob) {
                const Complex* entries = g.data() + (j * b.outer + ob) * column + i * a.outer;
                for (uint64_t oa = 0; oa < a.outer; ++oa) sum += std::norm(entries[oa]);
              }
              base[a_bits[i]] = sum;
            } else {
              base[a_bits[i]] = g(Idx(i), Idx(j));
            }
          }
        }
      } catch (...) {
        keep_failure();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}

// The engine with the qubits at `positions` gathered into one block
// (`targets`), for a read-out whose result takes `result_bytes`. Gathering
// moves qubits, so it works on a copy, whose size `copy_bytes` is counted;
// a block already in one piece is read where it is (no copy, null).
std::unique_ptr<MpsSimulator> GatheredCopy(const MpsSimulator& engine,
                                           const std::vector<uint64_t>& positions,
                                           uint64_t result_bytes, std::vector<uint64_t>& targets,
                                           uint64_t& copy_bytes) {
  std::vector<uint64_t> sorted;
  MpsSimulator::FindCentralizedIndices(positions, sorted, targets);
  copy_bytes = 0;
  if (sorted == targets) return nullptr;
  copy_bytes = ChainBytes(engine.chain(), engine.bonds());
  RequireBytes(Add(result_bytes, copy_bytes));
  auto copy = std::make_unique<MpsSimulator>(engine);
  copy->CentralizeQubits(positions, targets);
  return copy;
}

}  // namespace

// a := a * w for the rows x c array at the front of `data`, in place: old
// rows are set aside in blocks through `scratch`, from the end when rows
// widen and from the start when they narrow, so that no old row is
// overwritten before it has been read.
void MultiplyRowsInPlace(Complex* data, uint64_t rows, const Complex* w, uint64_t c, uint64_t wc,
                         std::vector<Complex>& scratch) {
  const uint64_t per = std::max<uint64_t>(1, kScratchEntries / std::max<uint64_t>({c, wc, 1}));
  if (scratch.size() < per * c) scratch.resize(per * c);
  const ConstRowMap right(w, Idx(c), Idx(wc));
  auto step = [&](uint64_t begin, uint64_t end) {
    std::copy(data + begin * c, data + end * c, scratch.data());
    RowMap(data + begin * wc, Idx(end - begin), Idx(wc)).noalias() =
        ConstRowMap(scratch.data(), Idx(end - begin), Idx(c)) * right;
  };
  if (wc >= c) {
    for (uint64_t end = rows; end > 0;) {
      const uint64_t begin = end > per ? end - per : 0;
      step(begin, end);
      end = begin;
    }
  } else {
    for (uint64_t begin = 0; begin < rows;) {
      const uint64_t end = std::min(rows, begin + per);
      step(begin, end);
      begin = end;
    }
  }
}

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

int MpsSimulator::ReadOutThreads(uint64_t items) const {
  return items >= kParallelReadOutEntries && UseParallel(items) ? thread_count_ : 1;
}

// ---- numeric read-outs ----

std::vector<Complex> MpsSimulator::GetStateVector() {
  if (n_ > kStateVectorMaxQubits) throw RunTimeError(kStateVectorTooLarge);
  RequireChain();
  RestoreQubitOrder();
  const Block block(chain_, bonds_, 0, n_ - 1);
  const uint64_t size = PowerOfTwo(n_);
  const int threads = ReadOutThreads(size);
  const Plan plan = ChoosePlan(block, static_cast<uint64_t>(threads));
  RequireBytes(Add(Mul(size, sizeof(Complex)), plan.working_bytes));
  // The chain is in natural order: the block's leftmost position, qubit 0,
  // becomes bit 0.
  std::vector<unsigned> targets(n_);
  for (unsigned m = 0; m < n_; ++m) targets[m] = static_cast<unsigned>(n_ - 1 - m);
  std::vector<Complex> amplitudes(size);
  ContractBlockInto(block, plan, targets, amplitudes.data(), threads);
  return amplitudes;
}

std::vector<double> MpsSimulator::SubsetProbabilities(const std::vector<uint64_t>& qubits,
                                                      bool requested_order) const {
  CheckReadOutQubits(qubits);
  const uint64_t k = qubits.size();
  const uint64_t size = PowerOfTwo(k);
  const uint64_t result_bytes = Mul(size, sizeof(double));
  RequireBytes(result_bytes);
  const std::vector<uint64_t> positions = PositionsOf(qubits);
  uint64_t copy_bytes = 0;
  std::vector<uint64_t> targets;
  const std::unique_ptr<MpsSimulator> copy =
      GatheredCopy(*this, positions, result_bytes, targets, copy_bytes);
  const MpsSimulator& source = copy ? *copy : *this;
  const Block block(source.chain(), source.bonds(), targets.front(), targets.back());
  const int threads = ReadOutThreads(size);
  const Plan plan = ChoosePlan(block, static_cast<uint64_t>(threads));
  RequireBytes(Add(Add(result_bytes, copy_bytes), plan.working_bytes));
  std::vector<double> probabilities(size);
  ContractBlockInto(block, plan, ResultBits(k, requested_order ? &positions : nullptr),
                    probabilities.data(), threads);
  return probabilities;
}

std::vector<double> MpsSimulator::ComputeSubsetProbabilities(
    const std::vector<uint64_t>& qubits) const {
  return SubsetProbabilities(qubits, false);
}

std::vector<double> MpsSimulator::GetProbabilities(std::vector<uint64_t> qubits) const {
  return SubsetProbabilities(qubits, true);
}

Matrix MpsSimulator::GetDensityMatrix(std::vector<uint64_t> qubits) const {
  CheckReadOutQubits(qubits);
  const uint64_t k = qubits.size();
  const uint64_t dimension = PowerOfTwo(k);
  const uint64_t result_bytes =
      Add(Mul(Mul(dimension, dimension), sizeof(Complex)), Mul(dimension, sizeof(uint64_t)));
  RequireBytes(result_bytes);
  const std::vector<uint64_t> positions = PositionsOf(qubits);
  uint64_t copy_bytes = 0;
  std::vector<uint64_t> targets;
  const std::unique_ptr<MpsSimulator> copy =
      GatheredCopy(*this, positions, result_bytes, targets, copy_bytes);
  const MpsSimulator& source = copy ? *copy : *this;
  const Block block(source.chain(), source.bonds(), targets.front(), targets.back());
  const uint64_t chi_l = block.outer_left();
  const uint64_t chi_r = block.outer_right();
  // Row i of the density matrix is the merged factor of index i, its entries
  // (outer left, outer right) laid out along one row: rho = M M^H.
  const SweepShape shape = ShapeOf(block, k, true);
  const uint64_t width = Mul(chi_l, chi_r);
  const uint64_t working = Add(Add(shape.peak, Mul(dimension, width)), kScratchEntries);
  RequireBytes(Add(Add(result_bytes, copy_bytes), Mul(working, sizeof(Complex))));

  std::vector<uint64_t> index(dimension);  // result index of each block index
  {
    const std::vector<unsigned> bits = ResultBits(k, &positions);
    index[0] = 0;
    for (uint64_t m = 1; m < dimension; ++m) {
      index[m] = index[m & (m - 1)] | (uint64_t{1} << bits[LowestBit(m)]);
    }
  }
  const Eigen::Index size = static_cast<Eigen::Index>(dimension);
  Matrix factors(size, static_cast<Eigen::Index>(width));
  {
    SweepShape swept;
    const std::vector<Complex> sweep = Sweep(block, k, true, swept);
    for (uint64_t l = 0; l < chi_l; ++l) {
      for (uint64_t m = 0; m < dimension; ++m) {
        const Complex* row = sweep.data() + (l * dimension + m) * chi_r;
        const Eigen::Index i = static_cast<Eigen::Index>(index[m]);
        for (uint64_t r = 0; r < chi_r; ++r) {
          factors(i, static_cast<Eigen::Index>(l * chi_r + r)) = row[r] * block.OuterRightWeight(r);
        }
      }
    }
  }

  Matrix rho(size, size);
  const Eigen::Index blocks = (size + kDensityColumns - 1) / kDensityColumns;
  const bool parallel = hardware_threads_ >= 0 && thread_count_ > 1 &&
                        static_cast<uint32_t>(dimension) > static_cast<uint32_t>(hardware_threads_);
  const int threads = parallel ? thread_count_ : 1;
  (void)threads;
  std::exception_ptr failure;
  // Columns j0.. of the upper triangle, then the lower one as their
  // conjugates: the matrix is Hermitian to the last bit, its diagonal real.
#ifdef _OPENMP
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (parallel)
#endif
  for (Eigen::Index b = 0; b < blocks; ++b) {
    try {
      const Eigen::Index j0 = b * kDensityColumns;
      const Eigen::Index width_b = std::min(kDensityColumns, size - j0);
      const Eigen::Index rows = j0 + width_b;
      rho.block(0, j0, rows, width_b).noalias() =
          factors.topRows(rows) * factors.middleRows(j0, width_b).adjoint();
      for (Eigen::Index j = j0; j < j0 + width_b; ++j) {
        rho(j, j) = Complex(rho(j, j).real(), 0.0);
        for (Eigen::Index i = j0; i < j; ++i) rho(j, i) = std::conj(rho(i, j));
      }
    } catch (...) {
#ifdef _OPENMP
#pragma omp critical(velorin_density_failure)
#endif
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
  // The rest of the lower triangle, in square tiles so both sides stay cached.
  for (Eigen::Index j0 = 0; j0 < size; j0 += kDensityColumns) {
    for (Eigen::Index i0 = j0 + kDensityColumns; i0 < size; i0 += kDensityColumns) {
      const Eigen::Index rows = std::min(kDensityColumns, size - i0);
      const Eigen::Index cols = std::min(kDensityColumns, size - j0);
      rho.block(i0, j0, rows, cols) = rho.block(j0, i0, cols, rows).adjoint();
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
