"""Circuit transformations: append, compose, to_gate, control, copies and
counts, inverse, reversal, repetition, final measurements and timings."""
import inspect
import time

import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import GATES, DenseState, X, phase, random_product_state, rx, ry, rz

INVALID = "Invalid Parameter passed to the gate instruction."
WIDER = "Input circuit has a wider number of qubits or classical bits and hence can't attach."
WIDER_GATE = "Input Gate has a wider number of qubits or classical bits and hence can't attach."
BACKEND = vl.BackendV2()


def statevector(qc):
    return np.array(BACKEND.run(qc, mode="sync").result().get_statevector())


def assert_same_state(actual, expected):
    assert abs(np.vdot(expected, actual)) ** 2 == pytest.approx(1.0, abs=1e-7)


def prepared(n, rng):
    """A circuit and its dense twin in the same random product state."""
    qc = vl.QuantumCircuit(n)
    return qc, random_product_state(qc, rng)


def basis_state(qc):
    vector = statevector(qc)
    index = int(np.argmax(np.abs(vector)))
    assert abs(vector[index]) == pytest.approx(1.0, abs=1e-7)
    return index


# Inverse ----------------------------------------------------------------------

# method -> (qubits, angles): every gate method whose record has an inverse.
INVERTIBLE = {
    **{name: (1, 0) for name in "h x i id t s tdg sdg sx sxdg y z".split()},
    "p": (1, 1), "r": (1, 2), "rv": (1, 3), "rx": (1, 1), "ry": (1, 1), "rz": (1, 1),
    "u": (1, 3), "u0": (1, 1), "u1": (1, 1), "u2": (1, 2), "u3": (1, 3),
    **{name: (2, 0) for name in "cx cnot cy cz ch cs csdg csx dcx ecr iswap swap".split()},
    "cp": (2, 1), "crx": (2, 1), "cry": (2, 1), "crz": (2, 1), "cu": (2, 4), "cu1": (2, 1),
    "cu3": (2, 3), "rxx": (2, 1), "ryy": (2, 1), "rzx": (2, 1), "rzz": (2, 1),
}


def random_invertible(rng, n, depth, phase_=0.0):
    qc = vl.QuantumCircuit(n, global_phase=phase_)
    names = sorted(INVERTIBLE) * 2
    rng.shuffle(names)
    for name in names[:depth]:
        arity, n_angles = INVERTIBLE[name]
        qubits = [int(q) for q in rng.choice(n, size=arity, replace=False)]
        angles = [float(a) for a in rng.uniform(-np.pi, np.pi, size=n_angles)]
        getattr(qc, name)(*angles, *qubits)
    return qc


@pytest.mark.parametrize("seed", range(6))
def test_circuit_then_inverse_returns_every_state(seed):
    rng = np.random.default_rng(seed)
    n = 4
    source = random_invertible(rng, n, 2 * len(INVERTIBLE))
    inverse = source.inverse()
    assert inverse.size() == source.size()
    # Prepared state -> circuit -> inverse, the last two also nested in composites.
    for nested in (False, True):
        qc, state = prepared(n, rng)
        if nested:
            inner = vl.QuantumCircuit(n)
            inner.compose(source)
            outer = vl.QuantumCircuit(n)
            outer.compose(inner)
            outer.compose(inverse)
            qc.compose(outer)
        else:
            qc.compose(source)
            qc.compose(inverse)
        assert_same_state(statevector(qc), state.vector())


@pytest.mark.parametrize(
    "build,reference",
    [
        (lambda qc: qc.u2(0.4, -1.1, 0), lambda: GATES["u"][2](np.pi / 2, 0.4, -1.1)),
        (lambda qc: qc.u(0.3, 0.9, -0.2, 0), lambda: GATES["u"][2](0.3, 0.9, -0.2)),
        (lambda qc: qc.t(0), lambda: phase(np.pi / 4)),
        (lambda qc: qc.sx(0), lambda: GATES["sx"][2]()),
        (lambda qc: qc.r(0.7, 0.3, 0),
         lambda: np.cos(0.35) * np.eye(2) - 1j * np.sin(0.35) * (np.cos(0.3) * X + np.sin(0.3) * np.array([[0, -1j], [1j, 0]]))),
    ],
)
def test_inverse_applies_the_adjoint(build, reference):
    rng = np.random.default_rng(7)
    qc, state = prepared(1, rng)
    gate = vl.QuantumCircuit(1)
    build(gate)
    qc.compose(gate.inverse())
    state.apply(np.asarray(reference()).conj().T, [0])
    assert_same_state(statevector(qc), state.vector())


@pytest.mark.parametrize("name,angles", [("cu1", [0.8]), ("dcx", []), ("cu", [0.3, 0.5, -0.7, 0.4]), ("iswap", [])])
def test_inverse_of_two_qubit_records_undoes_them_alone(name, angles):
    rng = np.random.default_rng(3)
    qc, state = prepared(2, rng)
    gate = vl.QuantumCircuit(2)
    getattr(gate, name)(*angles, 1, 0)
    qc.compose(gate)
    qc.compose(gate.inverse())
    assert_same_state(statevector(qc), state.vector())


def test_inverse_keeps_name_negates_phase_and_params_and_keeps_delays():
    qc = vl.QuantumCircuit(2, global_phase=0.25)
    qc.rx(0.5, 0)
    qc.h(1)
    qc.delay(3, 1, "ms")
    inverse = qc.inverse()
    assert inverse.global_phase == -0.25
    assert inverse.count_ops() == {"delay": 1, "h": 1, "rx": 1}
    # Reversed and negated: the inverse's own inverse is the source again.
    assert inverse.inverse().count_ops() == qc.count_ops()
    assert vl.QuantumCircuit(1).inverse().size() == 0


def test_inverse_refuses_top_level_composites():
    qc = vl.QuantumCircuit(3)
    qc.h(0)
    qc.ccx(0, 1, 2)
    with pytest.raises(RuntimeError, match="^This circuit cannot be inverted$"):
        qc.inverse()


