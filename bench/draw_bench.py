"""Text drawing timings: a 100-qubit circuit of 10 000 gates drawn folded,
unfolded and into a file, the console output captured in memory. One line per
case, the best of a few repetitions: the machines are shared.
"""
import contextlib
import io
import math
import os
import random
import tempfile

import VelorinLib as vl
from timing import best_of


def mixed_circuit(qubits=100, gates=10_000, seed=2026):
    rng = random.Random(seed)
    qc = vl.QuantumCircuit(vl.QuantumRegister(qubits, "q"), vl.ClassicalRegister(qubits, "c"))
    one = ["h", "x", "t", "sdg", "sx", "tdg"]
    for _ in range(gates):
        a, b, c = rng.sample(range(qubits), 3)
        roll = rng.random()
        if roll < 0.45:
            getattr(qc, rng.choice(one))(a)
        elif roll < 0.55:
            qc.rx(rng.uniform(-math.pi, math.pi), a)
        elif roll < 0.8:
            qc.cx(a, b)
        elif roll < 0.85:
            qc.ccx(a, b, c)
        elif roll < 0.9:
            qc.rzz(math.pi / 4, a, b)
        elif roll < 0.95:
            qc.measure(a, b).c_if(c, 1)
        else:
            qc.measure(a, b)
    return qc


def main():
    qc = mixed_circuit()
    sink = io.StringIO()

    def draw(**kwargs):
        def go():
            sink.seek(0)
            sink.truncate()
            with contextlib.redirect_stdout(sink):
                qc.draw(**kwargs)
        return go

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "drawing.txt")
        cases = [
            ("100 qubits, 10 000 gates, fold 80", draw(), 3),
            ("100 qubits, 10 000 gates, no fold", draw(fold=-1), 3),
            ("100 qubits, 10 000 gates, fold 80, file", draw(filename=path), 3),
        ]
        for name, go, repeats in cases:
            print(f"draw {name:<45} {best_of(repeats, go) * 1e3:10.1f} ms (best of {repeats})")


if __name__ == "__main__":
    main()
