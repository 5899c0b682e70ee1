"""Batches of circuits and millions of shots on a Dask cluster.

`run` runs many circuits, `sample` the shots of one circuit in chunks, each as
synchronous runs of VelorinLib's own backend on the workers. Without a client,
an active Dask client is used, else a LocalCluster of one single-threaded
worker process per core is started for the call and closed after it.
"""
import contextlib
import logging
import operator
import os
import pickle
import sys

try:
    import distributed
    from tqdm import tqdm
except ImportError as error:
    raise ImportError(
        "velorin_dask needs Dask's distributed and tqdm: pip install 'VelorinLib[dask]'"
    ) from error

from . import _tasks

__all__ = ["run", "sample", "CHUNK_SHOTS"]

# A result keeps the bit strings of this many shots: larger chunks would lose counts.
CHUNK_SHOTS = 10_000

# The module takes a run's shot count as a signed 32-bit integer.
_MAX_RUN_SHOTS = 2**31 - 1
_SHOTS_TEXT = 'Invalid input for "shots". Try with an integer > 1.'
_TASKS_PER_THREAD = 4

# Read by OpenMP when the module loads in a worker of the embedded cluster: the
# engine there keeps to the worker's one thread.
_EMBEDDED_WORKER_ENV = {"OMP_THREAD_LIMIT": "1", "OMP_NUM_THREADS": "1"}


def run(circuits, *, shots, performance=None, client=None, progress=None):
    """Runs every circuit with `shots` shots; returns their Results in order."""
    vl = _module()
    if isinstance(circuits, vl.QuantumCircuit):
        raise TypeError("circuits must be a sequence of QuantumCircuit; for one circuit use sample()")
    try:
        circuits = list(circuits)
    except TypeError:
        raise TypeError(
            f"circuits must be a sequence of QuantumCircuit, not {type(circuits).__name__}"
        ) from None
    for index, circuit in enumerate(circuits):
        _check_circuit(vl, circuit, f"circuit {index}")
    shots = _check_shots(shots, _MAX_RUN_SHOTS)
    _check_common(vl, performance, client, progress)
    if not circuits:
        return []
    payloads = [pickle.dumps(circuit) for circuit in circuits]
    with _session(client) as active:
        futures = [
            active.submit(_tasks.run_circuit, payload, shots, performance, pure=False)
            for payload in payloads
        ]
        return _gather(active, futures, progress, "circuits", label="circuit")


def sample(circuit, *, shots, performance=None, client=None, progress=None):
    """Counts of `shots` shots of one circuit, run in chunks across the workers."""
    vl = _module()
    _check_circuit(vl, circuit, "circuit")
    shots = _check_shots(shots, None)
    _check_common(vl, performance, client, progress)
    payload = pickle.dumps(circuit)
    chunks = -(-shots // CHUNK_SHOTS)
    with _session(client) as active:
        # Each chunk is a run of its own, seeded afresh on its worker. A task
        # takes several, a few tasks per worker thread: a task's fixed cost is
        # as long as a small chunk's run. pure=False keeps equal tasks apart.
        threads = sum(w.get("nthreads", 1) for w in active.scheduler_info()["workers"].values())
        tasks = min(chunks, _TASKS_PER_THREAD * max(threads, 1))
        per_task = [chunks // tasks + (i < chunks % tasks) for i in range(tasks)]
        task_shots = [count * CHUNK_SHOTS for count in per_task]
        task_shots[-1] -= chunks * CHUNK_SHOTS - shots  # the one short chunk
        futures = [
            active.submit(_tasks.count_shots, payload, count, CHUNK_SHOTS, performance, pure=False)
            for count in task_shots
        ]
        parts = _gather(active, futures, progress, "chunks", label=None, weights=per_task)
    total = {}
    for part in parts:
        for key, count in part.items():
            total[key] = total.get(key, 0) + count
    return dict(sorted(total.items()))


def _module():
    import VelorinLib

    return VelorinLib


def _check_circuit(vl, circuit, name):
    if not isinstance(circuit, vl.QuantumCircuit):
        raise TypeError(f"{name}: a QuantumCircuit is required, not {type(circuit).__name__}")


def _check_shots(shots, most):
    """The shot count as an int; the module's text for anything else."""
    try:
        count = operator.index(shots)
    except TypeError:
        count = None
    if count is None or isinstance(shots, bool) or count < 1 or (most is not None and count > most):
        raise RuntimeError(_SHOTS_TEXT)
    return count


def _check_common(vl, performance, client, progress):
    if performance is not None:
        # The module's own check, with its own text: an asynchronous run (it
        # prints nothing) of no shots on one qubit computes nothing.
        vl.BackendV2().run(vl.QuantumCircuit(1), shots=0, performance=performance)
    if client is not None and not isinstance(client, distributed.Client):
        raise TypeError(f"client must be a distributed.Client or None, not {type(client).__name__}")
    if progress is not None and not isinstance(progress, bool):
        raise TypeError(f"progress must be True, False or None, not {type(progress).__name__}")


def _cores():
    try:
        return max(len(os.sched_getaffinity(0)), 1)
    except (AttributeError, OSError):
        return max(os.cpu_count() or 1, 1)


@contextlib.contextmanager
def _session(client):
    if client is None:
        try:
            client = distributed.get_client()
        except ValueError:
            client = None
    if client is not None:
        yield client
        return
    cluster = distributed.LocalCluster(
        n_workers=_cores(),
        threads_per_worker=1,
        processes=True,
        # Its web server is always started: a free port, on loopback only.
        dashboard_address="127.0.0.1:0",
        host="127.0.0.1",
        # Failures reach the caller as exceptions; the workers' own reports
        # (a heartbeat racing the shutdown) would only be noise.
        silence_logs=logging.CRITICAL,
        env=dict(_EMBEDDED_WORKER_ENV),
    )
    with cluster, distributed.Client(cluster, set_as_default=False) as embedded:
        yield embedded


def _annotated(error, label, index):
    if label is None:
        return error
    prefix = f"{label} {index}"
    if error.args and isinstance(error.args[0], str):
        error.args = (f"{prefix}: {error.args[0]}",) + tuple(error.args[1:])
    else:
        error.args = (prefix,) + tuple(error.args)
    return error


def _gather(client, futures, progress, unit, label, weights=None):
    """Results in the order of `futures`; the first failure or an interrupt
    cancels the rest. `weights`: the units each future counts for."""
    show = sys.stderr.isatty() if progress is None else progress
    position = {future.key: index for index, future in enumerate(futures)}
    results = [None] * len(futures)
    weights = weights or [1] * len(futures)
    bar = tqdm(total=sum(weights), unit=unit, disable=not show, file=sys.stderr)
    try:
        # Results come in batches as they complete: one round trip each would
        # cost more than a small circuit's run.
        completed = distributed.as_completed(
            futures, loop=client.loop, with_results=True, raise_errors=False
        )
        for future, value in completed:
            index = position[future.key]
            if future.status == "error":
                error, trace = future.exception(), future.traceback()
                client.cancel(futures)
                raise _annotated(error, label, index).with_traceback(trace)
            results[index] = value
            future.release()
            bar.update(weights[index])
    except BaseException:
        client.cancel(futures)
        raise
    finally:
        bar.close()
    return results
