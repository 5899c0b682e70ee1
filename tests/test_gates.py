"""Parameterised one-qubit gates, two-qubit gates, delay, and the counting methods."""
import math
import os
from fractions import Fraction

import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import GATES, controlled, phase, u as u_matrix

INVALID = "Invalid Parameter passed to the gate instruction."
BAD_UNIT = ('Invalid input for "unit". Try one of - "s", "ms", "us", "ns","ps", '
            'or , "dt".')

# name, angles, result class, docstring
ONE_QUBIT = [
    ("p", (0.3,), "PhaseGate", "Implements the phase gate"),
    ("r", (0.3, -1.2), "RGate", "Implements the rotation gate r"),
    ("rv", (0.3, -1.2, 2.0), "RvGate", "Implements the rv gate"),
    ("rx", (0.3,), "RXGate", "Implements the rx gate"),
    ("ry", (0.3,), "RYGate", "Implements the ry gate"),
    ("rz", (0.3,), "RZGate", "Implements the rz gate"),
    ("u", (0.3, -1.2, 2.0), "UGate", "Implements the u gate"),
    ("u0", (0.3,), "U0Gate", "Implements the U0 gate, which is the same as the identity gate"),
    ("u1", (0.3,), "U1Gate", "Implements the u1 gate"),
    ("u2", (0.3, -1.2), "U2Gate", "Implements the u2 gate"),
    ("u3", (0.3, -1.2, 2.0), "U3Gate", "Implements the u3 gate"),
]

CONTROLLED = ("control_qubit", "target_qubit")
PAIR = ("qubit1", "qubit2")

# name, angles, qubit argument names, result class, docstring
TWO_QUBIT = [
    ("cx", (), CONTROLLED, "CXGate", "Implements the controlled-x gate"),
    ("cy", (), CONTROLLED, "CYGate", "Implements the controlled-y gate"),
    ("cz", (), CONTROLLED, "CZGate", "Implements the controlled-z gate"),
    ("ch", (), CONTROLLED, "CHGate", "Implements the controlled-h gate"),
    ("cnot", (), CONTROLLED, "CXGate", "Implements the controlled-not gate"),
    ("cp", (0.5,), CONTROLLED, "CPGate", "Implements the controlled-phase gate"),
    ("cs", (), CONTROLLED, "CSGate", "Implements the controlled-s gate"),
    ("csdg", (), CONTROLLED, "CSdgGate", "Implements the controlled-sdg gate"),
    ("csx", (), CONTROLLED, "CSXGate", "Implements the controlled-sx gate"),
    ("crx", (0.5,), CONTROLLED, "CRXGate", "Implements the controlled-rx gate"),
    ("cry", (0.5,), CONTROLLED, "CRYGate", "Implements the controlled-ry gate"),
    ("crz", (0.5,), CONTROLLED, "CRZGate", "Implements the controlled-rz gate"),
    ("cu", (0.1, 0.2, 0.3, 0.4), CONTROLLED, "CUGate", "Implements the controlled-u gate"),
    ("dcx", (), PAIR, "DCXGate", "Implements the dcx gate"),
    ("ecr", (), PAIR, "ECRGate", "Implements the ecr gate"),
    ("iswap", (), PAIR, "ISWAPGate", "Implements the iswap gate"),
    ("rxx", (0.5,), PAIR, "RXXGate", "Implements the rxx gate"),
    ("ryy", (0.5,), PAIR, "RYYGate", "Implements the ryy gate"),
    ("rzx", (0.5,), PAIR, "RZXGate", "Implements the rzx gate"),
    ("rzz", (0.5,), PAIR, "RZZGate", "Implements the rzz gate"),
    ("swap", (), PAIR, "SWAPGate", "Implements the swap gate"),
    ("cu1", (0.5,), CONTROLLED, "CU1Gate", "Implements the controlled-u1 gate"),
    # All three angles come back, as the record holds them.
    ("cu3", (0.1, 0.2, 0.3), CONTROLLED, "CU3Gate", "Implements the controlled-u3 gate"),
]

ANGLE_NAMES = {
    "p": ["theta"], "r": ["theta", "phi"], "rv": ["vx", "vy", "vz"], "rx": ["theta"],
    "ry": ["theta"], "rz": ["phi"], "u": ["theta", "phi", "lambda"], "u0": ["gamma"],
    "u1": ["lambda"], "u2": ["phi", "lambda"], "u3": ["theta", "phi", "lambda"],
}


