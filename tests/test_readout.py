"""Read-outs of a finished run against a dense numpy state, and their size."""
import json
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import GATES, DenseState

UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")


def clifford_then_rotations(rng, n):
    """Random H, S, CX and CZ (pairs often far apart), then a random rotation on every
    qubit. Every cut of such a state has equal Schmidt values, so the engine never
    truncates and agreement is to rounding; the rotations make every amplitude
    differ, so a misplaced bit shows."""
    ops = []
    for _ in range(5 * n):
        a = int(rng.integers(n))
        roll = int(rng.integers(4))
        if roll == 0:
            ops.append(("h", [], [a]))
        elif roll == 1:
            ops.append(("s", [], [a]))
        elif n > 1:
            b = int(rng.integers(n - 1))
            b += b >= a
            ops.append(("cz" if rng.integers(3) == 0 else "cx", [], [a, b]))
    for q in range(n):
        ops.append(("u", [float(x) for x in rng.uniform(-np.pi, np.pi, 3)], [q]))
    return ops


def build_and_expect(ops, n):
    qc = vl.QuantumCircuit(n)
    state = DenseState(n)
    for name, angles, qubits in ops:
        getattr(qc, name)(*angles, *qubits)
        state.apply(GATES[name][2](*angles), qubits)
    return qc, state.vector()


def run(qc):
    job = vl.BackendV2().run(qc, shots=1, mode="sync")
    assert job.status() == vl.JobStatus.DONE
    return job.result()


CASES = [(n, search) for n in range(2, 13) for search in (False, True)]


@pytest.mark.parametrize("n,search", CASES)
def test_every_read_out_matches_the_dense_state(n, search):
    rng = np.random.default_rng(4000 + 2 * n + search)
    qc, expected = build_and_expect(clifford_then_rotations(rng, n), n)
    if search:
        assert vl.OptimizeQuantumCircuit(qc) is True
    result = run(qc)
    probabilities = np.abs(expected) ** 2
    # Probabilities and the density matrix read a copy, the state vector
    # reorders the engine itself: each order of calls must agree.
    np.testing.assert_allclose(result.get_probabilities(), probabilities, rtol=0, atol=1e-12)
    np.testing.assert_allclose(result.get_statevector(), expected, rtol=0, atol=1e-12)
    np.testing.assert_allclose(result.get_probabilities(), probabilities, rtol=0, atol=1e-12)
    np.testing.assert_allclose(result.get_unitary(), expected[:n], rtol=0, atol=1e-12)
    if n <= 8:
        rho = np.array(result.get_densitymatrix())
        np.testing.assert_allclose(rho, np.outer(expected, expected.conj()), rtol=0, atol=1e-12)
        assert np.array_equal(rho, rho.conj().T)  # Hermitian to the last bit
    if n <= 5:
        data = result.data(0)
        np.testing.assert_allclose(data["probabilities"], probabilities, rtol=0, atol=1e-12)
        pairs = np.array([complex(*pair) for pair in data["statevector"]])
        np.testing.assert_allclose(pairs, expected, rtol=0, atol=1e-12)


@pytest.mark.parametrize("search", [False, True])
def test_sparse_probabilities_are_plain_floats(search):
    # A basis state and a GHZ pair among far-apart qubits: most entries are
    # zero, and every entry is a float of the right value.
    qc = vl.QuantumCircuit(9)
    qc.x(1)
    qc.h(0)
    qc.cx(0, 8)
    qc.x(5)
    if search:
        assert vl.OptimizeQuantumCircuit(qc) is True
    p = run(qc).get_probabilities()
    assert len(p) == 512 and all(type(x) is float for x in p)
    nonzero = {i: x for i, x in enumerate(p) if x != 0.0}
    base = (1 << 1) | (1 << 5)
    assert sorted(nonzero) == [base, base | 1 | (1 << 8)]
    assert all(abs(x - 0.5) < 1e-15 for x in nonzero.values())
    assert all(not np.signbit(x) for x in p)


GHZ_CHILD = textwrap.dedent(
    """
    import json
    import resource
    import VelorinLib as vl
    n = 26
    qc = vl.QuantumCircuit(n)
    qc.h(0)
    for q in range(n - 1):
        qc.cx(q, q + 1)
    result = vl.BackendV2().run(qc, shots=1, mode="sync").result()
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    p = result.get_probabilities()
    after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    nonzero = [(i, x) for i, x in enumerate(p) if x != 0.0]
    print(json.dumps({"count": len(p), "nonzero": nonzero, "grown": after - before}))
    """
)


def available_bytes():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemAvailable:"):
                return int(line.split()[1]) * 1024
    return 0


@pytest.mark.skipif(UNDER_ASAN, reason="the sanitizer's shadow memory changes every figure")
@pytest.mark.skipif(available_bytes() < 5 << 30, reason="needs about 4 GB of free memory")
def test_ghz_26_probabilities_within_twice_their_own_size():
    out = subprocess.run([sys.executable, "-c", GHZ_CHILD], capture_output=True, text=True,
                         timeout=300)
    assert out.returncode == 0, out.stderr[-2000:]
    report = json.loads(out.stdout.strip().splitlines()[-1])
    assert report["count"] == 1 << 26
    assert [i for i, _ in report["nonzero"]] == [0, (1 << 26) - 1]
    assert all(abs(x - 0.5) < 1e-12 for _, x in report["nonzero"])
    grown = report["grown"]
    own_size = (1 << 26) * 8
    # The native result and the list's slots (zeros share one float); the
    # contraction itself needs nothing of that order.
    assert grown <= 2.25 * own_size, f"peak grew by {grown / own_size:.2f} x the result's size"
