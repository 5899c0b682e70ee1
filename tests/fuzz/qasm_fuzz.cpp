// libFuzzer target: any bytes given to the OpenQASM reader. A program that
// reads must also write, and the written text must read back.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "qasm/qasm2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string written;
  try {
    velorin::qasm2 reader;
    auto circuit = reader.loads(text, "", "append", false);
    written = circuit->qasm(false, "", "");
  } catch (const std::exception&) {
    return 0;  // refused with a message: what a bad program must get
  }
  try {
    velorin::qasm2 reader;
    reader.loads(written, "", "append", false);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "written text does not read back: %s\n%s\n", e.what(), written.c_str());
    std::abort();
  }
  return 0;
}