def test_inverse_swaps_the_fixed_phase_kinds():
    qc = vl.QuantumCircuit(2)
    for name in ("t", "s", "sx"):
        getattr(qc, name)(0)
    qc.cs(0, 1)
    assert qc.inverse().count_ops() == {"csdg": 1, "sdg": 1, "sxdg": 1, "tdg": 1}


# Control ----------------------------------------------------------------------


def dense_unitary(n, ops):
    """ops: (matrix, qubits); bit q of an index is qubit q."""
    columns = []
    for b in range(2**n):
        state = DenseState(n)
        state.psi = np.zeros(2**n, dtype=complex)
        state.psi[b] = 1
        state.psi = state.psi.reshape([2] * n)
        for m, qubits in ops:
            state.apply(m, qubits)
        columns.append(state.vector())
    return np.array(columns).T


def multi_controlled(u, k):
    """u on the last of k + 1 listed qubits when the first k are all 1."""
    m = np.eye(2 ** (k + 1), dtype=complex)
    on = (1 << k) - 1
    rows = [on, on | (1 << k)]
    for a in range(2):
        for b in range(2):
            m[rows[a], rows[b]] = u[a, b]
    return m


def controlled_dense(u, k, n, ctrl_state):
    pattern = int(ctrl_state, 2) if ctrl_state else (1 << k) - 1
    size = 2 ** (k + n)
    m = np.zeros((size, size), dtype=complex)
    for c in range(2**k):
        for a in range(2**n):
            for b in range(2**n):
                value = u[a, b] if c == pattern else float(a == b)
                m[c + (a << k), c + (b << k)] = value
    return m


ONE_CONTROL_GATES = "h x y z s sdg t tdg sx rx ry rz p u cx cz cp crx cry crz swap".split()
MANY_CONTROL_GATES = "x p rx ry rz".split()


def random_source(rng, n, k):
    """A small circuit of gates that have a controlled form for k controls, with
    named and general composites, and its dense op list."""
    qc = vl.QuantumCircuit(n)
    ops = []
    names = ONE_CONTROL_GATES if k == 1 else MANY_CONTROL_GATES + (["z"] if k == 2 else [])
    for _ in range(6):
        name = names[rng.integers(len(names))]
        arity, n_angles, factory = GATES[name]
        qubits = [int(q) for q in rng.choice(n, size=arity, replace=False)]
        angles = [float(a) for a in rng.uniform(-np.pi, np.pi, size=n_angles)]
        getattr(qc, name)(*angles, *qubits)
        ops.append((factory(*angles), qubits))
    a, b, t = (int(q) for q in rng.permutation(n))
    qc.ccx(a, b, t)
    ops.append((multi_controlled(X, 2), [a, b, t]))
    qc.mcrz(0.7, [a, b], t)
    ops.append((multi_controlled(rz(0.7), 2), [a, b, t]))
    qc.mcp(-0.4, [b], a)
    ops.append((multi_controlled(phase(-0.4), 1), [b, a]))
    # A general composite holding gates and a named composite.
    inner = vl.QuantumCircuit(n)
    inner.rx(0.9, t)
    inner.mcry(1.3, [t], b)
    inner.x(a)
    qc.append(inner.to_gate(label="G"), list(range(n)), [])
    ops += [(rx(0.9), [t]), (multi_controlled(ry(1.3), 1), [t, b]), (X, [a])]
    return qc, ops


@pytest.mark.parametrize("k,ctrl_state", [(1, ""), (1, "0"), (1, "1"), (2, ""), (2, "01"), (2, "10"), (3, "010"), (3, "")])
def test_control_matches_the_dense_controlled_unitary(k, ctrl_state, capfd):
    rng = np.random.default_rng(11 * k + len(ctrl_state))
    n = 3
    source, ops = random_source(rng, n, k)
    controlled = source.control(k, "", ctrl_state)
    echoed = capfd.readouterr().out
    assert echoed == "".join(ch + " " for ch in reversed(ctrl_state)) * 2
    assert controlled.num_qubits == k + n
    qc, state = prepared(k + n, rng)
    qc.compose(controlled)
    expected = controlled_dense(dense_unitary(n, ops), k, n, ctrl_state) @ state.vector()
    assert_same_state(statevector(qc), expected)


def test_control_of_a_global_phase_is_a_phase_on_the_controls():
    rng = np.random.default_rng(5)
    source = vl.QuantumCircuit(1, global_phase=0.6)
    source.x(0)
    for k in (1, 2):
        qc, state = prepared(k + 1, rng)
        qc.compose(source.control(k))
        u = np.exp(0.6j) * X
        expected = controlled_dense(u, k, 1, "") @ state.vector()
        assert np.allclose(statevector(qc), expected, atol=1e-6)


@pytest.mark.parametrize(
    "k,build,name",
    [
        (2, lambda qc: qc.h(0), "h"),
        (3, lambda qc: qc.z(0), "z"),
        (1, lambda qc: qc.measure(0, 0), "measure"),
        (1, lambda qc: qc.rxx(0.3, 0, 1), "rxx"),
        (2, lambda qc: qc.pauli([0, 1], "XY"), "y"),
        (1, lambda qc: qc.mcx([0], 1, label="L") and qc.barrier(), "barrier"),
    ],
)
def test_control_refuses_records_without_controlled_form(k, build, name):
    qc = vl.QuantumCircuit(2)
    build(qc)
    before = vl.QuantumCircuit(1).cls_instances()
    with pytest.raises(RuntimeError) as err:
        qc.control(k)
    assert str(err.value) == f"Gate {name} is not supported at this time for this operation"
    assert vl.QuantumCircuit(1).cls_instances() == before + 1


def test_control_refuses_inside_general_composites_too():
    inner = vl.QuantumCircuit(2)
    inner.h(0)
    inner.ryy(0.2, 0, 1)
    qc = vl.QuantumCircuit(2)
    qc.append(inner.to_gate(), [0, 1], [])
    with pytest.raises(RuntimeError, match="^Gate ryy is not supported"):
        qc.control(1)


@pytest.mark.parametrize(
    "args,message",
    [
        ((0,), "Atleast one control qubit is expected."),
        ((2, "", "1"), "Number of control qubits should match the length of control state string"),
        ((1, "", "2"), "Control state string has illegal characters."),
        ((1, "", "21"), "Number of control qubits should match the length of control state string"),
    ],
)
def test_control_argument_errors(args, message):
    qc = vl.QuantumCircuit(1)
    qc.x(0)
    with pytest.raises(RuntimeError) as err:
        qc.control(*args)
    assert str(err.value) == message


