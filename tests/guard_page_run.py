"""Runs a handful of circuits whose splits reach the linear-algebra library,
meant to run under a guard-page allocator (`make test-efence`): any read past
the end of a heap block, ours or a library's, then ends the process."""
import math
import sys

import numpy as np

import VelorinLib as vl


def brickwork(n, depth, seed=2026):
    rng = np.random.default_rng(seed)
    qc = vl.QuantumCircuit(n)
    for layer in range(depth):
        for q in range(n):
            qc.u(*(float(a) for a in rng.uniform(-math.pi, math.pi, 3)), q)
        for q in range(layer % 2, n - 1, 2):
            qc.cx(q, q + 1)
    qc.measure_all()
    return qc


def qft(n):
    qc = vl.QuantumCircuit(n)
    for q in range(n):
        qc.h(q)
        qc.rz(0.1 * (q + 1), q)
    for j in reversed(range(n)):
        qc.h(j)
        for k in reversed(range(j)):
            qc.cp(math.pi / 2 ** (j - k), j, k)
    for q in range(n // 2):
        qc.swap(q, n - 1 - q)
    qc.measure_all()
    return qc


def ghz(n):
    qc = vl.QuantumCircuit(n)
    qc.h(0)
    for q in range(n - 1):
        qc.cx(q, q + 1)
    qc.measure_all()
    return qc


def one_gms(total, width):
    qc = vl.QuantumCircuit(total)
    for q in range(width):
        qc.h(q)
    qc.gms(0.7, list(range(width)))
    qc.measure_all()
    return qc


CASES = [
    ("brickwork 12x8", brickwork(12, 8), 1),
    ("brickwork 20x10", brickwork(20, 10), 1),
    ("brickwork 30x14", brickwork(30, 14), 1),
    ("qft 20", qft(20), 1),
    ("ghz 100", ghz(100), 10),
    ("gms on 20 of 100", one_gms(100, 20), 1),
]


def main():
    backend = vl.BackendV2()
    failures = 0
    for name, qc, shots in CASES:
        counts = backend.run(qc, shots=shots, mode="sync").result().get_counts()
        drawn = sum(counts.values())
        width = {len(key) for key in counts}
        ok = drawn == shots and width == {qc.num_qubits}
        if name.startswith("ghz"):
            ok = ok and set(counts) <= {"0" * 100, "1" * 100}
        print(f"{name}: {drawn} of {shots} shots {'ok' if ok else 'WRONG: ' + repr(counts)[:200]}",
              flush=True)
        failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
