"""The seeded workloads of the side-by-side timings, as gate lists.

Each workload is a qubit count and a list of (name, qubits, params) with the
names h, x, u (three angles), cx, cp (one angle), swap and measure; an entry
may carry a fourth element, a condition (clbit, value) on the gate. Every
circuit ends with a measurement of all qubits, except where the read-out
is the probabilities of every outcome. The same lists feed every
simulator compared; one that cannot measure mid-circuit or condition gates
skips the workloads that do.
"""
import math
import random

# name: (builder, arguments, shots); `quick` marks the ones BENCH_QUICK keeps.
# `readout` "probabilities": no measurement; the time includes reading the
# probabilities of every outcome after a one-shot run.
WORKLOADS = {}


def _register(name, shots, quick, builder, *args, readout="counts"):
    WORKLOADS[name] = {"build": lambda: builder(*args), "shots": shots, "quick": quick,
                       "readout": readout}


def ghz(n):
    gates = [("h", (0,), ())]
    gates += [("cx", (q, q + 1), ()) for q in range(n - 1)]
    return n, gates


def qft(n, seed=14):
    rng = random.Random(seed)
    gates = [("x", (q,), ()) for q in range(n) if rng.random() < 0.5]
    for j in reversed(range(n)):
        gates.append(("h", (j,), ()))
        for k in reversed(range(j)):
            gates.append(("cp", (j, k), (math.pi / 2 ** (j - k),)))
    for q in range(n // 2):
        gates.append(("swap", (q, n - 1 - q), ()))
    return n, gates


def brickwork(n, depth, seed=2026):
    rng = random.Random(seed * 1000 + n * 10 + depth)
    gates = []
    for layer in range(depth):
        for q in range(n):
            gates.append(("u", (q,), tuple(rng.uniform(-math.pi, math.pi) for _ in range(3))))
        for q in range(layer % 2, n - 1, 2):
            gates.append(("cx", (q, q + 1), ()))
    return n, gates


def mid_circuit(n, seed=2027):
    """Every shot replays: measures every tenth qubit, flips its neighbour on a
    one, then entangles further."""
    rng = random.Random(seed)
    gates = [("h", (q,), ()) for q in range(n)]
    for start in (0, 1):
        gates += [("cx", (q, q + 1), ()) for q in range(start, n - 1, 2)]
    for q in range(0, n - 1, 10):
        gates.append(("measure", (q,), ()))
        gates.append(("x", (q + 1,), (), (q, 1)))
    for start in (0, 1):
        gates += [("cx", (q, q + 1), ()) for q in range(start, n - 1, 2)]
    gates += [("u", (q,), tuple(rng.uniform(-math.pi, math.pi) for _ in range(3)))
              for q in range(n)]
    return n, gates


_register("GHZ-100 x1000", 1000, True, ghz, 100)
_register("GHZ-100 x10000", 10000, True, ghz, 100)
_register("QFT-20", 1000, True, qft, 20)
_register("QFT-24", 1000, True, qft, 24)
_register("brickwork 20x10", 1000, True, brickwork, 20, 10)
_register("brickwork 30x14", 1000, True, brickwork, 30, 14)
_register("brickwork 30x14 x100", 100, True, brickwork, 30, 14)
_register("mid-circuit 100 x10000", 10000, True, mid_circuit, 100)
_register("mid-circuit 100 x100000", 100000, False, mid_circuit, 100)
_register("probabilities-22", 1, True, brickwork, 22, 6, readout="probabilities")
_register("brickwork 50x10", 1000, True, brickwork, 50, 10)
_register("brickwork 100x10", 1000, True, brickwork, 100, 10)
_register("QFT-30", 1000, True, qft, 30)
_register("brickwork 20x20", 1000, False, brickwork, 20, 20)
_register("brickwork 50x20 x1", 1, False, brickwork, 50, 20)
_register("brickwork 40x20", 1000, False, brickwork, 40, 20)
