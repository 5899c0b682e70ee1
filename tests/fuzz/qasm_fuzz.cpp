// libFuzzer target. The bytes are read twice: as an OpenQASM program, and as
// a script of gate methods, composites and transformations building a
// circuit. Whatever circuit comes out must write as text that reads back,
// and the circuit read back must write the very same text again.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "circuit/errors.h"
#include "circuit/gate_families.h"
#include "composite/composite_gates.h"
#include "composite/transform.h"
#include "qasm/qasm2.h"

namespace {

using velorin::QuantumCircuit;

[[noreturn]] void Fail(const char* what, const std::string& detail, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n%s\n", what, detail.c_str(), text.c_str());
  std::abort();
}

// Writes the circuit; a refusal with a message is a fine outcome. Anything
// written must read back and write the same text once more.
void CheckRoundTrip(const QuantumCircuit& circuit) {
  std::string text;
  try {
    text = circuit.qasm(false, "", "");
  } catch (const velorin::RunTimeError&) {
    return;
  }
  std::string again;
  try {
    velorin::qasm2 reader;
    again = reader.loads(text, "", "append", false)->qasm(false, "", "");
  } catch (const std::exception& e) {
    // Under the fuzzer's small cap a text may take more records than the
    // circuit it was written from: a definition of a gate the include lacks
    // stands for one record. Refusing it is a limit, not a fault.
    const std::string limit =
        velorin::kQasmErrorMessages[velorin::qasm_error::kRecordLimit];
    if (std::string(e.what()).rfind("Error " + limit + " in line ", 0) == 0) return;
    Fail("written text does not read back", e.what(), text);
  }
  if (again != text) Fail("written text reads back as another circuit", again, text);
}

class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool done() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : Byte() % n; }

  double Angle() {
    static const double kSpecial[] = {0.0,  -0.0,   3.141592653589793, 1e-9, 0.123456789,
                                      1e300, 5e-324, std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(), 1e-60};
    const uint8_t b = Byte();
    if (b >= 246) return kSpecial[b - 246];
    return (static_cast<int>(b) - 123) * 3.141592653589793 / 32;
  }

  // Distinct qubits of a circuit with n of them, k at most n.
  std::vector<uint64_t> Qubits(uint64_t n, uint64_t k) {
    std::vector<uint64_t> all;
    for (uint64_t q = 0; q < n; ++q) all.push_back(q);
    for (uint64_t i = 0; i + 1 < n; ++i) std::swap(all[i], all[i + Below(n - i)]);
    all.resize(k);
    return all;
  }

  std::string Label() {
    static const char* const kLabels[] = {"", "bell", "Bell", "ccx", "CCX", "r", "ecr", "x_1",
                                          "my gate", "9", "rv_1", "q0", "c0"};
    return kLabels[Below(sizeof kLabels / sizeof *kLabels)];
  }

  // One gate, composite or transformation on qc; depth bounds the nesting.
  void Step(QuantumCircuit& qc, int depth) {
    const uint64_t n = qc.total_qubits;
    std::unique_ptr<velorin::Gate> gate;
    switch (Below(9)) {
      case 0: case 1: {
        const auto& families = velorin::OneQubitFamilies();
        const auto& family = families[Below(families.size())];
        std::vector<double> params;
        for (size_t i = 0; i < family.param_names.size(); ++i) params.push_back(Angle());
        gate = qc.OneQubitGate(family, params, Qubits(n, 1)[0], Label());
        break;
      }
      case 2: case 3: {
        if (n < 2) return;
        const auto& families = velorin::TwoQubitFamilies();
        const auto& family = families[Below(families.size())];
        std::vector<double> params;
        for (size_t i = 0; i < family.param_names.size(); ++i) params.push_back(Angle());
        const auto q = Qubits(n, 2);
        gate = qc.TwoQubitGate(family, params, q[0], q[1], "");
        break;
      }
      case 4: {
        if (n < 3) return;
        const auto q = Qubits(n, n);
        switch (Below(n >= 5 ? 11 : n >= 4 ? 10 : 5)) {
          case 0: gate = velorin::ccx(qc, q[0], q[1], q[2], Label()); break;
          case 1: gate = velorin::ccz(qc, q[0], q[1], q[2], Label()); break;
          case 2: gate = velorin::cswap(qc, q[0], q[1], q[2], Label()); break;
          case 3: gate = velorin::rccx(qc, q[0], q[1], q[2], Label()); break;
          case 4:
            gate = velorin::pauli(
                qc, {static_cast<int64_t>(q[0]), static_cast<int64_t>(q[1])}, "XY", Label());
            break;
          case 5: gate = velorin::rc3x(qc, q[0], q[1], q[2], q[3], Label()); break;
          case 6: gate = velorin::c3x(qc, q[0], q[1], q[2], q[3], Label()); break;
          case 7: gate = velorin::c3sqrtx(qc, q[0], q[1], q[2], q[3], Label()); break;
          case 8: gate = velorin::gms(qc, Angle(), {0, 1, 2, 3}, Label()); break;
          case 9: {
            const std::vector<int64_t> controls{static_cast<int64_t>(q[1]),
                                                static_cast<int64_t>(q[2]),
                                                static_cast<int64_t>(q[3])};
            gate = velorin::mcx(qc, controls, q[0], {}, "noancilla", Label());
            break;
          }
          default: gate = velorin::c4x(qc, q[0], q[1], q[2], q[3], q[4], Label()); break;
        }
        break;
      }
      case 5: {
        if (n < 2) return;
        const auto q = Qubits(n, n);
        std::vector<int64_t> controls;
        const uint64_t count = 1 + Below(n - 1);
        for (uint64_t i = 1; i <= count; ++i) controls.push_back(static_cast<int64_t>(q[i]));
        const double angle = Angle();
        switch (Below(4)) {
          case 0: gate = velorin::mcp(qc, angle, controls, q[0], Label()); break;
          case 1: gate = velorin::mcrx(qc, angle, controls, q[0], false, Label()); break;
          case 2: gate = velorin::mcry(qc, angle, controls, q[0], false, Label()); break;
          default: gate = velorin::mcrz(qc, angle, controls, q[0], false, Label()); break;
        }
        break;
      }
      case 6: {
        const uint64_t q = Qubits(n, 1)[0];
        switch (Below(4)) {
          case 0: gate = qc.measure(q, q, ""); break;
          case 1: gate = qc.reset(q, ""); break;
          case 2: gate = qc.delay(static_cast<int32_t>(Byte()), q, "ns", ""); break;
          default: {
            std::vector<int64_t> list;
            for (uint64_t p : Qubits(n, 1 + Below(n))) list.push_back(static_cast<int64_t>(p));
            gate = qc.barrier(list, "");
          }
        }
        break;
      }
      default:
        if (depth < 3) Attach(qc, depth);
        return;
    }
    // A condition on the gate just made: on the register or on one bit.
    if (gate && Below(4) == 0) {
      if (Below(2) == 0 && !qc.classical_registers.empty()) {
        gate->c_if(*qc.classical_registers.front(), Below(uint64_t{1} << n));
      } else {
        gate->c_if(Below(n), Below(2));
      }
    }
  }

  // A circuit made by steps of its own, attached as a composite.
  void Attach(QuantumCircuit& qc, int depth) {
    const uint64_t n = qc.total_qubits;
    const uint64_t k = 1 + Below(n);
    QuantumCircuit sub(k, k, Below(2) ? Label() : "", 0.0);
    for (uint64_t i = 0, steps = 1 + Below(4); i < steps && !done(); ++i) Step(sub, depth + 1);
    const auto chosen = Qubits(n, n);
    std::vector<int64_t> every(chosen.begin(), chosen.end());
    std::vector<int64_t> first(every.begin(), every.begin() + static_cast<std::ptrdiff_t>(k));
    switch (Below(6)) {
      case 0:
        velorin::append(qc, sub, every, every);
        break;
      case 1: {
        auto gate = velorin::to_gate(sub, {}, Label());
        velorin::append(qc, *gate, first, first);
        break;
      }
      case 2:
        velorin::compose(qc, sub, first, first, false, true);
        break;
      case 3:
        velorin::compose(qc, *velorin::inverse(sub, false), first, first, false, true);
        break;
      case 4:
        velorin::compose(qc, *velorin::repeat(sub, 2), first, first, false, true);
        break;
      default: {
        if (k >= n) return;
        auto controlled = velorin::control(sub, 1, Label(), "");
        std::vector<int64_t> qubits(every.begin(),
                                    every.begin() + static_cast<std::ptrdiff_t>(k + 1));
        velorin::compose(qc, *controlled, qubits, {}, false, true);
      }
    }
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void Build(const uint8_t* data, size_t size) {
  Script script(data, size);
  const uint64_t n = 1 + script.Below(5);
  std::unique_ptr<QuantumCircuit> qc;
  try {
    qc = std::make_unique<QuantumCircuit>(n, n, "", 0.0);
    for (int i = 0; i < 48 && !script.done(); ++i) script.Step(*qc, 0);
  } catch (const std::exception&) {
    return;  // a refused call: nothing to write
  }
  CheckRoundTrip(*qc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<QuantumCircuit> loaded;
  try {
    velorin::qasm2 reader;
    loaded = reader.loads(text, "", "append", false);
  } catch (const std::exception&) {
    loaded.reset();  // refused with a message: what a bad program must get
  }
  if (loaded) CheckRoundTrip(*loaded);
  Build(data, size);
  return 0;
}