def test_control_names_and_sizes():
    qc = vl.QuantumCircuit(2)
    qc.h(0)
    assert qc.control(label="ctl").num_qubits == 3
    start = qc.cls_instances()
    qc.control()
    assert qc.cls_instances() == start + 1
    with pytest.raises(ValueError, match="^Invalid number of qubits passed.$"):
        vl.QuantumCircuit(99).control(2)
    with pytest.raises(TypeError):
        qc.control(1.5)


# Append and compose ------------------------------------------------------------------


def x_on(n, qubit, clbits=None):
    qc = vl.QuantumCircuit(n, n if clbits is None else clbits)
    qc.x(qubit)
    return qc


def test_compose_maps_qubits_and_returns_the_circuit():
    qc = vl.QuantumCircuit(3)
    other = vl.QuantumCircuit(2)
    other.x(0)
    other.cx(0, 1)
    assert qc.compose(other, [2, 0]) is qc
    assert basis_state(qc) == 0b101
    qc2 = vl.QuantumCircuit(3)
    assert qc2.compose(other, inplace=True) is None
    assert basis_state(qc2) == 0b011


def test_compose_front_goes_first():
    qc = vl.QuantumCircuit(2)
    qc.cx(0, 1)
    qc.compose(x_on(2, 0), front=True)
    assert basis_state(qc) == 0b11
    qc.compose(x_on(2, 0))
    assert basis_state(qc) == 0b10


def test_append_circuit_lists_are_sized_by_this_circuit():
    qc = vl.QuantumCircuit(3, 3)
    other = x_on(2, 1, 2)
    with pytest.raises(RuntimeError, match="^Either the qubit list or the classical bits list is not of the correct size$"):
        qc.append(other, [0, 1], [0, 1])
    assert qc.append(other, [2, 0, 1], [0, 1, 2]) == 0
    assert basis_state(qc) == 0b001
    bare = vl.QuantumCircuit(2, 0)
    assert bare.append(x_on(1, 0, 0), [1, 0], []) == 0


@pytest.mark.parametrize(
    "call,message",
    [
        (lambda qc: qc.compose(vl.QuantumCircuit(4)), WIDER),
        (lambda qc: qc.append(vl.QuantumCircuit(4), [0, 1, 2], [0, 1, 2]), WIDER),
        (lambda qc: qc.compose(vl.QuantumCircuit(2), [0]), "The qubit list is not of the correct size"),
        (lambda qc: qc.compose(vl.QuantumCircuit(2), [0, 1], [0]), "The classical register list is not of the correct size"),
        (lambda qc: qc.compose(vl.QuantumCircuit(2), [0, 3]), INVALID),
        (lambda qc: qc.compose(vl.QuantumCircuit(2), [1, 1]), INVALID),
        (lambda qc: qc.compose(vl.QuantumCircuit(2), [0, -1]), INVALID),
        (lambda qc: qc.append(vl.QuantumCircuit(2), [0, 1, 1], [0, 1, 2]), INVALID),
        (lambda qc: qc.append(vl.QuantumCircuit(2), [0, 1, 2], [0, 1, 3]), INVALID),
    ],
)
def test_compose_and_append_errors_leave_the_circuit_unchanged(call, message):
    qc = vl.QuantumCircuit(3)
    qc.h(0)
    with pytest.raises(RuntimeError) as err:
        call(qc)
    assert str(err.value) == message
    assert qc.count_ops() == {"h": 1}


def test_compose_refuses_clbits_the_map_lacks():
    # The measure writes classical bit 1 of a circuit with one classical bit.
    other = vl.QuantumCircuit(2, 1)
    other.measure(0, 1)
    qc = vl.QuantumCircuit(2, 2)
    with pytest.raises(RuntimeError, match=INVALID):
        qc.compose(other, [0, 1], [0])
    assert qc.size() == 0


def test_gate_forms_map_by_position_in_the_record():
    src = vl.QuantumCircuit(3)
    gate = src.cx(2, 1)  # a plain record on qubits 2 and 1
    src.x(2)
    qc = vl.QuantumCircuit(3, 3)
    qc.x(0)
    assert qc.append(gate, [0, 2], []) == 0  # control 0, target 2
    assert qc.count_ops() == {"cx": 1, "x": 1}
    assert basis_state(qc) == 0b101
    composite = src.ccx(0, 2, 1)
    qc.x(1)
    assert qc.compose(composite, [1, 0, 2], front=False) is qc  # controls 1 and 0, target 2
    assert basis_state(qc) == 0b011


def test_gate_forms_of_to_gate_swap_qubits():
    inner = vl.QuantumCircuit(2)
    inner.x(0)
    g = inner.to_gate(label="blk")
    qc = vl.QuantumCircuit(2, 2)
    assert qc.compose(g, [1, 0], inplace=True) is None
    assert basis_state(qc) == 0b10


@pytest.mark.parametrize(
    "qc_args,call,exc,message",
    [
        ((3, 3), lambda qc, g: qc.compose(g), RuntimeError, "Either the qubit list is not of the correct size"),
        ((3, 3), lambda qc, g: qc.append(g, [0], [0, 1]), RuntimeError, "Either the clbit list is not of the correct size"),
        ((3, 0), lambda qc, g: qc.compose(g, [2]), RuntimeError, WIDER_GATE),
        ((3, 3), lambda qc, g: qc.append(g, [3], []), RuntimeError, INVALID),
        ((3, 3), lambda qc, g: qc.append(vl.HGate(), [0], []), RuntimeError, INVALID),
        ((3, 3), lambda qc, g: qc.append(None, [0], []), TypeError, None),
        ((3, 3), lambda qc, g: qc.compose(None), TypeError, None),
        ((3, 3), lambda qc, g: qc.compose("x"), TypeError, None),
    ],
)
def test_gate_form_errors(qc_args, call, exc, message):
    src = vl.QuantumCircuit(3)
    g = src.h(0)
    qc = vl.QuantumCircuit(*qc_args)
    with pytest.raises(exc) as err:
        call(qc, g)
    if message:
        assert str(err.value) == message
    assert qc.size() == 0


