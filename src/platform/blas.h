// BLAS and LAPACK from the OpenBLAS build that ships as the Python package
// scipy-openblas32 (its symbols carry the prefix "scipy_"). The library is
// opened once, from the path its package reports, by whoever hosts the
// engine: the module at import, native programs at start.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <string>

namespace velorin::platform {

using BlasComplex = std::complex<double>;

struct BlasLibrary {
  // LAPACKE_zgesdd_work, column-major layout code 102: the caller owns every
  // workspace.
  int32_t (*zgesdd_work)(int layout, char jobz, int32_t m, int32_t n, BlasComplex* a, int32_t lda,
                         double* s, BlasComplex* u, int32_t ldu, BlasComplex* vt, int32_t ldvt,
                         BlasComplex* work, int32_t lwork, double* rwork, int32_t* iwork);
  // cblas_zgemm with the enumerations as their integer codes.
  void (*zgemm)(int order, int trans_a, int trans_b, int32_t m, int32_t n, int32_t k,
                const void* alpha, const void* a, int32_t lda, const void* b, int32_t ldb,
                const void* beta, void* c, int32_t ldc);
  void (*set_num_threads)(int threads);
};

constexpr int kBlasColumnMajor = 102;
constexpr int kBlasNoTrans = 111;

// Opens the library at the absolute path `locate` returns, unless one is open
// already. `locate` runs in the environment the library must first load in
// (its pool limited to one thread): finding the library may load it. Returns
// an empty string on success, else why it failed (nothing is kept open then);
// what `locate` throws passes through. Thread-safe; the first success wins.
std::string LoadBlas(const std::function<std::string()>& locate);
std::string LoadBlas(const std::string& path);

// The library's functions; null until LoadBlas succeeded.
const BlasLibrary* Blas();

// Where the library was opened from, or an empty string.
std::string BlasPath();

// The library's thread count, set only when it changes.
void SetBlasThreads(int threads);

}  // namespace velorin::platform