def test_module_under_test_is_the_expected_build():
    expected = os.environ.get("VELORIN_EXPECT_BUILD")
    if expected:
        assert os.path.realpath(vl.__file__).startswith(os.path.realpath(expected))


def test_methods_are_registered_in_order():
    methods = [n for n, v in vars(vl.QuantumCircuit).items()
               if not n.startswith("_") and not isinstance(v, property)]
    expected = ["h", "x", "i", "id", "t", "s", "tdg", "sdg", "sx", "sxdg", "y", "z"]
    expected += [row[0] for row in ONE_QUBIT] + ["delay"] + [row[0] for row in TWO_QUBIT]
    expected += ["barrier", "measure_active", "measure_all", "measure",
                 "depth", "width", "clear", "size", "reset"]
    assert [n for n in methods if n in expected] == expected


# One-qubit gates with angles ----------------------------------------------------

@pytest.mark.parametrize("name, angles, cls, doc", ONE_QUBIT)
def test_one_qubit_gate_on_one_qubit(name, angles, cls, doc):
    qc = vl.QuantumCircuit(3)
    gate = getattr(qc, name)(*angles, 2)
    assert type(gate) is getattr(vl, cls)
    assert gate.params == list(angles)
    assert (gate.num_qubits, gate.label, gate.name) == (3, "", "")
    assert qc.size() == 1
    labelled = getattr(qc, name)(*angles, 1, "lab")
    assert (labelled.label, labelled.name) == ("lab", "lab")
    # The gate made its qubit active.
    assert qc.measure_active().num_qubits == 2


@pytest.mark.parametrize("name, angles, cls, doc", ONE_QUBIT)
def test_one_qubit_gate_keywords_and_docstring(name, angles, cls, doc):
    qc = vl.QuantumCircuit(2)
    kwargs = dict(zip(ANGLE_NAMES[name], angles))
    assert getattr(qc, name)(**kwargs, qubit=1, label="k").params == list(angles)
    text = getattr(vl.QuantumCircuit, name).__doc__
    assert text.count(doc) == 4
    args = ", ".join(f"{a}: float" for a in ANGLE_NAMES[name])
    for i, qubit in enumerate(["qubit: int", "qubit_vector: List[int]",
                               "qr: VelorinLib.QuantumRegister",
                               "ar: VelorinLib.AncillaRegister"], start=1):
        assert (f"{i}. {name}(self: VelorinLib.QuantumCircuit, {args}, {qubit}, "
                f"label: str = '') -> VelorinLib.{cls}") in text


# One representative per number of angles: the overloads are shared by all.
SHAPES = [("rx", (0.25,)), ("u2", (0.25, 1.5)), ("u", (0.25, 1.5, -2.0))]


@pytest.mark.parametrize("name, angles", SHAPES)
def test_list_and_register_forms(name, angles):
    qr = vl.QuantumRegister(2)
    anc = vl.AncillaRegister(2)
    qc = vl.QuantumCircuit(qr, anc)
    method = getattr(qc, name)
    gate = method(*angles, [3, 3, 0])
    assert (gate.params, gate.num_qubits, qc.size()) == (list(angles), 4, 3)
    # A register by position is a sequence of its indices; by keyword, the register overloads.
    for gate in (method(*angles, qr), method(*angles, qr=qr), method(*angles, ar=anc)):
        assert gate.params == list(angles)
        assert gate.num_qubits == 4
    assert qc.size() == 9
    assert qc.depth() == 3  # qubit 0: list, qr by position, qr=; qubit 3: twice, then ar=
    empty = method(*angles, [], "e")
    assert (empty.name, empty.label, empty.num_qubits, empty.params) == ("e", "e", 4, list(angles))
    assert qc.size() == 9


