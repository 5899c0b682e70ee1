// libFuzzer target of the byte-form decoders. The first byte picks the form
// (circuit, result or register), the rest are its bytes. Whatever decodes is
// then used the way a program would, and must encode back to the very same
// bytes: a decoder that lets through what the rest of the program cannot
// take shows up here as a sanitizer report.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "circuit/serialize.h"
#include "composite/transform.h"
#include "draw/circuit_drawer.h"
#include "engine/mps_simulator.h"
#include "runtime/result.h"

namespace {

using velorin::QuantumCircuit;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// Each use may refuse with an error of its own: that is not a fault.
template <class Use>
void Try(Use use) {
  try {
    use();
  } catch (const std::exception&) {
  }
}

void UseCircuit(QuantumCircuit& qc) {
  Try([&] { qc.qasm(false, "", ""); });
  Try([&] { velorin::CircuitDrawer(qc, true, true, 80); });
  Try([&] { velorin::count_ops(qc); });
  Try([&] { qc.size(); });
  Try([&] { qc.depth(); });
  Try([&] { qc.qubits(); });
  // A classical register is as large as its maker chose (the constructors cap
  // only qubits), so listing its bits may cost what the maker asked for.
  int64_t clbit_total = 0;
  for (const auto& reg : qc.classical_registers) clbit_total += reg->size();
  if (clbit_total <= (int64_t{1} << 20)) Try([&] { qc.clbits(); });
  Try([&] { velorin::num_connected_components(qc, false); });
  Try([&] { velorin::num_tensor_factors(qc); });
  for (int32_t q = 0; q < 3; ++q) {
    Try([&] { velorin::qubit_start_time(qc, q); });
    Try([&] { velorin::qubit_duration(qc, q); });
  }
  Try([&] { velorin::qubit_end_time(qc); });
  Try([&] { velorin::inverse(qc, false)->qasm(false, "", ""); });
  Try([&] { velorin::reverse_bits(qc)->qasm(false, "", ""); });
  Try([&] { velorin::repeat(qc, 2)->qasm(false, "", ""); });
  Try([&] { velorin::control(qc, 1, "", "")->qasm(false, "", ""); });
}

void UseResult(const velorin::Result& result) {
  Try([&] { result.get_counts(); });
  Try([&] { result.to_dict(); });
  // Read-outs of many qubits are refused for their memory by the bindings.
  if (result.engine_qubits() > 10) return;
  Try([&] { result.get_probabilities(); });
  Try([&] { result.get_densitymatrix(); });
  Try([&] { result.get_unitary(); });
  Try([&] { result.get_classicalregister(); });
  Try([&] { result.get_statevector(); });
}

template <class R>
void CheckRegister(const std::string& bytes) {
  std::unique_ptr<R> reg;
  try {
    reg = velorin::DecodeRegister<R>(bytes);
  } catch (const velorin::DecodeError&) {
    return;
  }
  if (velorin::EncodeRegister(*reg) != bytes) Fail("a register encodes to other bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 5) {
    case 0: {
      std::unique_ptr<QuantumCircuit> qc;
      try {
        qc = velorin::DecodeCircuit(bytes);
      } catch (const velorin::DecodeError&) {
        return 0;
      }
      if (velorin::EncodeCircuit(*qc) != bytes) Fail("a circuit encodes to other bytes");
      UseCircuit(*qc);
      break;
    }
    case 1: {
      std::shared_ptr<velorin::Result> result;
      try {
        result = velorin::Result::Decode(bytes);
      } catch (const velorin::DecodeError&) {
        return 0;
      }
      if (result->Encode() != bytes) Fail("a result encodes to other bytes");
      UseResult(*result);
      break;
    }
    case 2: CheckRegister<velorin::QuantumRegister>(bytes); break;
    case 3: CheckRegister<velorin::AncillaRegister>(bytes); break;
    default: CheckRegister<velorin::ClassicalRegister>(bytes); break;
  }
  return 0;
}
