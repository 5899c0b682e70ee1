"""Composing one named gate many times must cost linear time: prints the cost per
call at two sizes side by side (their ratio stays near 1 when the name check is cached)."""
import time

import VelorinLib as vl


def per_call(count):
    body = vl.QuantumCircuit(2, name="step")
    body.cx(0, 1)
    body.rz(0.1, 1)
    body.cx(0, 1)
    best = float("inf")
    for _ in range(3):
        qc = vl.QuantumCircuit(2)
        t0 = time.perf_counter()
        for _ in range(count):
            qc.compose(body)
        best = min(best, (time.perf_counter() - t0) / count)
    return best


small, large = per_call(1000), per_call(8000)
print(f"compose x1000: {small * 1e6:.2f} us/call; x8000: {large * 1e6:.2f} us/call; "
      f"ratio {large / small:.2f}")
