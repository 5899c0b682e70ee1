"""Composing, front-composing and repeating must cost linear time: prints the cost
per call (or per record) at two sizes side by side; each ratio stays near 1 when
the name check is cached and lists grow geometrically."""
import time

import VelorinLib as vl


def best(run, repeats=3):
    times = []
    for _ in range(repeats):
        times.append(run())
    return min(times)


def compose_per_call(count, front):
    body = vl.QuantumCircuit(2, name="step")
    body.cx(0, 1)
    body.rz(0.1, 1)
    body.cx(0, 1)

    def run():
        qc = vl.QuantumCircuit(2)
        t0 = time.perf_counter()
        for _ in range(count):
            qc.compose(body, front=front, inplace=True)
        return (time.perf_counter() - t0) / count
    return best(run)


def repeat_per_record(count):
    one = vl.QuantumCircuit(1)
    one.x(0)

    def run():
        t0 = time.perf_counter()
        one.repeat(count)
        return (time.perf_counter() - t0) / count
    return best(run)


def copy_per_record(count):
    big = vl.QuantumCircuit(1)
    for _ in range(count):
        big.x(0)

    def run():
        t0 = time.perf_counter()
        big.copy()
        return (time.perf_counter() - t0) / count
    return best(run)


for label, front in (("compose", False), ("compose front", True)):
    small, large = compose_per_call(1000, front), compose_per_call(8000, front)
    print(f"{label} x1000: {small * 1e6:.2f} us/call; x8000: {large * 1e6:.2f} us/call; "
          f"ratio {large / small:.2f}")
small, large = repeat_per_record(10**5), repeat_per_record(10**6)
copied = copy_per_record(10**6)
print(f"repeat 1e5: {small * 1e9:.0f} ns/record; 1e6: {large * 1e9:.0f} ns/record; "
      f"ratio {large / small:.2f}; copy of 1e6 records {copied * 1e9:.0f} ns/record "
      f"(repeat/copy {large / copied:.2f})")
