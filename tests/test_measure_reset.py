import pytest

import VelorinLib as vl

INVALID = "Invalid Parameter passed to the gate instruction."
LENGTHS = "Invalid parameters passed. Length of vectors are not the same."


@pytest.fixture
def qc():
    return vl.QuantumCircuit(3)


def fields(gate):
    return type(gate), gate.label, gate.name, gate.num_qubits


@pytest.mark.parametrize(
    "call,expected",
    [
        (lambda c: c.barrier(), (vl.BarrierGate, "", "", 3)),
        (lambda c: c.barrier("b"), (vl.BarrierGate, "b", "b", 3)),
        (lambda c: c.barrier([0, 3, 1]), (vl.BarrierGate, "", "", 1)),
        (lambda c: c.barrier([-1, 0]), (vl.BarrierGate, "", "", 0)),
        (lambda c: c.barrier([2, 1, 0], label="b"), (vl.BarrierGate, "b", "b", 3)),
        (lambda c: c.measure(0, 1), (vl.MeasGate, "", "", 1)),
        (lambda c: c.measure(0, "m"), (vl.MeasGate, "m", "m", 1)),
        (lambda c: c.measure(0), (vl.MeasGate, "", "", 1)),
        (lambda c: c.measure([0, 2]), (vl.MeasGate, "", "", 2)),
        (lambda c: c.measure([0, 2], [2, 0], "m"), (vl.MeasGate, "m", "m", 2)),
        (lambda c: c.measure_all("final"), (vl.MeasGate, "final", "final", 3)),
        (lambda c: c.measure_active(), (vl.MeasGate, "", "", 0)),
        (lambda c: c.reset(2), (vl.ResetGate, "", "", 1)),
        (lambda c: c.reset([0, 3, 1], "r"), (vl.ResetGate, "r", "r", 3)),
        (lambda c: c.reset([-1, 7]), (vl.ResetGate, "", "", 2)),
    ],
)
def test_recording_forms(qc, call, expected):
    assert fields(call(qc)) == expected


def test_reset_out_of_range_returns_none(qc):
    assert qc.reset(3) is None


def test_measure_active_counts_qubits_touched_by_gates(qc):
    qc.h(1)
    qc.measure(0)
    qc.barrier()
    qc.reset(2)
    assert qc.measure_active().num_qubits == 1


def test_measure_all_includes_ancillas():
    qc = vl.QuantumCircuit(vl.QuantumRegister(2), vl.AncillaRegister(1))
    assert qc.measure_all().num_qubits == 3


def test_classical_bit_is_bounded_by_qubit_count():
    qc = vl.QuantumCircuit(8, 2)
    assert qc.measure(0, 5).num_qubits == 1
    with pytest.raises(RuntimeError, match=INVALID):
        qc.measure(0, 8)


@pytest.mark.parametrize(
    "call,text",
    [
        (lambda c: c.measure(3), INVALID),
        (lambda c: c.measure(0, 3), INVALID),
        (lambda c: c.measure([0, 5]), INVALID),
        (lambda c: c.measure([0, 1], [0]), LENGTHS),
        (lambda c: c.measure([0, 1], [0, -1]), INVALID),
    ],
)
def test_measure_errors(qc, call, text):
    with pytest.raises(RuntimeError) as info:
        call(qc)
    assert str(info.value) == text


@pytest.mark.parametrize("bad", [-1, 0.5, None])
def test_measure_type_errors(qc, bad):
    with pytest.raises(TypeError):
        qc.measure(bad)


def test_register_forms():
    qr, anc = vl.QuantumRegister(2), vl.AncillaRegister(1)
    cr2, cr3 = vl.ClassicalRegister(2), vl.ClassicalRegister(3)
    qc = vl.QuantumCircuit(qr, anc, cr2, cr3)
    assert fields(qc.measure(qr)) == (vl.MeasGate, "", "", 2)
    assert fields(qc.measure(qr, cr2, "m")) == (vl.MeasGate, "m", "m", 2)
    assert fields(qc.measure(anc)) == (vl.MeasGate, "", "", 1)
    with pytest.raises(RuntimeError, match=INVALID):
        qc.measure(qr, cr3)
    with pytest.raises(RuntimeError, match=INVALID):
        qc.measure(anc, cr2)
    assert fields(qc.reset(qr=qr)) == (vl.ResetGate, "", "", 2)
    assert fields(qc.reset(ar=anc)) == (vl.ResetGate, "", "", 1)
    assert fields(qc.barrier(qr=qr)) == (vl.BarrierGate, "", "", 2)
    assert fields(qc.barrier(ar=anc)) == (vl.BarrierGate, "", "", 1)


def test_registers_beyond_the_circuit():
    qc = vl.QuantumCircuit(2)
    far = vl.QuantumRegister(3)
    vl.QuantumCircuit(vl.QuantumRegister(1), far)  # far now covers 1, 2, 3
    # By position the register is a list: the list form stops quietly.
    assert qc.barrier(far).num_qubits == 1
    with pytest.raises(RuntimeError, match=INVALID):
        qc.barrier(qr=far)
    with pytest.raises(RuntimeError, match=INVALID):
        qc.measure(far)
    assert qc.reset(qr=far).num_qubits == 3
    assert qc.reset(qr=vl.QuantumRegister(2**31 - 1)).num_qubits == 2**31 - 1
    negative = vl.QuantumRegister(-4)
    assert qc.reset(qr=negative).num_qubits == -4


@pytest.mark.parametrize("value,counts", [(0, {"1": 3}), (1, {"001": 3})])
def test_c_if_on_measure_all_conditions_its_records_only(qc, value, counts):
    qc.x(0)
    qc.measure(0)
    qc.measure_all().c_if(0, value)  # qubit 0 reads 1
    assert vl.BackendV2().run(qc, shots=3, mode="sync").result().get_counts() == counts


def test_docstrings():
    doc = vl.QuantumCircuit.measure.__doc__
    assert "1. measure(self: VelorinLib.QuantumCircuit, qubit: int, classical_bit: int, label: str = '') -> VelorinLib.MeasGate\n\nPerform Pauli-Z measurement on qubit and project it to the given classical register.\n" in doc
    assert doc.count("project it to the corresponding classical register\n") == 7
    assert "8. measure(self: VelorinLib.QuantumCircuit, qubit_list: List[int], cbit_list: List[int], label: str = '')" in doc
    assert "Resets a qubit or a list of qubits to state |0>?" in vl.QuantumCircuit.reset.__doc__
    assert "Implements the barrier gate" in vl.QuantumCircuit.barrier.__doc__
    assert "Measures all active qubits" in vl.QuantumCircuit.measure_active.__doc__
    assert "Measures all qubits" in vl.QuantumCircuit.measure_all.__doc__