@pytest.mark.parametrize("name, angles", SHAPES)
def test_bad_qubit_in_a_list_keeps_earlier_records(name, angles):
    qc = vl.QuantumCircuit(3)
    with pytest.raises(RuntimeError, match="^Invalid Parameter passed to the gate instruction.$"):
        getattr(qc, name)(*angles, [0, 5, 1])
    assert qc.size() == 1
    with pytest.raises(RuntimeError) as err:
        getattr(qc, name)(*angles, [-1])
    assert str(err.value) == INVALID
    with pytest.raises(RuntimeError) as err:
        getattr(qc, name)(*angles, 3)
    assert str(err.value) == INVALID
    big = vl.QuantumRegister(4)
    with pytest.raises(RuntimeError) as err:
        getattr(qc, name)(*angles, qr=big)
    assert str(err.value) == INVALID
    # The register form stops at its first qubit outside the circuit.
    start = big[0]
    leading_valid = max(0, min(4, 3 - start)) if start >= 0 else 0
    assert qc.size() == 1 + leading_valid


@pytest.mark.parametrize("call", [
    lambda qc: qc.rx(0.5, -1),
    lambda qc: qc.rx(0.5, 0.0),
    lambda qc: qc.rx("a", 0),
    lambda qc: qc.rx(0.5, None),
    lambda qc: qc.rx(0.5, [0.5]),
    lambda qc: qc.rx(theta=0.5, qubit=[0]),
    lambda qc: qc.u(0.1, 0.2, 0),
    lambda qc: qc.rx(0.5, 0, None),
])
def test_one_qubit_bad_arguments_raise_type_error(call):
    qc = vl.QuantumCircuit(2)
    with pytest.raises(TypeError):
        call(qc)
    assert qc.size() == 0


def test_integer_angle_is_converted():
    qc = vl.QuantumCircuit(1)
    gate = qc.rx(1, 0)
    assert gate.params == [1.0] and isinstance(gate.params[0], float)


def test_rv_zero_vector_keeps_its_params():
    qc = vl.QuantumCircuit(1)
    gate = qc.rv(0.0, 0.0, 0.0, 0)
    assert gate.params == [0.0, 0.0, 0.0]
    assert qc.size() == 1


def test_non_finite_angles_are_stored():
    qc = vl.QuantumCircuit(1)
    assert math.isnan(qc.p(float("nan"), 0).params[0])
    assert qc.u(float("inf"), 0.0, 0.0, 0).params[0] == float("inf")


# Huge angles ---------------------------------------------------------------------

BACKEND = vl.BackendV2()
BIG = 1.7976931348623157e308  # the largest finite double

# Angles handed out in turn to a gate's parameters: every sign and size of
# huge angle, alone and next to ordinary ones.
HUGE_ANGLES = [
    [1e17], [-1e17], [1e308], [-1e308], [BIG, -BIG, BIG],
    [-3.231923, -1e308, 1e17, 0.5], [1.0, 1e17, 1.0, -2.0], [0.5, 1e17], [1e308, -3.0, 1e17],
]


def angles_for(count, pattern):
    return [pattern[i % len(pattern)] for i in range(count)]


def engine_unitary(n, record):
    """The matrix a run applies: column b is the state reached from basis state b."""
    columns = []
    for b in range(2**n):
        qc = vl.QuantumCircuit(n)
        for q in range(n):
            if b >> q & 1:
                qc.x(q)
        record(qc)
        columns.append(BACKEND.run(qc, mode="sync").result().get_statevector())
    return np.array(columns).T


