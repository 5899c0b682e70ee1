"""Runs a handful of circuits whose splits reach the linear-algebra library,
meant to run under a guard-page allocator (`make test-efence`): any read past
the end of a heap block, ours or a library's, then ends the process.
`--random N` adds N random circuits (composites, mid-circuit measures and
resets, product-state stretches), whose splits take the library's paths for
structured matrices."""
import argparse
import itertools
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


def random_circuit(seed):
    rng = np.random.default_rng(seed)
    n = int(rng.integers(2, 25))
    qc = vl.QuantumCircuit(n, n)
    angle = lambda: float(rng.uniform(-math.pi, math.pi))
    for _ in range(int(rng.integers(5, 4 * n))):
        kind = int(rng.integers(0, 10))
        qubits = [int(q) for q in rng.permutation(n)[:min(n, 4)]]
        a, b = qubits[0], qubits[1]
        near = min(a + 1, n - 1) if a + 1 < n else a - 1
        if kind == 0:
            qc.u(angle(), angle(), angle(), a)
        elif kind == 1:
            qc.cx(a, near)
        elif kind == 2:
            qc.cz(a, b)
        elif kind == 3:
            qc.rzz(angle(), a, near)
        elif kind == 4 and n >= 3:
            qc.ccx(*qubits[:3])
        elif kind == 5 and n >= 4:
            qc.mcx(qubits[:3], qubits[3])
        elif kind == 6:
            qc.measure(a, a)
        elif kind == 7:
            qc.reset(a)
        elif kind == 8:
            qc.x(b).c_if(a, 1)
        else:
            qc.swap(a, b)
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
    parser = argparse.ArgumentParser()
    parser.add_argument("--random", type=int, default=0, help="random circuits to add")
    # Built one at a time: under the guard-page allocator every live block
    # holds mappings of its own, and the process may only have so many.
    cases = itertools.chain(CASES, ((f"random circuit {seed}", random_circuit(seed), 3)
                                    for seed in range(parser.parse_args().random)))
    backend = vl.BackendV2()
    failures = 0
    for name, qc, shots in cases:
        counts = backend.run(qc, shots=shots, mode="sync").result().get_counts()
        drawn = sum(counts.values())
        width = {len(key.replace(" ", "")) for key in counts}
        ok = drawn == shots and width <= {qc.num_qubits, 2 * qc.num_qubits}
        if name.startswith("ghz"):
            ok = ok and set(counts) <= {"0" * 100, "1" * 100}
        print(f"{name}: {drawn} of {shots} shots {'ok' if ok else 'WRONG: ' + repr(counts)[:200]}",
              flush=True)
        failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