def test_gate_whose_records_were_cleared_attaches_nothing():
    src = vl.QuantumCircuit(2)
    g = src.cx(0, 1)
    src.clear()
    qc = vl.QuantumCircuit(2)
    with pytest.raises(RuntimeError, match=INVALID):
        qc.append(g, [0, 1], [])
    assert qc.size() == 0


def test_composite_gate_of_another_circuit_is_refused_when_parts_fall_outside():
    # mcx on 5 controls: the composite's parts use the qubits of its own list only.
    src = vl.QuantumCircuit(6)
    g = src.mcx([0, 1, 2, 3, 4], 5)
    qc = vl.QuantumCircuit(6, 6)
    qc.compose(g, [5, 4, 3, 2, 1, 0])
    qc.x([5, 4, 3, 2, 1])
    qc.compose(g, [5, 4, 3, 2, 1, 0])
    assert basis_state(qc) == 0b111111


def test_same_name_composites_get_a_suffix_only_when_they_differ():
    qc = vl.QuantumCircuit(2)
    a = vl.QuantumCircuit(2, name="blk")
    a.h(0)
    b = vl.QuantumCircuit(2, name="blk")
    b.x(0)
    start = qc.cls_instances()
    for _ in range(3):
        qc.compose(a)
    assert qc.cls_instances() == start
    qc.compose(b)
    assert qc.cls_instances() == start + 1
    qc.compose(a)  # b's composite took a suffixed name: every "blk" matches a
    assert qc.cls_instances() == start + 1
    # A gate form keeps its record's name, so a differing "blk" now exists.
    qc.compose(b.to_gate(label="blk"), [0, 1])
    assert qc.cls_instances() == start + 1
    qc.compose(a)
    assert qc.cls_instances() == start + 2


def test_to_gate_names_and_members():
    qc = vl.QuantumCircuit(3)
    qc.h(0)
    g = qc.to_gate([0.5], "blk")
    assert type(g) is vl.Gate
    assert (g.label, g.name, g.num_qubits, g.params) == ("blk", "blk", 3, [])
    assert qc.to_gate(label="blk").name == "blk"  # the first gate's record is not in qc
    qc.compose(vl.QuantumCircuit(3, name="blk"))
    start = qc.cls_instances()
    assert qc.to_gate(label="blk").name == f"blk{start}"
    assert qc.cls_instances() == start + 1
    del qc
    g2 = vl.QuantumCircuit(1)
    g2.x(0)
    gate = g2.to_gate()
    del g2
    target = vl.QuantumCircuit(1)
    target.append(gate, [0], [])
    assert basis_state(target) == 1


# Copies, counts and queries ---------------------------------------------------------


def test_copy_and_copy_empty_like():
    qr = vl.QuantumRegister(2, "qq")
    qc = vl.QuantumCircuit(qr, global_phase=0.3)
    qc.h(0)
    qc.cx(0, 1)
    start = qc.cls_instances()
    dup = qc.copy()
    assert qc.cls_instances() == start + 1
    dup.x(1)
    assert qc.count_ops() == {"cx": 1, "h": 1}
    assert dup.count_ops() == {"cx": 1, "h": 1, "x": 1}
    assert (dup.num_qubits, dup.num_clbits, dup.global_phase, dup.qubits) == (2, 2, 0.3, [0, 1])
    assert dup.has_register(qr)
    empty = qc.copy_empty_like("e")
    assert empty.size() == 0 and empty.num_qubits == 2 and empty.has_register(qr)
    assert qc.cls_instances() == start + 2


def test_count_ops_counts_parts_in_name_order():
    qc = vl.QuantumCircuit(3)
    assert qc.count_ops() == {}
    qc.h(0)
    qc.h(1)
    qc.cx(0, 1)
    qc.measure(0, 0)
    qc.measure(1, 1)
    qc.barrier([2])
    assert list(qc.count_ops().items()) == [("barrier", 1), ("cx", 1), ("h", 2), ("measure", 2)]
    toffoli = vl.QuantumCircuit(3)
    toffoli.ccx(0, 1, 2)
    assert toffoli.count_ops() == {"cx": 6, "h": 2, "t": 4, "tdg": 3}
    assert toffoli.num_nonlocal_gates() == 6
    assert toffoli.num_connected_components() == 9
    assert (toffoli.num_unitary_factors(), toffoli.num_tensor_factors()) == (0, 0)


def test_class_values_and_has_register():
    qc = vl.QuantumCircuit(vl.QuantumRegister(2), vl.ClassicalRegister(2))
    assert qc.cls_prefix() == "circuit_"
    assert qc.cls_instances() == vl.QuantumCircuit(1).cls_instances() - 1
    assert qc.has_register() is False
    assert qc.has_register(1, "q") is False
    qr = vl.QuantumRegister(2, "mine")
    cr = vl.ClassicalRegister(2, "cmine")
    own = vl.QuantumCircuit(qr, cr)
    assert own.has_register(5, qr) and own.has_register(cr)
    assert not own.has_register(vl.QuantumRegister(2, "other"), qr)
    assert not own.has_register(vl.AncillaRegister(1))


# Reversal, repetition, final measurements ------------------------------------------


def test_reverse_ops_and_reverse_bits():
    qc = vl.QuantumCircuit(3)
    qc.x(0)
    qc.cx(0, 1)
    assert basis_state(qc) == 0b011
    assert basis_state(qc.reverse_bits()) == 0b110
    rev = qc.reverse_ops()
    assert rev.count_ops() == qc.count_ops()
    assert basis_state(rev) == 0b001  # cx first acts on |0>
    nested = vl.QuantumCircuit(3)
    nested.compose(qc)
    nested.ccx(0, 1, 2)
    assert basis_state(nested) == 0b111
    assert basis_state(nested.reverse_bits()) == 0b111
    flipped = vl.QuantumCircuit(3)
    flipped.compose(qc, [2, 1, 0])
    assert basis_state(flipped.reverse_bits()) == 0b011


