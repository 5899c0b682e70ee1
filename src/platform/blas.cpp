#include "platform/blas.h"
#include "platform/fork.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
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
static_assert(std::is_same_v<decltype(&scipy_LAPACKE_zgesdd_work),
                             decltype(std::declval<BlasLibrary>().zgesdd_work)>);
static_assert(std::is_same_v<decltype(&scipy_openblas_set_num_threads),
                             decltype(std::declval<BlasLibrary>().set_num_threads)>);
static_assert(CblasColMajor == kBlasColumnMajor && CblasNoTrans == kBlasNoTrans);

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

// The environment the library loads in: its pool limited to the calling
// thread, since OpenBLAS reads its thread count from the environment once,
// while it loads, and a larger pool would spin on every core for a while
// after the load. Its threads also wait for new work a shorter while (2^24
// cycles, a few milliseconds, instead of 2^28) before they sleep: long enough
// to bridge the gaps between the library calls inside one decomposition
// (shorter waits made two threads slower than one), short enough not to hold
// cores long after it.
struct LoadEnvironment {
  ScopedVariable threads{"OPENBLAS_NUM_THREADS", "1"};
  ScopedVariable timeout{"OPENBLAS_THREAD_TIMEOUT", "24"};
};

std::mutex gLoadMutex;             // guards the loading below
BlasLibrary gLibrary{};            // written once, under gLoadMutex, before gLoaded
// Where it came from; built on first use, since a native program loads the
// library from a static initializer of its own, maybe before ours run.
std::string& LoadedPath() {
  static std::string path;  // written once, under gLoadMutex, before gLoaded
  return path;
}
std::atomic<bool> gLoaded{false};  // published with release, read with acquire

}  // namespace

std::string LoadBlas(const std::function<std::string()>& locate) {
  std::lock_guard<std::mutex> lock(gLoadMutex);
  if (gLoaded.load(std::memory_order_acquire)) return {};
  void* handle = nullptr;
  std::string path;
  {
    LoadEnvironment environment;
    path = locate();
    // Only a path we were given: a bare name would let the loader search
    // folders nobody chose.
    if (path.empty() || path[0] != '/') return "not an absolute path: " + path;
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr) {
    const char* why = dlerror();
    return why != nullptr ? std::string(why) : "cannot open " + path;
  }
  BlasLibrary library{};
  const char* missing = nullptr;
  auto resolve = [&](auto& field, const char* name) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr && missing == nullptr) missing = name;
    field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(symbol);
  };
  resolve(library.zgesdd_work, "scipy_LAPACKE_zgesdd_work");
  resolve(library.zgemm, "scipy_cblas_zgemm");
  resolve(library.set_num_threads, "scipy_openblas_set_num_threads");
  if (missing != nullptr) {
    dlclose(handle);
    return path + " lacks the symbol " + missing;
  }
  // Another user of the library may have loaded it first, with a pool of its
  // own size: start from the one thread SetBlasThreads assumes.
  library.set_num_threads(1);
  // Never closed: its threads may outlive any owner of ours.
  gLibrary = library;
  LoadedPath() = path;
  gLoaded.store(true, std::memory_order_release);
  return {};
}

std::string LoadBlas(const std::string& path) {
  return LoadBlas([&] { return path; });
}

const BlasLibrary* Blas() {
  return gLoaded.load(std::memory_order_acquire) ? &gLibrary : nullptr;
}

std::string BlasPath() { return gLoaded.load(std::memory_order_acquire) ? LoadedPath() : std::string(); }

void SetBlasThreads(int threads) {
  static std::atomic<int> current{1};
  static std::mutex mutex;
  const BlasLibrary* blas = Blas();
  if (blas == nullptr || threads < 1 || current.load() == threads) return;
  // The hold first: a thread holding the mutex while it waits for a fork to
  // pass would leave the child a mutex nobody can release.
  const HoldOffFork hold;  // the library locks while it resizes its pool
  std::lock_guard<std::mutex> lock(mutex);
  if (current.exchange(threads) != threads) blas->set_num_threads(threads);
}

}  // namespace velorin::platform
