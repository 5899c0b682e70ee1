"""velorin_dask against a loop in one process: one line per case.

64 brickwork circuits of 20 qubits and depth 10, 1000 shots each, run one
after the other here and then by velorin_dask.run on its embedded cluster (one
single-threaded worker process per core), cluster start included: that is the
call a user makes. Then 10^7 shots of a 20-qubit GHZ circuit: velorin_dask.sample
against a loop of runs of 10 000 shots (a result keeps that many). The speed-up
stands next to the number of cores; 0.7 x cores is the aim on an idle machine.

BENCH_QUICK=1 runs a quarter of each workload.
"""
import logging
import math
import os
import time

import numpy as np

import VelorinLib as vl

try:
    import distributed
    import velorin_dask
except ImportError as error:
    velorin_dask = None
    MISSING = str(error)


def brickwork(n, depth, seed):
    rng = np.random.default_rng(seed)
    qc = vl.QuantumCircuit(n)
    for layer in range(depth):
        for q in range(n):
            qc.u(*(float(a) for a in rng.uniform(-math.pi, math.pi, 3)), q)
        for q in range(layer % 2, n - 1, 2):
            qc.cx(q, q + 1)
    qc.measure_all()
    return qc


def ghz(n):
    qc = vl.QuantumCircuit(n)
    qc.h(0)
    for q in range(n - 1):
        qc.cx(q, q + 1)
    qc.measure_all()
    return qc


def timed(call):
    start = time.perf_counter()
    value = call()
    return time.perf_counter() - start, value


def local_loop(circuits, shots):
    backend = vl.BackendV2()
    return [backend.run(c, shots=shots, mode="sync", quiet=True).result() for c in circuits]


def main():
    if velorin_dask is None:
        print(f"dask: skipped ({MISSING})")
        return
    quick = os.environ.get("BENCH_QUICK", "") not in ("", "0")
    cores = len(os.sched_getaffinity(0))
    load = os.getloadavg()[0]

    count = 16 if quick else 64
    circuits = [brickwork(20, 10, seed) for seed in range(count)]
    here, _ = timed(lambda: local_loop(circuits, 1000))
    there, results = timed(lambda: velorin_dask.run(circuits, shots=1000, progress=False))
    assert len(results) == count
    print(f"dask  run {count} brickwork 20x10, 1000 shots: loop {here:7.2f} s, "
          f"velorin_dask {there:7.2f} s, speed-up {here / there:5.2f} on {cores} cores "
          f"(aim {0.7 * cores:.1f}; load {load:.1f})")
    # The same on a cluster already running: what is left without its start.
    with distributed.LocalCluster(n_workers=cores, threads_per_worker=1, dashboard_address="127.0.0.1:0",
                                  silence_logs=logging.CRITICAL) as cluster, \
            distributed.Client(cluster, set_as_default=False) as client:
        velorin_dask.run(circuits[:cores], shots=1000, client=client, progress=False)
        warm, _ = timed(lambda: velorin_dask.run(circuits, shots=1000, client=client, progress=False))
    print(f"dask  run {count} brickwork 20x10, 1000 shots, cluster started beforehand: "
          f"velorin_dask {warm:7.2f} s, speed-up {here / warm:5.2f} on {cores} cores")

    shots = 10**7 // (4 if quick else 1)
    chunk = velorin_dask.CHUNK_SHOTS
    circuit = ghz(20)
    here, _ = timed(lambda: local_loop([circuit] * (shots // chunk), chunk))
    there, counts = timed(lambda: velorin_dask.sample(circuit, shots=shots, progress=False))
    assert sum(counts.values()) == shots
    print(f"dask  sample GHZ-20, {shots:.0e} shots: loop {here:7.2f} s, "
          f"velorin_dask {there:7.2f} s, speed-up {here / there:5.2f} on {cores} cores "
          f"({shots / there:.3g} shots/s)")


if __name__ == "__main__":
    main()