def test_repeat():
    qc = vl.QuantumCircuit(2)
    qc.h(0)
    qc.cx(0, 1)
    assert qc.repeat(0) is None
    assert qc.repeat(1).count_ops() == {"cx": 1, "h": 1}
    assert qc.repeat(3).count_ops() == {"cx": 3, "h": 3}
    with pytest.raises(ValueError):
        qc.repeat(-1)
    with pytest.raises(TypeError):
        qc.repeat(2.0)


def test_remove_final_measurements():
    qc = vl.QuantumCircuit(2)
    qc.h(0)
    qc.measure(0, 0)
    assert qc.remove_final_measurements() is None
    assert qc.count_ops() == {"h": 1}

    kept = vl.QuantumCircuit(2)
    kept.measure(0, 0)
    kept.h(0)
    kept.remove_final_measurements()
    assert kept.count_ops() == {"h": 1, "measure": 1}

    fenced = vl.QuantumCircuit(2)
    fenced.barrier([0, 1])
    fenced.measure(0, 0)
    fenced.measure(1, 1)
    fenced.measure(1, 1)
    trimmed = fenced.remove_final_measurements(inplace=False)
    assert fenced.count_ops() == {"barrier": 2, "measure": 3}
    assert trimmed.count_ops() == {"barrier": 2, "measure": 1}

    inside = vl.QuantumCircuit(2)
    inside.h(0)
    inside.measure_all()
    outer = vl.QuantumCircuit(2)
    outer.compose(inside)
    outer.remove_final_measurements()
    assert outer.count_ops() == {"h": 1}


# Timings ---------------------------------------------------------------------------


def timed_circuit():
    qc = vl.QuantumCircuit(2)
    qc.h(0)
    qc.delay(60, 1, "ms")
    qc.x(1)
    qc.measure_all()
    return qc


@pytest.mark.parametrize("mode", ["sync", "async"])
def test_timings_report_the_last_finished_run(mode):
    qc = timed_circuit()
    assert (qc.qubit_start_time(0), qc.qubit_duration(0), qc.qubit_end_time()) == (-1.0, 0.0, 0)
    before = qc.op_start_times
    job = BACKEND.run(qc, mode=mode)
    job.result().get_counts()
    if mode == "async":
        while not job.in_final_state():
            time.sleep(0.01)
    assert qc.qubit_start_time(0) == 0.0
    assert qc.qubit_start_time(1) >= 60.0  # its delay is passed over
    assert qc.qubit_duration(0) >= 60.0  # its measure comes after the delay
    assert qc.qubit_duration(1) >= 0.0
    assert qc.qubit_end_time() >= 60
    assert qc.qubit_start_time(5) == -1.0 and qc.qubit_start_time(-1) == -1.0
    stamp = qc.op_start_times
    assert stamp >= before[:19]
    time.sleep(0.01)
    assert qc.op_start_times == stamp
    assert qc.copy().qubit_start_time(1) == qc.qubit_start_time(1)
    assert qc.copy_empty_like().qubit_start_time(1) == -1.0


def test_timings_survive_a_circuit_dropped_while_its_job_runs():
    qc = timed_circuit()
    job = BACKEND.run(qc, mode="async")
    del qc
    job.result()
    while not job.in_final_state():
        time.sleep(0.01)
    assert job.status() == vl.JobStatus.DONE


# Registration ----------------------------------------------------------------------

DOCS = {
    "append": "Appends a quantum circuit to the current circuit",
    "compose": "Composes a new quantum circuit from the current circuit",
    "copy": "Creates a copy of the quantum circuit",
    "copy_empty_like": "Creates a copy of the quantum circuit, excluding the quantum gates",
    "count_ops": "Provides a summary of all gate instructions",
    "cls_instances": "Obtain the number of instances of the quantum circuit",
    "cls_prefix": "The prefix text used in automatic creation of circuit names",
    "has_register": "Checks whether a given register is in the circuit.",
    "inverse": "Inverts a quantum circuit",
    "num_connected_components": "Returns the total number of non-entangled subcircuits can the circuit be factored to",
    "num_nonlocal_gates": "Returns the number of non-local gates (i.e. involving 2+ qubits) including conditional local gates.",
    "num_unitary_factors": "Returns the number of tensor factors in the unitary (quantum) part of the circuit.",
    "num_tensor_factors": "Returns the number of tensor factors in the unitary (quantum) part of the circuit.",
    "qubit_duration": "Returns the duration between the first start and last stop time of non-delay instructions for the given qubit in milliseconds",
    "qubit_start_time": "Returns the start time of the first non-delay instruction of the given qubit in milliseconds",
    "qubit_end_time": "Returns the stop time of the last non-delay instruction of the given qubit in milliseconds",
    "remove_final_measurements": "Removes measurements and barriers on all qubits, if there are no gate instructions following them",
    "repeat": "Returns a new quantum circuit with reps repetitions of this circuit",
    "reverse_bits": "Returns a quantum circuit with with reversed bit order",
    "reverse_ops": "Returns a quantum circuit with a reversed order of the instructions",
    "to_gate": "Return the quantum circuit as a gate, if possible",
    "control": "Returns the quantum circuit a controlled gate",
}

