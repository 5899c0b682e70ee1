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


def test_the_search_leaves_the_records_as_they_are():
    # Only the placement on the chain changes: what is exported is the same.
    rng = np.random.default_rng(2)
    ops = long_range_ops(rng, 12, depth=60)
    qc = build(12, ops)
    before = qc.qasm()
    assert two_qubit_cost(before) > 0
    assert vl.OptimizeQuantumCircuit(qc)
    assert qc.qasm() == before


# The searched circuit is the circuit the user built --------------------------------------

def searched(qc):
    assert vl.OptimizeQuantumCircuit(qc)
    return qc


def drawing(qc, capsys):
    capsys.readouterr()
    qc.draw()
    return capsys.readouterr().out


def named(n):
    """Registers with fixed names: made-up ones differ from circuit to circuit."""
    return vl.QuantumCircuit(vl.QuantumRegister(n, "q"), vl.ClassicalRegister(n, "c"))


def test_export_and_drawing_of_a_searched_circuit_are_the_users(tmp_path, capsys):
    def make():
        c = named(3)
        c.x(0)
        c.cx(0, 2)
        return c
    plain, c = make(), searched(make())
    text = c.qasm()
    assert "x q" in text and re.search(r"x \w+\[0\];", text)
    assert re.search(r"cx \w+\[0\], \w+\[2\];", text)
    back = vl.QuantumCircuit.from_qasm_str(text)
    expected = np.zeros(8)
    expected[0b101] = 1
    np.testing.assert_allclose(np.abs(run(back).get_statevector()), expected, atol=1e-9)
    np.testing.assert_allclose(np.abs(run(c).get_statevector()), expected, atol=1e-9)
    path = tmp_path / "c.qasm"
    c.qasm(filename=str(path))
    np.testing.assert_allclose(
        np.abs(run(vl.QuantumCircuit.from_qasm_file(str(path))).get_statevector()), expected,
        atol=1e-9)
    assert drawing(c, capsys) == drawing(plain, capsys)


@pytest.mark.parametrize("after_clear", [False, True])
def test_gates_added_after_the_search_act_on_the_users_qubits(after_clear):
    c = vl.QuantumCircuit(3)
    c.x(1)
    for _ in range(3):
        c.cx(0, 2)
    searched(c)
    if after_clear:
        c.clear()
    else:
        c.x(1)  # undoes the first
    c.x(0)
    c.measure_all()
    assert run(c, shots=4).get_counts() == {"001": 4}


def test_a_searched_circuit_composed_with_its_inverse_is_the_identity():
    rng = np.random.default_rng(5)
    ops = []
    for _ in range(30):  # kinds that inverse takes
        kind = ["h", "ry", "rz", "cx", "cz", "cp", "swap"][int(rng.integers(7))]
        arity, n_angles, _ = GATES[kind]
        qubits = [int(q) for q in rng.choice(6, arity, replace=False)]
        ops.append((kind, [float(a) for a in rng.uniform(-np.pi, np.pi, n_angles)], qubits))
    ops += [("cx", [], [0, 5])] * 4
    s2 = searched(build(6, ops))
    extended = s2.inverse()
    extended.x(4)
    both = s2.compose(s2.inverse())
    psi = np.array(run(both).get_statevector())
    assert abs(psi[0]) == pytest.approx(1, abs=1e-6)
    plain = build(6, ops).inverse()
    plain.x(4)
    np.testing.assert_allclose(run(extended).get_statevector(), run(plain).get_statevector(),
                               atol=1e-6)


@pytest.mark.parametrize("seed", range(12))
def test_searched_and_plain_circuits_agree_in_everything_the_user_sees(seed, capsys):
    rng = np.random.default_rng(100 + seed)
    n = int(rng.integers(3, 7))

    def make(search):
        qc = named(n)
        steps = []
        for _ in range(30):
            pick = int(rng_steps.integers(6))
            a, b, c = (int(q) for q in rng_steps.choice(n, 3, replace=False))
            if pick == 0:
                qc.x(a)
            elif pick == 1:
                qc.cx(a, b)
            elif pick == 2:
                qc.swap(a, c)
            elif pick == 3:
                qc.measure(a, a)
            elif pick == 4:
                qc.x(b).c_if(a, 1)
            else:
                qc.ccx(a, b, c)
            steps.append(pick)
        for _ in range(3):
            qc.cx(0, n - 1)
        if search:
            assert vl.OptimizeQuantumCircuit(qc)
        late_a, late_b = (int(q) for q in rng_steps.choice(n, 2, replace=False))
        qc.x(late_a)
        qc.cx(late_a, late_b)
        qc.measure_all()
        return qc

    rng_steps = np.random.default_rng(seed)
    plain = make(False)
    rng_steps = np.random.default_rng(seed)
    s = make(True)
    assert s.qasm() == plain.qasm()
    assert drawing(s, capsys) == drawing(plain, capsys)
    assert run(s, shots=8).get_counts() == run(plain, shots=8).get_counts()
