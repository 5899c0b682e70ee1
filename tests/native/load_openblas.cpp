// Native test and bench programs open the library their build found, before
// main: the module asks the Python package instead, at import.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/blas.h"

namespace {

struct OpenAtStart {
  OpenAtStart() {
    const std::string failure = velorin::platform::LoadBlas(VELORIN_PROGRAM_OPENBLAS);
    if (!failure.empty()) {
      std::fprintf(stderr, "cannot open OpenBLAS: %s\n", failure.c_str());
      std::exit(2);
    }
  }
} gOpenAtStart;

}  // namespace