QC = "VelorinLib.QuantumCircuit"
SIGNATURES = {
    "append": [
        f"append(self: {QC}, qc: {QC}, qubits_vector: List[int], cbits_vector: List[int]) -> int",
        f"append(self: {QC}, g: VelorinLib.Gate, qubits_vector: List[int], cbits_vector: List[int]) -> int",
    ],
    "compose": [
        f"compose(self: {QC}, other: {QC}, qubits: List[int] = [], clbits: List[int] = [], front: bool = False, inplace: bool = False, wrap: bool = False) -> {QC}",
        f"compose(self: {QC}, g: VelorinLib.Gate, qubits: List[int] = [], clbits: List[int] = [], front: bool = False, inplace: bool = False, wrap: bool = False) -> {QC}",
    ],
    "copy": [f"copy(self: {QC}, name: str = '') -> {QC}"],
    "copy_empty_like": [f"copy_empty_like(self: {QC}, name: str = '') -> {QC}"],
    "count_ops": [f"count_ops(self: {QC}) -> dict"],
    "cls_instances": [f"cls_instances(self: {QC}) -> int"],
    "cls_prefix": [f"cls_prefix(self: {QC}) -> str"],
    "has_register": [f"has_register(self: {QC}, *args) -> bool"],
    "inverse": [f"inverse(self: {QC}, annotated: bool = False) -> {QC}"],
    "num_connected_components": [f"num_connected_components(self: {QC}, unitary_only: bool = False) -> int"],
    "num_nonlocal_gates": [f"num_nonlocal_gates(self: {QC}) -> int"],
    "num_unitary_factors": [f"num_unitary_factors(self: {QC}) -> int"],
    "num_tensor_factors": [f"num_tensor_factors(self: {QC}) -> int"],
    "qubit_duration": [f"qubit_duration(self: {QC}, arg0: int) -> float"],
    "qubit_start_time": [f"qubit_start_time(self: {QC}, arg0: int) -> float"],
    "qubit_end_time": [f"qubit_end_time(self: {QC}) -> int"],
    "remove_final_measurements": [f"remove_final_measurements(self: {QC}, inplace: bool = True) -> {QC}"],
    "repeat": [f"repeat(self: {QC}, arg0: int) -> {QC}"],
    "reverse_bits": [f"reverse_bits(self: {QC}) -> {QC}"],
    "reverse_ops": [f"reverse_ops(self: {QC}) -> {QC}"],
    "to_gate": [f"to_gate(self: {QC}, param_vector: List[float] = [], label: str = '') -> VelorinLib.Gate"],
    "control": [f"control(self: {QC}, num_ctrl_qubits: int = 1, label: str = '', ctrl_state: str = '', annotated: bool = False) -> {QC}"],
}


@pytest.mark.parametrize("name", sorted(DOCS))
def test_docstrings_and_signatures(name):
    doc = getattr(vl.QuantumCircuit, name).__doc__
    signatures = SIGNATURES[name]
    if len(signatures) == 1:
        assert doc == f"{signatures[0]}\n\n{DOCS[name]}\n"
    else:
        listed = "\n".join(f"{i}. {s}\n\n{DOCS[name]}\n" for i, s in enumerate(signatures, 1))
        assert doc == f"{name}(*args, **kwargs)\nOverloaded function.\n\n{listed}"


def test_registration_order():
    names = [n for n in vars(vl.QuantumCircuit) if not n.startswith("__")]
    order = ["c4x", "append", "compose", "copy", "copy_empty_like", "count_ops",
             "cls_instances", "cls_prefix"]
    after_qasm = ["has_register", "inverse", "num_connected_components", "num_nonlocal_gates",
                  "num_unitary_factors", "num_tensor_factors", "qubit_duration",
                  "qubit_start_time", "qubit_end_time", "remove_final_measurements", "repeat",
                  "reverse_bits", "reverse_ops", "to_gate", "control"]
    start = names.index("c4x")
    assert names[start:start + len(order)] == order
    assert names[-len(after_qasm):] == after_qasm
    tail = names[start + len(order):len(names) - len(after_qasm)]
    assert set(tail) <= {"from_qasm_file", "from_qasm_str"}


# Conditions follow their qubits through every relabelling ---------------------------------

def conditioned_source():
    """x(0); measure; x(1) if qubit 0 read 1: ends in |11>."""
    b = vl.QuantumCircuit(2)
    b.x(0)
    b.measure(0, 0)
    b.x(1).c_if(0, 1)
    return b


def final_basis_state(qc):
    psi = np.array(vl.BackendV2().run(qc, shots=1, mode="sync").result().get_statevector())
    index = int(np.argmax(np.abs(psi)))
    assert abs(psi[index]) == pytest.approx(1)
    return index


def register_conditioned_source():
    """Qubits 0 and 1 read 1, 0; x(2) if the register (0, 1) holds 1."""
    creg = vl.ClassicalRegister(2)
    vl.QuantumCircuit(vl.QuantumRegister(2), creg)  # creg covers bits 0 and 1
    b = vl.QuantumCircuit(3)
    b.x(0)
    b.measure([0, 1])
    b.x(2).c_if(creg, 1)
    return b


def host(n):
    return vl.QuantumCircuit(n)


RELABELLINGS = {
    "compose": lambda src, order: host(len(order)).compose(src, order),
    "compose in place": lambda src, order: (lambda h: (h.compose(src, order, inplace=True), h)[1])(
        host(len(order))),
    "append": lambda src, order: (lambda h: (h.append(src, order, list(range(len(order)))), h)[1])(
        host(len(order))),
    "append gate": lambda src, order: (lambda h: (
        h.append(src.to_gate(), order, list(range(len(order)))), h)[1])(host(len(order))),
    "compose gate": lambda src, order: host(len(order)).compose(
        src.to_gate(), order, list(range(len(order)))),
    "nested gate": lambda src, order: (lambda h: (h.append(
        (lambda w: (w.append(src.to_gate(), list(range(len(order))), list(range(len(order)))),
                    w)[1])(host(len(order))).to_gate(), order, list(range(len(order)))), h)[1])(
        host(len(order))),
}


@pytest.mark.parametrize("name", sorted(RELABELLINGS))
def test_a_bit_condition_moves_with_its_qubit(name):
    # Source qubit 0 lands on host qubit 1: the condition must test host qubit 1.
    result = RELABELLINGS[name](conditioned_source(), [1, 0])
    assert final_basis_state(result) == 0b11


@pytest.mark.parametrize("name", sorted(RELABELLINGS))
def test_a_register_condition_tests_exactly_the_mapped_qubits(name):
    # Source qubits (0, 1) land on host qubits (2, 0): scattered, in that order.
    order = [2, 0, 1]
    result = RELABELLINGS[name](register_conditioned_source(), order)
    # Host qubit 2 read 1 (bit 0), host qubit 0 read 0 (bit 1): value 1, x on host 1.
    assert final_basis_state(result) == 0b110


def test_reverse_bits_moves_conditions():
    assert final_basis_state(conditioned_source().reverse_bits()) == 0b11
    # Register (0, 1) becomes (2, 1): x(2) lands on qubit 0 and still fires.
    assert final_basis_state(register_conditioned_source().reverse_bits()) == 0b101


