"""What runs on a worker: one synchronous run of one circuit.

Circuits arrive as pickled bytes, so that the module is first imported here,
after the worker's thread limit is in the environment (OpenMP reads it once,
when it loads).
"""
import os
import pickle
import sys
import threading

# One circuit at a time in a worker process, whatever its thread count: the
# engine may then use all of the worker's threads without oversubscribing.
_ONE_AT_A_TIME = threading.Lock()


def _worker_threads():
    try:
        from distributed import get_worker

        worker = get_worker()
    except (ImportError, ValueError):
        return 1
    return max(int(getattr(worker.state, "nthreads", 1) or 1), 1)


def _module():
    if "VelorinLib" not in sys.modules and "OMP_THREAD_LIMIT" not in os.environ:
        os.environ["OMP_THREAD_LIMIT"] = str(_worker_threads())
    import VelorinLib

    return VelorinLib


def _run(payload, shots, performance):
    vl = _module()
    circuit = pickle.loads(payload)
    options = {"shots": shots, "mode": "sync", "quiet": True}
    if performance is not None:
        options["performance"] = performance
    # A backend of its own: a shared one refuses a second synchronous run.
    backend = vl.BackendV2()
    return backend.run(circuit, **options).result()


def run_circuit(payload, shots, performance):
    with _ONE_AT_A_TIME:
        return _run(payload, shots, performance)


def count_shots(payload, shots, chunk, performance):
    """Summed counts of runs of at most `chunk` shots each; every run seeds
    its own generator."""
    total = {}
    while shots > 0:
        with _ONE_AT_A_TIME:
            counts = _run(payload, min(shots, chunk), performance).get_counts()
        shots -= chunk
        for key, count in counts.items():
            total[key] = total.get(key, 0) + count
    return total
