"""End-to-end timings through the Python API: one line per case.

Each case builds its circuit once and times whole runs (submission to final
state), taking the best of a few repetitions: the machines are shared.
"""
import math

import numpy as np

import VelorinLib as vl
from timing import best_of


def ghz(n):
    qc = vl.QuantumCircuit(n)
    qc.h(0)
    for q in range(n - 1):
        qc.cx(q, q + 1)
    qc.measure_all()
    return qc


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
    for j in reversed(range(n)):
        qc.h(j)
        for k in reversed(range(j)):
            qc.cp(math.pi / 2 ** (j - k), j, k)
    for q in range(n // 2):
        qc.swap(q, n - 1 - q)
    return qc


def main():
    backend = vl.BackendV2()

    def run(circuit, shots):
        def go():
            job = backend.run(circuit, shots=shots)
            job.wait_for_final_state(0, 0, lambda *args: None)
            assert job.done()
        return go

    cases = [
        ("GHZ, 100 qubits, 1000 shots", run(ghz(100), 1000), 3),
        ("brickwork, 20 qubits, depth 10, 1000 shots", run(brickwork(20, 10), 1000), 3),
        ("QFT, 20 qubits", run(qft(20), 1), 3),
    ]
    for name, go, repeats in cases:
        print(f"e2e  {name:<45} {best_of(repeats, go) * 1e3:10.1f} ms (best of {repeats})")


if __name__ == "__main__":
    main()