@pytest.mark.parametrize("depth", [0, 1, 2])
def test_control_refuses_a_conditioned_record(depth):
    src = vl.QuantumCircuit(2)
    src.x(1).c_if(0, 1)
    for _ in range(depth):
        wrapper = vl.QuantumCircuit(2)
        wrapper.append(src.to_gate(), [0, 1], [0, 1])
        src = wrapper
    with pytest.raises(RuntimeError) as info:
        src.control(1)
    assert "is not supported at this time for this operation" in str(info.value)


# Conditions through every form of append and compose, against a branching reference -----------

def branch_outcomes(n, program):
    """Probability of each final tuple of last measured values, one per qubit (-1: never
    measured), following every measurement outcome. A program is a list of (name, qubits,
    condition): name a gate of GATES, "measure", or "group" whose qubits entry is a program
    run whole under one test. A condition is None, ("bit", q, v) or ("reg", [q per bit], v);
    a q of None or outside the qubits is never measured."""

    def holds(condition, seen):
        if condition is None:
            return True
        kind, where, value = condition
        if kind == "bit":
            return where is not None and 0 <= where < n and seen[where] == value
        ones = [k for k, q in enumerate(where) if q is not None and 0 <= q < n and seen[q] == 1]
        return sum(1 << k for k in ones) == value

    def run(program, branches):
        for name, qubits, condition in program:
            out = []
            for p, psi, seen in branches:
                if not holds(condition, seen):
                    out.append((p, psi, seen))
                elif name == "group":
                    out.extend(run(qubits, [(p, psi, seen)]))
                elif name == "measure":
                    q = qubits[0]
                    for bit in (0, 1):
                        kept = psi.copy()
                        index = [slice(None)] * n
                        index[n - 1 - q] = 1 - bit
                        kept[tuple(index)] = 0
                        weight = float(np.sum(np.abs(kept) ** 2))
                        if weight > 1e-12:
                            out.append((p * weight, kept / np.sqrt(weight),
                                        seen[:q] + (bit,) + seen[q + 1:]))
                else:
                    state = DenseState(n)
                    state.psi = psi
                    state.apply(GATES[name][2](), qubits)
                    out.append((p, state.psi, seen))
            branches = out
        return branches

    start = DenseState(n).psi
    outcomes = {}
    for p, _, seen in run(program, [(1.0, start, (-1,) * n)]):
        outcomes[seen] = outcomes.get(seen, 0.0) + p
    return outcomes


def clbit_register(start, size):
    """A classical register whose bits start at `start`."""
    lead = [vl.ClassicalRegister(start, "lead")] if start else []
    reg = vl.ClassicalRegister(size, "c")
    vl.QuantumCircuit(vl.QuantumRegister(4, "q"), *lead, reg)
    return reg


def source_measured_bit():
    s = vl.QuantumCircuit(2, 2)
    s.h(0)
    s.measure(0, 0)
    s.x(1).c_if(0, 1)
    return s, [("h", [0], None), ("measure", [0], None), ("x", [1], ("bit", 0, 1))]


def source_other_bit():
    s = vl.QuantumCircuit(2, 2)
    s.x(0).c_if(1, 1)
    return s, [("x", [0], ("bit", 1, 1))]


def source_bit_beyond():
    s = vl.QuantumCircuit(2, 2)
    s.x(0).c_if(2, 1)  # the source has no qubit 2: never holds there
    return s, [("x", [0], ("bit", 2, 1))]


def source_register():
    c = clbit_register(0, 2)
    s = vl.QuantumCircuit(2, 2)
    s.h(1)
    s.measure(1, 1)
    s.x(0).c_if(c, 2)
    return s, [("h", [1], None), ("measure", [1], None), ("x", [0], ("reg", [0, 1], 2))]


def source_register_partly_beyond():
    c = clbit_register(1, 2)  # bits 1 and 2; the source has no qubit 2
    s = vl.QuantumCircuit(2, 2)
    s.x(0).c_if(c, 1)  # holds when qubit 1 read 1
    s.x(1).c_if(c, 2)  # never holds
    return s, [("x", [0], ("reg", [1, 2], 1)), ("x", [1], ("reg", [1, 2], 2))]


SOURCES = {
    "bit on a measured qubit": source_measured_bit,
    "bit on another qubit": source_other_bit,
    "bit beyond the source": source_bit_beyond,
    "register": source_register,
    "register partly beyond the source": source_register_partly_beyond,
}

HOST = 6  # qubits 0 to 2 take the source; 3 to 5 witness what 0 to 2 read first
MAPS = {"identity": [0, 1], "swapped": [1, 0], "partial": [2, 0]}


def full_map(order):
    return order + [q for q in range(HOST) if q not in order]


# name -> (puts the source into the host, whether it lands in front)
SOURCE_FORMS = {
    "append": (lambda h, s, m: h.append(s, full_map(m), list(range(HOST))), False),
    "compose": (lambda h, s, m: h.compose(s, m), False),
    "compose in place": (lambda h, s, m: h.compose(s, m, inplace=True), False),
    "compose in front": (lambda h, s, m: h.compose(s, m, front=True), True),
    "append box": (lambda h, s, m: h.append(s.to_gate(), m, m), False),
    "compose box": (lambda h, s, m: h.compose(s.to_gate(), m, m), False),
    "compose box in front": (lambda h, s, m: h.compose(s.to_gate(), m, m, front=True), True),
}


def relabelled(program, qubit_image, bit_image):
    """The program with its qubits and the qubits its conditions test relabelled."""
    out = []
    for name, qubits, condition in program:
        if condition is not None:
            kind, where, value = condition
            where = bit_image(where) if kind == "bit" else [bit_image(q) for q in where]
            condition = (kind, where, value)
        out.append((name, [qubit_image(q) for q in qubits], condition))
    return out


def assert_runs_like(host, program):
    """The host's outcomes lie in the reference's support and cover its likely ones."""
    expected = branch_outcomes(HOST, program)
    counts = BACKEND.run(host, shots=400, mode="sync").result().get_counts()
    seen = {tuple(int(b) for b in reversed(key)): n for key, n in counts.items()}
    assert set(seen) <= {k for k, p in expected.items() if p > 1e-9}, (seen, expected)
    assert {k for k, p in expected.items() if p >= 0.1} <= set(seen), (seen, expected)


