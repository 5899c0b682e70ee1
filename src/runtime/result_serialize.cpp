// A result's byte form: its texts, shots and the engine's chain.
#include <stdexcept>

#include "circuit/serialize.h"
#include "engine/mps_simulator.h"
#include "runtime/result.h"

namespace velorin {

namespace {

constexpr char kResultMagic[5] = "VLRS";
constexpr uint32_t kResultFormatVersion = 1;

void WriteMatrix(ByteWriter& w, const Matrix& m) {
  w.U64(static_cast<uint64_t>(m.rows()));
  w.U64(static_cast<uint64_t>(m.cols()));
  for (Eigen::Index c = 0; c < m.cols(); ++c) {
    for (Eigen::Index r = 0; r < m.rows(); ++r) w.C128(m(r, c));
  }
}

Matrix ReadMatrix(ByteReader& r) {
  const uint64_t rows = r.U64();
  const uint64_t cols = r.U64();
  if (rows > kUnlimitedBondDimension || cols > kUnlimitedBondDimension ||
      (cols != 0 && rows > r.left() / 16 / cols)) {
    r.Fail("a factor is larger than the bytes");
  }
  Matrix m(static_cast<Eigen::Index>(rows), static_cast<Eigen::Index>(cols));
  // An empty side holds no entries, however long the other one claims to be.
  if (rows == 0) return m;
  for (uint64_t c = 0; c < cols; ++c) {
    for (uint64_t row = 0; row < rows; ++row) {
      m(static_cast<Eigen::Index>(row), static_cast<Eigen::Index>(c)) = r.C128();
    }
  }
  return m;
}

void WriteI64s(ByteWriter& w, const std::vector<int64_t>& v) {
  w.List(v, [](ByteWriter& out, int64_t x) { out.I64(x); });
}
std::vector<int64_t> ReadI64s(ByteReader& r) {
  return r.List<int64_t>(8, [](ByteReader& in) { return in.I64(); });
}

void WriteEngine(ByteWriter& w, const MpsSimulator& e) {
  w.U64(e.num_qubits());
  w.F64(e.global_phase());
  w.U64(e.max_bond_dimension());
  w.List(e.chain(), [](ByteWriter& out, const QubitTensor& site) {
    out.List(site.factors, [](ByteWriter& o, const Matrix& m) { WriteMatrix(o, m); });
  });
  w.List(e.bonds(), [](ByteWriter& out, const BondValues& bond) {
    out.List(bond, [](ByteWriter& o, double v) { o.F64(v); });
  });
  WriteI64s(w, e.measured_values());
  WriteI64s(w, e.position_to_qubit());
  WriteI64s(w, e.qubit_to_position());
}

std::unique_ptr<MpsSimulator> ReadEngine(ByteReader& r) {
  MpsSimulator::SavedChain saved;
  saved.num_qubits = r.U64();
  saved.global_phase = r.F64();
  saved.max_bond_dimension = r.U64();
  saved.chain = r.List<QubitTensor>(8, [](ByteReader& in) {
    QubitTensor site;
    site.factors = in.List<Matrix>(16, [](ByteReader& i) { return ReadMatrix(i); });
    return site;
  });
  saved.bonds = r.List<BondValues>(8, [](ByteReader& in) {
    return in.List<double>(8, [](ByteReader& i) { return i.F64(); });
  });
  saved.measured = ReadI64s(r);
  saved.position_to_qubit = ReadI64s(r);
  saved.qubit_to_position = ReadI64s(r);
  try {
    return MpsSimulator::Restore(std::move(saved));
  } catch (const std::invalid_argument& e) {
    r.Fail(e.what());
  } catch (const std::range_error& e) {
    r.Fail(e.what());
  }
}

}  // namespace

std::string Result::Encode() const {
  ByteWriter w;
  w.Raw(std::string(kResultMagic, 4));
  w.U32(kResultFormatVersion);
  w.Str(backend_name);
  w.Str(backend_version);
  w.Str(qobj_id);
  w.Str(job_id);
  w.Str(date);
  w.Str(header);
  std::lock_guard lock(mutex_);
  w.Bool(success_);
  w.List(results_, [](ByteWriter& out, const std::string& s) { out.Str(s); });
  w.Bool(engine_ != nullptr);
  if (engine_) WriteEngine(w, *engine_);
  return w.Take();
}

std::shared_ptr<Result> Result::Decode(const std::string& bytes) {
  ByteReader r(bytes, "Result");
  r.Header(kResultMagic, kResultFormatVersion);
  std::string backend_name = r.Str();
  std::string backend_version = r.Str();
  std::string qobj_id = r.Str();
  std::string job_id = r.Str();
  std::string date = r.Str();
  std::string header = r.Str();
  const bool success = r.Bool();
  std::vector<std::string> results =
      r.List<std::string>(8, [](ByteReader& in) { return in.Str(); });
  if (results.size() > kMaxStoredShots) r.Fail("more shots than a result keeps");
  std::unique_ptr<MpsSimulator> engine;
  if (r.Bool()) engine = ReadEngine(r);
  r.End();
  auto result = std::make_shared<Result>(std::move(backend_name), std::move(backend_version),
                                         std::move(qobj_id), std::move(job_id), std::move(date),
                                         "Functional", std::move(header));
  std::lock_guard lock(result->mutex_);
  result->results_ = std::move(results);
  result->engine_ = std::move(engine);
  result->success_ = success;
  return result;
}

}  // namespace velorin
