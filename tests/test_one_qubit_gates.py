import numpy as np
import pytest

import VelorinLib as vl

INVALID = "Invalid Parameter passed to the gate instruction."

FIXED = [
    ("h", vl.HGate, "Implements the Hadamard gate"),
    ("x", vl.XGate, "Implements the x gate"),
    ("i", vl.IGate, "Implements the identity gate"),
    ("id", vl.IGate, "Implements the identity gate"),
    ("t", vl.TGate, "Implements the t gate"),
    ("s", vl.SGate, "Implements the s gate"),
    ("tdg", vl.TdgGate, "Implements the tdg gate"),
    ("sdg", vl.SdgGate, "Implements the sdg gate"),
    ("sx", vl.SXGate, "Implements the sx gate"),
    ("sxdg", vl.SXdgGate, "Implements the sxdg gate"),
    ("y", vl.YGate, "Implements the y gate"),
    ("z", vl.ZGate, "Implements the z gate"),
]


@pytest.mark.parametrize("method,cls,doc", FIXED)
def test_single_qubit_form(method, cls, doc):
    qc = vl.QuantumCircuit(2)
    gate = getattr(qc, method)(1, "lab")
    assert type(gate) is cls
    assert (gate.label, gate.name, gate.num_qubits, gate.params) == ("lab", "lab", 2, [])
    with pytest.raises(RuntimeError) as info:
        getattr(qc, method)(2)
    assert str(info.value) == INVALID


@pytest.mark.parametrize("method,cls,doc", FIXED)
def test_docstring_lists_four_overloads(method, cls, doc):
    text = getattr(vl.QuantumCircuit, method).__doc__
    signatures = [
        f"{method}(self: VelorinLib.QuantumCircuit, qubit: int, label: str = '') -> VelorinLib.{cls.__name__}",
        f"{method}(self: VelorinLib.QuantumCircuit, qubit_vector: List[int], label: str = '') -> VelorinLib.{cls.__name__}",
        f"{method}(self: VelorinLib.QuantumCircuit, qr: VelorinLib.QuantumRegister, label: str = '') -> VelorinLib.{cls.__name__}",
        f"{method}(self: VelorinLib.QuantumCircuit, ar: VelorinLib.AncillaRegister, label: str = '') -> VelorinLib.{cls.__name__}",
    ]
    for number, signature in enumerate(signatures, 1):
        assert f"{number}. {signature}\n\n{doc}\n" in text


@pytest.mark.parametrize(
    "qubits", [[0, 1], (0, 1), range(2), [0, 0], np.array([1, 2])], ids=str
)
def test_list_forms(qubits):
    qc = vl.QuantumCircuit(3)
    gate = qc.s(qubits, label="L")
    assert type(gate) is vl.SGate
    assert (gate.name, gate.num_qubits) == ("L", 3)


def test_register_forms_by_keyword_and_position():
    qr = vl.QuantumRegister(2)
    anc = vl.AncillaRegister(1)
    qc = vl.QuantumCircuit(qr, anc)
    cr = vl.ClassicalRegister(2)
    vl.QuantumCircuit(vl.QuantumRegister(2), cr)  # cr now starts at 0
    for gate in (qc.x(qr=qr), qc.x(ar=anc), qc.x(qr), qc.x(anc), qc.x(cr)):
        assert type(gate) is vl.XGate and gate.num_qubits == 3
    with pytest.raises(TypeError):
        qc.x(qr=anc)
    with pytest.raises(TypeError):
        qc.x(ar=qr)


def test_register_beyond_circuit_raises_at_first_bad_qubit():
    qc = vl.QuantumCircuit(2)
    far = vl.QuantumRegister(3)
    vl.QuantumCircuit(vl.QuantumRegister(1), far)  # far now starts at 1
    with pytest.raises(RuntimeError, match=INVALID):
        qc.h(qr=far)
    huge = vl.QuantumRegister(2**31 - 1)
    with pytest.raises(RuntimeError, match=INVALID):
        qc.z(qr=huge)


@pytest.mark.parametrize("bad", [-1, 0.0, 1.5, None, "0", [0.5], [2**64]])
def test_arguments_that_match_no_overload(bad):
    with pytest.raises(TypeError):
        vl.QuantumCircuit(2).h(bad)


@pytest.mark.parametrize("entries", [[-1], [0, 5, 1], [2]])
def test_bad_list_entries(entries):
    with pytest.raises(RuntimeError) as info:
        vl.QuantumCircuit(2).x(entries)
    assert str(info.value) == INVALID


def test_accepted_integer_forms():
    qc = vl.QuantumCircuit(2)
    assert qc.h(True) is not None
    assert qc.h(np.int64(1)).num_qubits == 2
    assert qc.h(b"\x00"[0]) is not None


def test_empty_list_h_differs_from_the_others():
    qc = vl.QuantumCircuit(3)
    h = qc.h([], "L")
    assert (h.label, h.name, h.num_qubits) == ("L", "", 0)
    for method in ["x", "t", "sxdg", "id"]:
        gate = getattr(qc, method)([], "L")
        assert (gate.label, gate.name, gate.num_qubits) == ("L", "L", 3)
    empty = vl.QuantumRegister(0)
    assert qc.h(qr=empty).num_qubits == 0
    assert qc.y(qr=empty).num_qubits == 3