def _arccot(x, unity):
    total = term = unity // x
    n, sign = 3, -1
    while term:
        term //= x * x
        total += sign * (term // n)
        sign, n = -sign, n + 2
    return total


_UNITY = 1 << 1400  # far more bits than the largest double's integer part
_PI = 4 * (4 * _arccot(5, _UNITY) - _arccot(239, _UNITY))


def reduced(x):
    """x modulo 4 pi, exactly, into [-2 pi, 2 pi]: the same phases and half angles."""
    period = 4 * _PI
    scaled = int(Fraction(x) * _UNITY)
    k = (2 * scaled + period) // (2 * period)
    return float(Fraction(scaled - k * period, _UNITY))


def r_matrix(t, p):
    c, s = np.cos(t / 2), np.sin(t / 2)
    return np.array([[c, -1j * np.exp(-1j * p) * s], [-1j * np.exp(1j * p) * s, c]])


# Every method taking angles: qubits, how it records, and where the dense
# reference has its matrix, that matrix from the (reduced) angles.
ANGLED = {name: (1, len(angles), None) for name, angles, _, _ in ONE_QUBIT}
ANGLED.update({name: (2, len(angles), None) for name, angles, *_ in TWO_QUBIT if angles})
for name in ("p", "rx", "ry", "rz", "u", "cp", "crx", "cry", "crz", "rxx", "ryy", "rzz"):
    ANGLED[name] = ANGLED[name][:2] + (GATES[name][2],)
ANGLED["u1"] = (1, 1, phase)
ANGLED["u2"] = (1, 2, lambda p, l: u_matrix(np.pi / 2, p, l))
ANGLED["u3"] = (1, 3, u_matrix)
ANGLED["r"] = (1, 2, r_matrix)
ANGLED["u0"] = (1, 1, lambda g: np.eye(2))
ANGLED["cu"] = (2, 4, lambda t, p, l, g: controlled(np.exp(1j * g) * u_matrix(t, p, l)))
ANGLED["cu1"] = (2, 1, lambda t: controlled(phase(t)))
ANGLED["cu3"] = (2, 3, lambda t, p, l: controlled(u_matrix(t, p, l)))
COMPOSITES = {
    "mcp": lambda qc, a: qc.mcp(a, [0, 1], 2),
    "mcrx": lambda qc, a: qc.mcrx(a, [0, 1], 2),
    "mcry": lambda qc, a: qc.mcry(a, [0, 1], 2),
    "mcrz": lambda qc, a: qc.mcrz(a, [0, 1], 2),
    "gms": lambda qc, a: qc.gms(a, [0, 1, 2]),
}


def test_every_gate_taking_angles_is_checked():
    registered = {name for name, _, _, _ in ONE_QUBIT} | {t[0] for t in TWO_QUBIT if t[1]}
    assert set(ANGLED) == registered


@pytest.mark.parametrize("pattern", HUGE_ANGLES, ids=str)
@pytest.mark.parametrize("name", sorted(ANGLED))
def test_gates_stay_unitary_at_huge_angles(name, pattern):
    n, count, reference = ANGLED[name]
    angles = angles_for(count, pattern)
    unitary = engine_unitary(n, lambda qc: getattr(qc, name)(*angles, *range(n)))
    np.testing.assert_allclose(unitary.conj().T @ unitary, np.eye(2**n), atol=1e-12)
    if reference is not None:
        # The angle a huge double stands for, to the last bit: no rounding
        # of the engine's may move it.
        expected = reference(*[reduced(a) for a in angles])
        np.testing.assert_allclose(unitary, expected, atol=1e-12)


@pytest.mark.parametrize("angle", [1e17, -1e17, 1e308, -BIG])
@pytest.mark.parametrize("name", sorted(COMPOSITES))
def test_multi_qubit_gates_stay_unitary_at_huge_angles(name, angle):
    unitary = engine_unitary(3, lambda qc: COMPOSITES[name](qc, angle))
    np.testing.assert_allclose(unitary.conj().T @ unitary, np.eye(8), atol=1e-12)


def test_a_huge_angle_beside_an_ordinary_one_keeps_the_state_normalised():
    qc = vl.QuantumCircuit(1)
    qc.h(0)
    qc.u2(-3.231923, -1e308, 0)
    state = np.array(BACKEND.run(qc, mode="sync").result().get_statevector())
    expected = u_matrix(np.pi / 2, reduced(-3.231923), reduced(-1e308)) @ [2**-0.5, 2**-0.5]
    assert np.linalg.norm(state) == pytest.approx(1.0, abs=1e-14)
    np.testing.assert_allclose(state, expected, atol=1e-14)


# Delay -------------------------------------------------------------------------

UNITS = [("s", 1e9), ("ms", 1e6), ("us", 1e3), ("ns", 1.0), ("ps", 0.001), ("dt", 1e6),
         ("S", 1e9), ("Ms", 1e6), ("mS", 1e6), ("Us", 1e3), ("nS", 1.0), ("PS", 0.001),
         ("DT", 1e6)]


@pytest.mark.parametrize("unit, factor", UNITS)
@pytest.mark.parametrize("duration", [5, 3, -4, 0, 2**31 - 1, -2**31])
def test_delay_converts_to_nanoseconds(unit, factor, duration):
    qc = vl.QuantumCircuit(2)
    gate = qc.delay(duration, 1, unit)
    assert type(gate) is vl.DelayGate
    assert gate.params == [duration * factor]
    assert gate.num_qubits == 2
    assert qc.size() == 1


def test_delay_defaults_to_dt_which_counts_milliseconds():
    qc = vl.QuantumCircuit(1)
    assert qc.delay(5, 0).params == [5000000.0]
    assert qc.delay(3, 0, "s").params == [3000000000.0]
    assert qc.delay(3, 0, "ps").params == [3 * 0.001]


def test_delay_list_and_register_forms_report_the_duration_as_given():
    qr = vl.QuantumRegister(2)
    anc = vl.AncillaRegister(1)
    qc = vl.QuantumCircuit(qr, anc)
    for gate in (qc.delay(7, [0, 1], "us"), qc.delay(7, qr, "us"), qc.delay(7, qr=qr, unit="us"),
                 qc.delay(7, ar=anc, unit="us", label="w")):
        assert gate.params == [7.0]
        assert gate.num_qubits == 3
    assert qc.size() == 7
    assert gate.label == gate.name == "w"


@pytest.mark.parametrize("unit", ["sec", "m", " ns", "ns ", "", "nanoseconds", "\u00b5s"])
def test_delay_rejects_unknown_units(unit):
    qc = vl.QuantumCircuit(2)
    for call in (lambda: qc.delay(1, 0, unit), lambda: qc.delay(1, [0, 1], unit),
                 lambda: qc.delay(1, 7, unit)):  # the unit is reported before the qubit
        with pytest.raises(RuntimeError) as err:
            call()
        assert str(err.value) == BAD_UNIT
    assert qc.size() == 0
    # An empty list checks no unit.
    gate = qc.delay(4, [], unit, "e")
    assert (gate.params, gate.name, gate.num_qubits) == ([4.0], "e", 2)


def test_delay_bad_qubit_and_arguments():
    qc = vl.QuantumCircuit(3)
    with pytest.raises(RuntimeError) as err:
        qc.delay(1, [0, 5, 1], "ns")
    assert str(err.value) == INVALID
    assert qc.size() == 1
    for call in (lambda: qc.delay(2.5, 0), lambda: qc.delay(2**31, 0), lambda: qc.delay(1, -1),
                 lambda: qc.delay(1, 0, None), lambda: qc.delay(1, 0, 5)):
        with pytest.raises(TypeError):
            call()
    assert qc.size() == 1


# Two-qubit gates --------------------------------------------------------------

@pytest.mark.parametrize("name, angles, qubit_names, cls, doc", TWO_QUBIT)
def test_two_qubit_gate(name, angles, qubit_names, cls, doc):
    qc = vl.QuantumCircuit(5)
    gate = getattr(qc, name)(*angles, 3, 1)
    assert type(gate) is getattr(vl, cls)
    assert gate.params == list(angles)
    assert (gate.num_qubits, gate.label, gate.name) == (5, "", "")
    assert qc.size() == 1 and qc.depth() == 1
    assert qc.measure_active().num_qubits == 2
    kwargs = dict(zip(["theta", "phi", "lambda", "gamma"], angles))
    kwargs.update(zip(qubit_names, (0, 4)))
    labelled = getattr(qc, name)(**kwargs, label="L")
    assert (labelled.label, labelled.name, labelled.params) == ("L", "L", list(angles))
    args = "".join(f"{a}: float, " for a in ["theta", "phi", "lambda", "gamma"][:len(angles)])
    assert getattr(vl.QuantumCircuit, name).__doc__ == (
        f"{name}(self: VelorinLib.QuantumCircuit, {args}{qubit_names[0]}: int, "
        f"{qubit_names[1]}: int, label: str = '') -> VelorinLib.{cls}\n\n{doc}\n")


@pytest.mark.parametrize("name, angles, qubit_names, cls, doc", TWO_QUBIT)
def test_two_qubit_gate_rejects_bad_qubits(name, angles, qubit_names, cls, doc):
    qc = vl.QuantumCircuit(3)
    for first, second in [(1, 1), (0, 3), (3, 0)]:
        with pytest.raises(RuntimeError) as err:
            getattr(qc, name)(*angles, first, second)
        assert str(err.value) == INVALID
    for first, second in [(-1, 0), (0.0, 1)]:
        with pytest.raises(TypeError):
            getattr(qc, name)(*angles, first, second)
    assert qc.size() == 0
    assert qc.measure_active().num_qubits == 0


def test_two_qubit_gates_count_the_ancillas():
    qc = vl.QuantumCircuit(vl.QuantumRegister(2), vl.AncillaRegister(1))
    assert qc.cx(0, 2).num_qubits == 3


def test_cu3_and_cu_return_all_their_angles():
    qc = vl.QuantumCircuit(2)
    assert qc.cu3(0.1, 0.2, 0.3, 0, 1).params == [0.1, 0.2, 0.3]
    assert qc.cu(0.1, 0.2, 0.3, 0.4, 0, 1).params == [0.1, 0.2, 0.3, 0.4]
    assert qc.cp(1, 0, 1).params == [1.0]
    assert qc.cu(**{"theta": 0.1, "phi": 0.2, "lambda": 0.3, "gamma": 0.4},
                 control_qubit=1, target_qubit=0).params == [0.1, 0.2, 0.3, 0.4]


def test_cnot_is_cx_with_its_own_docstring():
    qc = vl.QuantumCircuit(2)
    assert type(qc.cnot(0, 1)) is vl.CXGate
    assert vl.QuantumCircuit.cnot.__doc__ != vl.QuantumCircuit.cx.__doc__


def test_condition_on_a_two_qubit_gate_and_after_clear():
    qc = vl.QuantumCircuit(2)
    gate = qc.swap(0, 1)
    assert gate.c_if(vl.ClassicalRegister(2), 1) is None
    qc.clear()
    # The records are gone: the condition reaches nothing and nothing breaks.
    assert gate.c_if(0, 1) is None
    assert qc.size() == 0


# depth, width, size, clear -----------------------------------------------------------

def test_counting_on_an_empty_circuit():
    qc = vl.QuantumCircuit(3, 1)
    assert (qc.depth(), qc.size(), qc.width()) == (0, 0, 4)
    assert vl.QuantumCircuit(2).width() == 4


def test_depth_counts_per_qubit():
    qc = vl.QuantumCircuit(3)
    qc.h(0)
    qc.cx(0, 1)
    assert qc.depth() == 2
    qc = vl.QuantumCircuit(3)
    qc.x(1)
    qc.x(1)
    qc.cx(0, 1)
    qc.h(0)
    assert qc.depth() == 3  # qubit 1 reaches 3, qubit 0 only 2


def test_barrier_levels_depth_and_is_not_counted_by_size():
    qc = vl.QuantumCircuit(3)
    qc.h(0)
    qc.x(1)
    qc.x(1)
    qc.barrier()
    qc.h(2)
    assert qc.depth() == 3
    assert qc.size() == 4
    qc.measure(2)
    qc.delay(1, 2, "ns")
    qc.reset(2)
    assert (qc.depth(), qc.size()) == (6, 7)


def test_size_of_h_barrier_measure():
    qc = vl.QuantumCircuit(2)
    qc.h(0)
    qc.barrier()
    qc.measure(0)
    assert qc.size() == 2


def test_clear_keeps_registers_and_active_marks():
    qc = vl.QuantumCircuit(3, 2)
    qc.h(1)
    qc.rzz(0.1, 0, 1)
    assert qc.clear() is None
    assert (qc.size(), qc.depth(), qc.width(), qc.num_qubits) == (0, 0, 5, 3)
    assert qc.measure_active().num_qubits == 2


def test_counting_docstrings():
    docs = {
        "depth": "Obtains the depth of the circuit",
        "width": "Obtains the width of the circuit",
        "clear": "Deletes all quantum gates added to the circuit",
        "size": "Returns to the total number of gate operations in the circuit, excepting for "
                "barrier gates",
    }
    for name, doc in docs.items():
        result = "None" if name == "clear" else "int"
        assert getattr(vl.QuantumCircuit, name).__doc__ == (
            f"{name}(self: VelorinLib.QuantumCircuit) -> {result}\n\n{doc}\n")
    with pytest.raises(TypeError):
        vl.QuantumCircuit(1).depth(0)


def test_delay_docstring():
    text = vl.QuantumCircuit.delay.__doc__
    assert text.count("Adds a delay to the execution for the given qubit") == 4
    assert ("1. delay(self: VelorinLib.QuantumCircuit, duration: int, qubit: int, "
            "unit: str = 'dt', label: str = '') -> VelorinLib.DelayGate") in text
    assert ("2. delay(self: VelorinLib.QuantumCircuit, duration: int, qubit_vector: List[int], "
            "unit: str = 'dt', label: str = '') -> VelorinLib.DelayGate") in text
