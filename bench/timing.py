"""Shared timing helper of the Python benchmarks."""
import time


def best_of(repeats, run):
    """The shortest of `repeats` timed calls of `run`, in seconds."""
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)
