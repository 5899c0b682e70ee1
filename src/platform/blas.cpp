#include "platform/blas.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <type_traits>

#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <cblas.h>
#include <lapacke.h>

namespace velorin::platform {

namespace {

// The declarations above must agree with the library's own headers.
static_assert(std::is_same_v<lapack_int, int32_t>, "32-bit LAPACK integers expected");
static_assert(std::is_same_v<blasint, int32_t>, "32-bit BLAS integers expected");
static_assert(std::is_same_v<decltype(&scipy_LAPACKE_zgesdd),
                             decltype(std::declval<BlasLibrary>().zgesdd)>);
static_assert(std::is_same_v<decltype(&scipy_openblas_set_num_threads),
                             decltype(std::declval<BlasLibrary>().set_num_threads)>);
static_assert(CblasColMajor == kBlasColumnMajor && CblasNoTrans == kBlasNoTrans);

constexpr const char* kLibraryName = "libscipy_openblas.so";

// The folder of the shared object (or program) this code was linked into.
std::string OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Sets an environment variable for the lifetime of the object, then puts back
// what was there.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    const char* previous = std::getenv(name);
    had_ = previous != nullptr;
    if (had_) saved_ = previous;
    setenv(name, value, 1);
  }
  ~ScopedVariable() {
    if (had_) {
      setenv(name_, saved_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

// Opens the library with its pool limited to the calling thread: OpenBLAS
// reads its thread count from the environment once, while it loads, and a
// larger pool would spin on every core for a while after the load. Its
// threads also wait for new work a shorter while (2^24 cycles, a few
// milliseconds, instead of 2^28) before they sleep: long enough to bridge the
// gaps between the library calls inside one decomposition (shorter waits made
// two threads slower than one), short enough not to hold cores long after it.
void* OpenWithoutPool(const std::string& path) {
  ScopedVariable threads("OPENBLAS_NUM_THREADS", "1");
  ScopedVariable timeout("OPENBLAS_THREAD_TIMEOUT", "24");
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

struct Loaded {
  BlasLibrary library{};
  std::string path;
  bool ok = false;
};

Loaded Load() {
  Loaded loaded;
  // Beside the module where pip installs both; then where the build found
  // it; then the loader's own search path.
  std::string candidates[3];
  const std::string folder = OwnFolder();
  if (!folder.empty()) candidates[0] = folder + "/scipy_openblas32/lib/" + kLibraryName;
#ifdef VELORIN_OPENBLAS_LIBRARY
  candidates[1] = VELORIN_OPENBLAS_LIBRARY;
#endif
  candidates[2] = kLibraryName;
  for (const std::string& candidate : candidates) {
    if (candidate.empty()) continue;
    void* handle = OpenWithoutPool(candidate);
    if (handle == nullptr) continue;
    auto zgesdd = dlsym(handle, "scipy_LAPACKE_zgesdd");
    auto zgemm = dlsym(handle, "scipy_cblas_zgemm");
    auto threads = dlsym(handle, "scipy_openblas_set_num_threads");
    if (zgesdd == nullptr || zgemm == nullptr || threads == nullptr) {
      dlclose(handle);
      continue;
    }
    loaded.library.zgesdd = reinterpret_cast<decltype(loaded.library.zgesdd)>(zgesdd);
    loaded.library.zgemm = reinterpret_cast<decltype(loaded.library.zgemm)>(zgemm);
    loaded.library.set_num_threads =
        reinterpret_cast<decltype(loaded.library.set_num_threads)>(threads);
    loaded.path = candidate;
    loaded.ok = true;
    // Never closed: its threads may outlive any owner of ours.
    break;
  }
  return loaded;
}

const Loaded& Library() {
  static const Loaded loaded = Load();
  return loaded;
}

}  // namespace

const BlasLibrary* Blas() {
  const Loaded& loaded = Library();
  return loaded.ok ? &loaded.library : nullptr;
}

const char* BlasPath() { return Library().path.c_str(); }

void SetBlasThreads(int threads) {
  static std::atomic<int> current{1};
  static std::mutex mutex;
  const BlasLibrary* blas = Blas();
  if (blas == nullptr || threads < 1 || current.load() == threads) return;
  std::lock_guard<std::mutex> lock(mutex);
  if (current.exchange(threads) != threads) blas->set_num_threads(threads);
}

}  // namespace velorin::platform
