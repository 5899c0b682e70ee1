"""The qubit-order search: results stay in the host's qubit order."""
import re

import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import DenseState, GATES, assert_readouts_match, random_circuit, record

CCX = np.eye(8, dtype=complex)[[0, 1, 2, 7, 4, 5, 6, 3]]  # controls b0, b1; target b2


def run(circuit, shots=1):
    job = vl.BackendV2().run(circuit, mode="sync", shots=shots)
    assert job.status() == vl.JobStatus.DONE
    return job.result()


def long_range_ops(rng, n, depth):
    """Random gates, a third of them Toffolis (composites), most pairs far apart."""
    ops = random_circuit(rng, n, depth)
    for _ in range(depth // 3):
        ops.insert(int(rng.integers(len(ops) + 1)), ("ccx", [], [int(q) for q in rng.choice(n, 3, replace=False)]))
    for _ in range(depth // 3):
        ops.append(("cx", [], [0, n - 1]))
    return ops


def build(n, ops):
    qc = vl.QuantumCircuit(n)
    for name, angles, qubits in ops:
        getattr(qc, name)(*angles, *qubits)
    return qc


def dense(n, ops):
    state = DenseState(n)
    for name, angles, qubits in ops:
        state.apply(CCX if name == "ccx" else GATES[name][2](*angles), qubits)
    return state.vector()


def two_qubit_cost(qasm_text):
    """Sum of |a - b| over the two-qubit statements of the program."""
    cost = 0
    for line in qasm_text.splitlines():
        qubits = [int(q) for q in re.findall(r"[A-Za-z_]\w*\[(\d+)\]", line)]
        if len(qubits) == 2 and not line.startswith(("measure", "barrier", "if")):
            cost += abs(qubits[0] - qubits[1])
    return cost


@pytest.mark.parametrize("seed", range(16))
def test_read_outs_match_the_dense_reference_with_and_without_the_search(seed):
    rng = np.random.default_rng(100 + seed)
    n = int(rng.integers(3, 9))
    ops = long_range_ops(rng, n, depth=int(rng.integers(6, 40)))
    expected = dense(n, ops)
    plain, searched = build(n, ops), build(n, ops)
    assert vl.OptimizeQuantumCircuit(searched) is True
    for qc in (plain, searched):
        result = run(qc)
        # The split drops singular values up to 1e-4, so agreement is to that
        # order; a wrong qubit order is off by far more.
        assert_readouts_match(result, expected, atol=5e-4, fidelity=1 - 1e-6)
        amplitudes = np.array([complex(*pair) for pair in result.data(0)["amplitudes"]])
        np.testing.assert_allclose(amplitudes, expected[: len(amplitudes)], atol=5e-4)


@pytest.mark.parametrize("seed", range(10))
def test_counts_and_memory_of_basis_states(seed):
    """X, CX, SWAP and Toffoli gates give one outcome, which both runs report alike."""
    rng = np.random.default_rng(200 + seed)
    n = int(rng.integers(3, 10))
    ops = [("x", [], [int(q)]) for q in rng.choice(n, size=n // 2, replace=False)]
    for _ in range(25):
        kind = ["cx", "swap", "ccx"][int(rng.integers(3))]
        ops.append((kind, [], [int(q) for q in rng.choice(n, 3 if kind == "ccx" else 2, replace=False)]))
    index = int(np.argmax(np.abs(dense(n, ops))))
    bits = format(index, f"0{n}b")  # highest qubit first
    measured = sorted(int(q) for q in rng.choice(n, size=int(rng.integers(1, n + 1)), replace=False))
    partial = "".join(bits[n - 1 - q] for q in reversed(measured))
    register_text = "".join(bits[n - 1 - q] if q in measured else "X" for q in reversed(range(n)))
    for search in (False, True):
        qc = build(n, ops)
        qc.measure(measured)
        if search:
            assert vl.OptimizeQuantumCircuit(qc)
        result = run(qc, shots=12)
        assert result.get_counts() == {partial: 12}
        assert result.get_memory() == [partial] * 12
        assert result.get_classicalregister() == register_text


def assert_counts_follow(counts, probabilities, shots):
    n = int(np.log2(len(probabilities)))
    assert sum(counts.values()) == shots
    for index, p in enumerate(probabilities):
        seen = counts.get(format(index, f"0{n}b"), 0)
        assert abs(seen - shots * p) <= 5 * np.sqrt(shots * p * (1 - p)) + 2, (index, p, seen)


def test_counts_of_a_superposition_follow_the_dense_probabilities():
    rng = np.random.default_rng(9)
    n = 6
    ops = long_range_ops(rng, n, depth=30)
    probabilities = np.abs(dense(n, ops)) ** 2
    qc = build(n, ops)
    assert vl.OptimizeQuantumCircuit(qc)
    qc.measure_all()
    assert_counts_follow(run(qc, shots=4000).get_counts(), probabilities, 4000)


def far_apart(n=5):
    """A circuit whose search moves qubits: three gates between 0 and n-1."""
    qc = vl.QuantumCircuit(n)
    for _ in range(3):
        qc.cx(0, n - 1)
    return qc


def test_conditions_test_the_host_qubit_after_the_search():
    # The search puts host qubit 0 next to 4, so host 0 and 1 are renumbered.
    for search in (False, True):
        qc = vl.QuantumCircuit(5)
        creg = vl.ClassicalRegister(2)
        vl.QuantumCircuit(vl.QuantumRegister(2), creg)  # creg covers bits 0 and 1
        qc.x(0)
        for _ in range(3):
            qc.cx(0, 4)  # qubit 4 flips three times: 1
        qc.measure([0, 4])
        qc.x(1).c_if(0, 1)  # host qubit 0 read 1: fires
        qc.x(2).c_if(4, 0)  # host qubit 4 read 1: does not fire
        qc.x(3).c_if(creg, 1)  # qubit 0 read 1, qubit 1 unmeasured: value 1, fires
        late = qc.h(2)
        if search:
            assert vl.OptimizeQuantumCircuit(qc)
        late.c_if(0, 0)  # set after the search; host qubit 0 read 1, so it never runs
        qc.measure_all()
        assert run(qc, shots=16).get_counts() == {"11011": 16}


def test_register_condition_reads_the_host_qubits_after_the_search():
    # The search swaps host qubits 1 and 2 on the chain.
    for search in (False, True):
        qc = vl.QuantumCircuit(4)
        creg = vl.ClassicalRegister(2)
        vl.QuantumCircuit(vl.QuantumRegister(2), creg)
        qc.x(1)
        for _ in range(3):
            qc.cz(1, 3)
        qc.measure([0, 1])
        qc.x(2).c_if(creg, 2)  # qubits 1, 0 read 1, 0
        if search:
            assert vl.OptimizeQuantumCircuit(qc)
        qc.measure_all()
        assert run(qc, shots=8).get_counts() == {"0110": 8}


def test_a_second_search_keeps_the_first():
    rng = np.random.default_rng(4)
    n = 7
    ops = long_range_ops(rng, n, depth=30)
    expected = dense(n, ops)
    qc = build(n, ops)
    for _ in range(3):
        assert vl.OptimizeQuantumCircuit(qc)
        np.testing.assert_allclose(run(qc).get_statevector(), expected, atol=5e-4)
    qc.measure_all()
    assert_counts_follow(run(qc, shots=3000).get_counts(), np.abs(expected) ** 2, 3000)


TRANSFORMS = {
    "copy": lambda qc: qc.copy(),
    "inverse": lambda qc: qc.inverse(),
    "reverse_ops": lambda qc: qc.reverse_ops(),
    "reverse_bits": lambda qc: qc.reverse_bits(),
    "repeat": lambda qc: qc.repeat(2),
    "control": lambda qc: with_control_open(qc.control(1)),
    "appended": lambda qc: appended(
        qc, lambda big, n: big.append(qc, [n - 1 - q for q in range(n)] + [n], clbits(big))
    ),
    "composed": lambda qc: appended(
        qc, lambda big, n: big.compose(qc, [(q + 1) % n for q in range(n)], inplace=True)
    ),
    "to_gate": lambda qc: appended(
        qc, lambda big, n: big.append(qc.to_gate(), [n - 1 - q for q in range(n)], [])
    ),
}


def with_control_open(controlled):
    """The control in an even superposition, so that the controlled part acts."""
    n = len(controlled.qubits)
    front = vl.QuantumCircuit(n)
    front.h(0)
    controlled.compose(front, list(range(n)), front=True, inplace=True)
    return controlled


def clbits(circuit):
    return list(range(circuit.num_clbits))


def appended(qc, attach):
    n = len(qc.qubits)
    big = vl.QuantumCircuit(n + 1)
    big.h(n)
    attach(big, n)
    return big


@pytest.mark.parametrize("name", sorted(TRANSFORMS))
def test_transformations_of_a_searched_circuit(name):
    """A searched circuit transforms into what its unsearched twin does."""
    rng = np.random.default_rng(31)
    n = 5
    ops = [("x", [], [0])]
    for _ in range(25):  # kinds that every transformation takes
        kind = ["h", "ry", "rz", "cx", "cz", "cp", "swap"][int(rng.integers(7))]
        arity, n_angles, _ = GATES[kind]
        qubits = [int(q) for q in rng.choice(n, arity, replace=False)]
        ops.append((kind, [float(a) for a in rng.uniform(-np.pi, np.pi, n_angles)], qubits))
    ops += [("cx", [], [0, n - 1])] * 4
    plain, searched = build(n, ops), build(n, ops)
    assert vl.OptimizeQuantumCircuit(searched)
    expected = run(TRANSFORMS[name](plain)).get_statevector()
    np.testing.assert_allclose(run(TRANSFORMS[name](searched)).get_statevector(), expected, atol=5e-4)
    if name in ("copy", "reverse_bits"):
        reference = dense(n, ops)
        if name == "reverse_bits":
            reference = reference.reshape([2] * n).transpose().reshape(-1)
        np.testing.assert_allclose(expected, reference, atol=5e-4)


def test_measure_active_after_the_search_measures_the_touched_host_qubits():
    qc = vl.QuantumCircuit(6)
    qc.x(0)
    for _ in range(3):
        qc.cx(0, 5)
    assert vl.OptimizeQuantumCircuit(qc)
    qc.measure_active()
    result = run(qc, shots=4)
    assert result.get_counts() == {"11": 4}
    assert result.get_classicalregister() == "1XXXX1"


def test_a_hundred_qubits():
    qc = vl.QuantumCircuit(100)
    qc.h(0)
    order = list(range(1, 100))
    np.random.default_rng(1).shuffle(order)
    previous = 0
    for q in order:
        qc.cx(previous, q)
        previous = q
    qc.x(37)
    assert vl.OptimizeQuantumCircuit(qc)
    qc.measure_all()
    counts = run(qc, shots=50).get_counts()
    ghz = ["1" * 100, "0" * 100]
    flipped = {s[: 99 - 37] + ("0" if s[0] == "1" else "1") + s[100 - 37 :] for s in ghz}
    assert set(counts) <= flipped and sum(counts.values()) == 50


@pytest.mark.parametrize("n", [100, 1, 4])
def test_circuits_without_pairs_stay_as_they_are(n):
    qc = vl.QuantumCircuit(n)
    qc.x(n - 1)
    assert vl.OptimizeQuantumCircuit(qc) is True
    assert vl.OptimizeQuantumCircuit(qc) is True
    qc.measure_all()
    assert run(qc, shots=2).get_counts() == {"1" + "0" * (n - 1): 2}


def test_composites_only_and_an_already_short_order():
    ops = [("h", [], [0]), ("ccx", [], [0, 3, 1]), ("cx", [], [1, 2]), ("ccx", [], [3, 2, 0])]
    qc = build(4, ops)
    qc.mcx([0, 1, 2], 3)
    expected = DenseState(4)
    for name, angles, qubits in ops:
        expected.apply(CCX if name == "ccx" else GATES[name][2](*angles), qubits)
    mcx = np.eye(16, dtype=complex)[[i ^ 8 if i & 7 == 7 else i for i in range(16)]]
    expected.apply(mcx, [0, 1, 2, 3])
    assert vl.OptimizeQuantumCircuit(qc)
    np.testing.assert_allclose(run(qc).get_statevector(), expected.vector(), atol=5e-4)

    line = vl.QuantumCircuit(3)
    line.cx(0, 1)
    line.cx(1, 2)
    assert vl.OptimizeQuantumCircuit(line)
    line.measure_all()
    assert run(line, shots=3).get_counts() == {"000": 3}


@pytest.mark.parametrize("argument", [None, 3, "circuit", vl.QuantumRegister(2)])
def test_refuses_what_is_not_a_circuit(argument):
    with pytest.raises(TypeError):
        vl.OptimizeQuantumCircuit(argument)


def test_keyword_and_docstring():
    assert vl.OptimizeQuantumCircuit(QuantumCircuit=far_apart()) is True
    assert vl.OptimizeQuantumCircuit.__doc__.rstrip().endswith("Optimizes the quantum circuit")


def test_search_lowers_the_cost_of_the_records():
    qc = far_apart(5)
    try:
        before = two_qubit_cost(qc.qasm())
    except (AttributeError, RuntimeError):
        pytest.skip("no OpenQASM writer in this build")
    assert before == 12
    assert vl.OptimizeQuantumCircuit(qc)
    assert two_qubit_cost(qc.qasm()) == 3
    rng = np.random.default_rng(2)
    ops = long_range_ops(rng, 12, depth=60)
    qc = build(12, ops)
    before = two_qubit_cost(qc.qasm())
    assert vl.OptimizeQuantumCircuit(qc)
    assert two_qubit_cost(qc.qasm()) < before
