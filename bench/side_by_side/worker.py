"""Times one workload in this process and prints one JSON line.

usage: worker.py velorin|quimb WORKLOAD SHOTS
For VelorinLib the module is whatever `import VelorinLib` finds (the caller
sets PYTHONPATH for a reference build). The time is that of a synchronous run
call (or of building and sampling the peer's circuit); for a probabilities
workload, of the run and the read-out of every outcome's probability (or of
building the peer's circuit and contracting its state to a vector).
"""
import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from workloads import WORKLOADS  # noqa: E402


def velorin_time(n, gates, shots, readout):
    import VelorinLib as vl

    mid_measures = any(name == "measure" for name, *_ in gates)
    qc = vl.QuantumCircuit(n, n) if mid_measures else vl.QuantumCircuit(n)
    for name, qubits, params, *condition in gates:
        if name == "measure":
            qc.measure(qubits[0], qubits[0])
            continue
        gate = getattr(qc, name)(*params, *qubits)
        if condition:
            gate.c_if(*condition[0])
    backend = vl.BackendV2()
    if readout == "probabilities":
        start = time.perf_counter()
        probabilities = backend.run(qc, shots=1, mode="sync").result().get_probabilities()
        return time.perf_counter() - start, len(probabilities)
    qc.measure_all()
    # A synchronous run: no waiting on the job's polling interval.
    start = time.perf_counter()
    job = backend.run(qc, shots=shots, mode="sync")
    elapsed = time.perf_counter() - start
    assert job.done()
    counts = job.result().get_counts()
    return elapsed, sum(counts.values()) if isinstance(counts, dict) else None


def quimb_time(n, gates, shots, readout):
    import quimb.tensor as qtn

    if any(name == "measure" or rest for name, _, _, *rest in gates):
        return None, None  # no mid-circuit measurement or conditions there

    names = {"h": "H", "x": "X", "u": "U3", "cx": "CX", "cp": "CU1", "swap": "SWAP"}
    start = time.perf_counter()
    circ = qtn.CircuitMPS(n)
    for name, qubits, params in gates:
        circ.apply_gate(names[name], *params, *qubits)
    if readout == "probabilities":
        probabilities = abs(circ.psi.to_dense().ravel()) ** 2
        return time.perf_counter() - start, len(probabilities)
    samples = sum(1 for _ in circ.sample(shots))
    return time.perf_counter() - start, samples


def main():
    which, workload, shots = sys.argv[1], sys.argv[2], int(sys.argv[3])
    n, gates = WORKLOADS[workload]["build"]()
    run = velorin_time if which == "velorin" else quimb_time
    elapsed, samples = run(n, gates, shots, WORKLOADS[workload]["readout"])
    if elapsed is None:
        sys.exit(1)
    print(json.dumps({"seconds": elapsed, "samples": samples}))


if __name__ == "__main__":
    main()
