// BLAS and LAPACK from the OpenBLAS build that ships as the Python package
// scipy-openblas32 (its symbols carry the prefix "scipy_"). The library is
// opened on first use, not at load, so that its thread pool starts only when
// the engine asks for more than one thread.
#pragma once

#include <complex>
#include <cstdint>

namespace velorin::platform {

using BlasComplex = std::complex<double>;

struct BlasLibrary {
  // LAPACKE_zgesdd, column-major layout code 102.
  int32_t (*zgesdd)(int layout, char jobz, int32_t m, int32_t n, BlasComplex* a, int32_t lda,
                    double* s, BlasComplex* u, int32_t ldu, BlasComplex* vt, int32_t ldvt);
  // cblas_zgemm with the enumerations as their integer codes.
  void (*zgemm)(int order, int trans_a, int trans_b, int32_t m, int32_t n, int32_t k,
                const void* alpha, const void* a, int32_t lda, const void* b, int32_t ldb,
                const void* beta, void* c, int32_t ldc);
  void (*set_num_threads)(int threads);
};

constexpr int kBlasColumnMajor = 102;
constexpr int kBlasNoTrans = 111;

// The library's functions; null when it cannot be found, in which case the
// callers compute without it. Thread-safe; the first call opens the library.
const BlasLibrary* Blas();

// Where the library was opened from, or an empty string.
const char* BlasPath();

// The library's thread count, set only when it changes.
void SetBlasThreads(int threads);

}  // namespace velorin::platform