def hosted(place, in_front):
    """A host whose qubits 0 to 2 are measured at random first, with a copy of each value
    kept on qubits 3 to 5, then `place`d into, then read."""
    h = vl.QuantumCircuit(HOST, HOST)
    prelude = []
    for q in range(3):
        prelude += [("h", [q], None), ("cx", [q, q + 3], None), ("measure", [q], None)]

    def measure_at_random():
        for q in range(3):
            h.h(q)
            h.cx(q, q + 3)
            h.measure(q, q)

    if not in_front:
        measure_at_random()
    place(h)
    if in_front:
        measure_at_random()
    for q in range(HOST):
        h.measure(q, q)
    return h, prelude, [("measure", [q], None) for q in range(HOST)]


@pytest.mark.parametrize("order", sorted(MAPS))
@pytest.mark.parametrize("form", sorted(SOURCE_FORMS))
@pytest.mark.parametrize("source", sorted(SOURCES))
def test_conditions_of_records_map_like_their_qubits(source, form, order):
    s, program = SOURCES[source]()
    put, in_front = SOURCE_FORMS[form]
    m = MAPS[order]
    h, prelude, readout = hosted(lambda h: put(h, s, m), in_front)
    # A tested qubit the source lacks was never measured there, nor is it here.
    part = relabelled(program, lambda q: m[q], lambda q: m[q] if q is not None and q < 2 else None)
    assert_runs_like(h, (part + prelude if in_front else prelude + part) + readout)


def box_conditioned(condition):
    s = vl.QuantumCircuit(2, 2)
    s.x(1)
    g = s.to_gate()
    g.c_if(*condition)
    return g, [0, 1], [("x", [1], None)], s


def record_conditioned(method, qubits, condition):
    s = vl.QuantumCircuit(2, 2)
    g = getattr(s, method)(*qubits)
    g.c_if(*condition)
    return g, qubits, [(method, qubits, None)], s  # the gate lives as long as its circuit


# name -> (gate maker, the reference condition in the source's numbering)
WHOLE_GATES = {
    "box on its own bit": (lambda: box_conditioned((0, 1)), ("bit", 0, 1)),
    "box on a bit outside it": (lambda: box_conditioned((2, 1)), ("bit", 2, 1)),
    "box on a register": (lambda: box_conditioned((clbit_register(0, 2), 1)), ("reg", [0, 1], 1)),
    "box on a register partly outside it": (
        lambda: box_conditioned((clbit_register(1, 2), 3)), ("reg", [1, 2], 3)),
    "record on its own bit": (lambda: record_conditioned("cx", [0, 1], (0, 1)), ("bit", 0, 1)),
    "record on a bit outside it": (lambda: record_conditioned("x", [1], (0, 1)), ("bit", 0, 1)),
    "record on a register": (
        lambda: record_conditioned("x", [1], (clbit_register(0, 2), 2)), ("reg", [0, 1], 2)),
}

GATE_FORMS = {
    "append": (lambda h, g, m: h.append(g, m, m), False),
    "compose": (lambda h, g, m: h.compose(g, m, m), False),
    "compose in place": (lambda h, g, m: h.compose(g, m, m, inplace=True), False),
    "compose in front": (lambda h, g, m: h.compose(g, m, m, front=True), True),
}

GATE_MAPS = {  # per number of the gate's own qubits
    2: MAPS,
    1: {"identity": [1], "swapped": [0], "partial": [2]},
}


@pytest.mark.parametrize("order", sorted(MAPS))
@pytest.mark.parametrize("form", sorted(GATE_FORMS))
@pytest.mark.parametrize("gate", sorted(WHOLE_GATES))
def test_the_condition_of_a_gate_maps_like_its_qubits(gate, form, order):
    make, condition = WHOLE_GATES[gate]
    g, own, program, _source = make()
    put, in_front = GATE_FORMS[form]
    m = GATE_MAPS[len(own)][order]
    h, prelude, readout = hosted(lambda h: put(h, g, m), in_front)
    # The gate's own qubits move with it; any other bit keeps its number.
    image = {q: m[i] for i, q in enumerate(own)}
    body = relabelled(program, lambda q: image[q], None)
    (group,) = relabelled([("group", body, condition)], lambda q: q, lambda q: image.get(q, q))
    assert_runs_like(h, ([group] + prelude if in_front else prelude + [group]) + readout)
    if condition[0] == "bit":  # one condition per record: the composite's, written once
        text = h.qasm()
        assert text.count("if (") == 1, text


@pytest.mark.parametrize("condition", [
    lambda: (3, 1),                          # a bit the host lacks
    lambda: (clbit_register(2, 2), 1),       # bits 2 and 3: the host lacks 3
    lambda: (clbit_register(0, 2**31 - 1), 1),  # all but two bits lie past the host
])
@pytest.mark.parametrize("form", sorted(GATE_FORMS))
def test_a_gate_conditioned_outside_itself_needs_that_bit_in_the_host(condition, form):
    g, _, _, _source = record_conditioned("x", [1], condition())
    h = vl.QuantumCircuit(3, 3)
    h.x(0)
    with pytest.raises(RuntimeError, match=f"^{INVALID}$"):
        GATE_FORMS[form][0](h, g, [2])
    assert h.size() == 1


def test_a_box_conditioned_as_a_whole_runs_and_writes_its_mapped_bit():
    s = vl.QuantumCircuit(vl.QuantumRegister(2, "q"), vl.ClassicalRegister(2, "c"))
    s.x(1)
    g = s.to_gate()
    g.c_if(0, 1)  # the box's qubit 0 becomes the host's qubit 1
    h = vl.QuantumCircuit(vl.QuantumRegister(2, "q"), vl.ClassicalRegister(2, "c"))
    h.x(1)
    h.measure(1, 1)
    h.append(g, [1, 0], [1, 0])
    h.measure(0, 0)
    assert BACKEND.run(h, shots=20, mode="sync").result().get_counts() == {"11": 20}
    assert "if (c[1] " in h.qasm()
