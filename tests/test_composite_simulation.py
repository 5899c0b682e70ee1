"""Composite gates simulated end to end against textbook matrices."""
import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import GATES, SWAP, DenseState, H, X, Y, Z, phase, random_product_state, rx, ry, rz

SX = 0.5 * np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]])
BACKEND = vl.BackendV2()


def controlled_on_all(u, k):
    """U on the last of k qubits when the first k - 1 are all 1 (bit i = i-th qubit)."""
    m = np.eye(2**k, dtype=complex)
    on = (1 << (k - 1)) - 1
    rows = [on, on | (1 << (k - 1))]
    for a in range(2):
        for b in range(2):
            m[rows[a], rows[b]] = u[a, b]
    return m


def controlled_swap():
    m = np.eye(8, dtype=complex)
    m[[3, 5]] = m[[5, 3]]
    return m


def prepared(n, seed):
    """A circuit and its dense twin, both in the same random product state."""
    qc = vl.QuantumCircuit(n)
    return qc, random_product_state(qc, np.random.default_rng(seed))


def simulate(qc):
    job = BACKEND.run(qc, mode="sync")
    return np.array(job.result().get_statevector())


def assert_same_state(actual, expected):
    # The split drops singular values whose square is below 1e-8, so long
    # decompositions of entangling gates are exact only up to that; a wrong
    # phase between branches would cost far more fidelity than this allows.
    assert abs(np.vdot(expected, actual)) ** 2 > 1 - 1e-8
    np.testing.assert_allclose(actual, expected, atol=1e-4)


def basis_inputs(n, qubits):
    """Every setting of the listed qubits, the others 0."""
    for bits in range(2 ** len(qubits)):
        qc, state = vl.QuantumCircuit(n), DenseState(n)
        for i, q in enumerate(qubits):
            if bits >> i & 1:
                qc.x(q)
                state.apply(X, [q])
        yield qc, state


CONTROLLED = [
    ("ccx", lambda qc, q: qc.ccx(*q), X, 3),
    ("toffoli", lambda qc, q: qc.toffoli(*q), X, 3),
    ("ccz", lambda qc, q: qc.ccz(*q), Z, 3),
    ("c3x", lambda qc, q: qc.c3x(*q), X, 4),
    ("c4x", lambda qc, q: qc.c4x(*q), X, 5),
    ("c3sqrtx", lambda qc, q: qc.c3sqrtx(*q), SX, 4),
    ("mcx1", lambda qc, q: qc.mcx(q[:-1], q[-1]), X, 2),
    ("mcx2", lambda qc, q: qc.mcx(q[:-1], q[-1]), X, 3),
    ("mcx5", lambda qc, q: qc.mcx(q[:-1], q[-1]), X, 6),
    ("mcx6", lambda qc, q: qc.mct(q[:-1], q[-1]), X, 7),
    ("mcp3", lambda qc, q: qc.mcp(0.7, q[:-1], q[-1]), phase(0.7), 4),
    ("mcp1", lambda qc, q: qc.mcp(-1.3, q[:-1], q[-1]), phase(-1.3), 2),
    ("mcrx3", lambda qc, q: qc.mcrx(0.9, q[:-1], q[-1]), rx(0.9), 4),
    ("mcry2", lambda qc, q: qc.mcry(-2.1, q[:-1], q[-1]), ry(-2.1), 3),
    ("mcrz1", lambda qc, q: qc.mcrz(1.1, q[:-1], q[-1]), rz(1.1), 2),
    ("mcrz4", lambda qc, q: qc.mcrz(1.1, q[:-1], q[-1]), rz(1.1), 5),
]


@pytest.mark.parametrize("name,call,u,k", CONTROLLED, ids=[c[0] for c in CONTROLLED])
@pytest.mark.parametrize("seed", [1, 2])
def test_controlled_gates(name, call, u, k, seed):
    n = k + 1
    qubits = [int(q) for q in np.random.default_rng(seed + 10).permutation(n)[:k]]
    qc, state = prepared(n, seed)
    call(qc, qubits)
    state.apply(controlled_on_all(u, k), qubits)
    assert_same_state(simulate(qc), state.vector())


@pytest.mark.parametrize("name,call,u,k", CONTROLLED, ids=[c[0] for c in CONTROLLED])
def test_controlled_gates_on_basis_states(name, call, u, k):
    qubits = [int(q) for q in np.random.default_rng(k).permutation(k + 1)[:k]]
    for qc, state in basis_inputs(k + 1, qubits):
        call(qc, qubits)
        state.apply(controlled_on_all(u, k), qubits)
        np.testing.assert_allclose(simulate(qc), state.vector(), atol=1e-10)


@pytest.mark.parametrize("method", ["cswap", "fredkin"])
def test_controlled_swap(method):
    qc, state = prepared(4, 3)
    getattr(qc, method)(3, 0, 2)
    state.apply(controlled_swap(), [3, 0, 2])
    assert_same_state(simulate(qc), state.vector())


@pytest.mark.parametrize("method,k", [("rccx", 3), ("rcccx", 4), ("rc3x", 4)])
def test_relative_phase_toffolis_match_in_magnitude(method, k):
    qc, state = prepared(k + 1, 4)
    qubits = [2, 0, 3, 1][:k] if k == 4 else [2, 0, 3]
    getattr(qc, method)(*qubits)
    state.apply(controlled_on_all(X, k), qubits)
    np.testing.assert_allclose(np.abs(simulate(qc)), np.abs(state.vector()), atol=1e-4)


def test_pauli_string_first_letter_on_last_qubit():
    qc, state = prepared(4, 5)
    qc.pauli([0, 3, 1], "XYZ")
    for matrix, q in [(Z, 0), (Y, 3), (X, 1)]:
        state.apply(matrix, [q])
    assert_same_state(simulate(qc), state.vector())


@pytest.mark.parametrize("method", ["gms", "ms"])
def test_global_molmer_sorensen(method):
    qc, state = prepared(4, 6)
    getattr(qc, method)(0.4, [2, 0, 3])
    for a, b in [(2, 0), (2, 3), (0, 3)]:
        state.apply(GATES["rxx"][2](0.4), [a, b])
    assert_same_state(simulate(qc), state.vector())


def test_conditioned_composite_runs_only_when_condition_holds():
    qc = vl.QuantumCircuit(3)
    qc.x([0, 1])
    qc.measure(0, 0)
    qc.ccx(0, 1, 2).c_if(0, 0)  # qubit 0 read 1: skipped
    qc.measure_all()
    job = BACKEND.run(qc, shots=5, mode="sync")
    assert job.result().get_counts() == {"011": 5}
