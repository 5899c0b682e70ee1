import gc
import re

import numpy as np
import pytest

import VelorinLib as vl

QUBITS = "Invalid number of qubits passed."
CLBITS = "Invalid number of classical bits passed."
ARGUMENT = "Invalid argument passed to constructor."


def shape(qc):
    return qc.num_qubits, qc.num_ancillas, qc.num_clbits


@pytest.mark.parametrize(
    "args,kwargs,expected",
    [
        ((3,), {}, (3, 0, 3)),
        ((3, 2), {}, (3, 0, 2)),
        ((3, "named"), {}, (3, 0, 3)),
        ((0,), {}, (100, 0, 100)),
        ((250,), {}, (100, 0, 100)),
        ((0, 5), {}, (100, 0, 5)),
        ((True,), {}, (1, 0, 1)),
        ((3,), {"global_phase": 1}, (3, 0, 3)),
        ((3,), {"metadata": {"a": 1}}, (3, 0, 3)),
    ],
)
def test_count_constructors(args, kwargs, expected):
    assert shape(vl.QuantumCircuit(*args, **kwargs)) == expected


@pytest.mark.parametrize(
    "args,kwargs,error,text",
    [
        ((2, 3), {}, ValueError, CLBITS),
        ((), {}, ValueError, QUBITS),
        ((2.0,), {}, ValueError, ARGUMENT),
        ((-1,), {}, ValueError, ARGUMENT),
        (("x",), {}, ValueError, ARGUMENT),
        # A numpy integer needs the conversion pass; the *args form takes it first.
        ((np.int64(3),), {}, ValueError, ARGUMENT),
        ((3,), {"metadata": None}, TypeError, None),
        ((), {"num_qubits": 2.5}, TypeError, None),
    ],
)
def test_count_constructor_errors(args, kwargs, error, text):
    with pytest.raises(error) as info:
        vl.QuantumCircuit(*args, **kwargs)
    if text is not None:
        assert str(info.value) == text


def test_counts_and_indices():
    qc = vl.QuantumCircuit(3, 2)
    assert qc.qubits == [0, 1, 2]
    assert qc.clbits == [0, 1, 2]  # the classical register has as many bits as qubits
    assert qc.ancillas == []
    assert vl.QuantumCircuit(3, global_phase=1).global_phase == 1.0


def test_fixed_attributes_and_properties():
    qc = vl.QuantumCircuit(2)
    assert (qc.instances, qc.prefix, qc.header) == (153, "circuit", "OPENQASM 2.0;")
    assert qc.layout is None and qc.num_parameters == 0
    first, second = qc.calibrations, qc.calibrations
    assert first == {} and first is not second
    assert re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}", qc.op_start_times)
    for attribute in ["num_qubits", "num_ancillas", "num_clbits", "header", "instances",
                      "global_phase", "prefix", "qubits", "layout", "calibrations"]:
        with pytest.raises(AttributeError):
            setattr(qc, attribute, 1)


def test_registers_are_renumbered_and_updated():
    qr = vl.QuantumRegister(2, "qa")
    anc = vl.AncillaRegister(3, "an")
    qr2 = vl.QuantumRegister(1, "qb")
    cr = vl.ClassicalRegister(5, "cr")
    qc = vl.QuantumCircuit(qr, anc, qr2, cr)
    assert (qr[0], qr2[0], anc[0], cr[0]) == (0, 2, 3, 0)
    assert shape(qc) == (3, 3, 6)
    assert qc.qubits == [0, 1, 2] and qc.ancillas == [3, 4, 5]
    assert qc.clbits == [0, 1, 2, 3, 4, 5]  # 5 given, 1 added to match the 6 qubits


def test_register_circuit_adds_missing_classical_bits():
    qc = vl.QuantumCircuit(vl.QuantumRegister(2), vl.AncillaRegister(1))
    assert shape(qc) == (2, 1, 3)
    assert qc.clbits == [0, 1, 2]
    wide = vl.QuantumCircuit(vl.QuantumRegister(2), vl.ClassicalRegister(5))
    assert wide.num_clbits == 2 and len(wide.clbits) == 5


def test_each_circuit_numbers_from_zero():
    vl.QuantumCircuit(5)
    after = vl.QuantumRegister(3)
    assert after[0] == 5
    vl.QuantumCircuit(after)
    assert after[0] == 0


def test_dropped_circuit_keeps_counters():
    circuit = vl.QuantumCircuit(4)
    del circuit
    gc.collect()
    assert vl.QuantumRegister(1)[0] == 4


def next_default_number():
    probe = vl.QuantumRegister(1)
    vl.QuantumCircuit(probe)
    return int(probe.name()[1:]) + 1


def test_default_names_and_clashes():
    n = next_default_number()
    a, b = vl.QuantumRegister(1), vl.QuantumRegister(1)
    vl.QuantumCircuit(a, b)
    assert (a.name(), b.name()) == (f"q{n}", f"q{n + 1}")
    # The default name clashes with a later user name; the number stays used.
    clash, user = vl.QuantumRegister(1), vl.QuantumRegister(1, f"q{n + 3}")
    with pytest.raises(RuntimeError, match=f"^q{n + 2}"):
        vl.QuantumCircuit(clash, vl.QuantumRegister(1, f"q{n + 2}"))
    with pytest.raises(RuntimeError) as info:
        vl.QuantumCircuit(vl.QuantumRegister(1), user)
    assert str(info.value) == f"q{n + 3} Register name already defined."
    assert next_default_number() == n + 5
    creg = vl.ClassicalRegister(1)
    vl.QuantumCircuit(vl.QuantumRegister(1), creg)
    assert re.fullmatch(r"c\d+", creg.name())
    anc = vl.AncillaRegister(1)
    vl.QuantumCircuit(anc)
    assert re.fullmatch(r"a\d+", anc.name())


def test_same_name_across_kinds_is_refused():
    with pytest.raises(RuntimeError) as info:
        vl.QuantumCircuit(vl.QuantumRegister(1, "q"), vl.ClassicalRegister(1, "q"))
    assert str(info.value) == "q Register name already defined."


@pytest.mark.parametrize(
    "registers,text",
    [
        (lambda: [vl.ClassicalRegister(2)], QUBITS),
        (lambda: [vl.QuantumRegister(101)], QUBITS),
        (lambda: [vl.QuantumRegister(60), vl.AncillaRegister(41)], QUBITS),
        (lambda: [vl.QuantumRegister(-3), vl.QuantumRegister(5)], QUBITS),
        (lambda: [vl.QuantumRegister(2), vl.AncillaRegister(-1)], QUBITS),
        (lambda: [vl.QuantumRegister(2), vl.ClassicalRegister(-1)], CLBITS),
        (lambda: [vl.QuantumRegister(2), 3], ARGUMENT),
        (lambda: [vl.QuantumRegister(2), "name"], ARGUMENT),
    ],
)
def test_register_constructor_errors(registers, text):
    with pytest.raises(ValueError) as info:
        vl.QuantumCircuit(*registers())
    assert str(info.value) == text


def test_name_keyword_with_registers():
    qr = vl.QuantumRegister(2)
    vl.QuantumCircuit(qr, name="mine")
    with pytest.raises(ValueError, match=ARGUMENT):
        vl.QuantumCircuit(qr, "mine")


def test_same_register_twice_is_refused_when_named():
    qr = vl.QuantumRegister(1, "dup")
    with pytest.raises(RuntimeError, match="^dup Register name already defined.$"):
        vl.QuantumCircuit(qr, qr)
