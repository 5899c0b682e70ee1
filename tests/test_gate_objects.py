import gc

import numpy as np
import pytest

import VelorinLib as vl


@pytest.fixture
def qc():
    return vl.QuantumCircuit(3)


def test_gate_members(qc):
    gate = qc.h(0, "a")
    assert isinstance(gate, vl.HGate) and isinstance(gate, vl.Gate)
    assert (gate.label, gate.name, gate.params, gate.num_qubits) == ("a", "a", [], 3)
    gate.params.append(1.0)
    assert gate.params == []
    for member in ["label", "name", "params", "num_qubits"]:
        with pytest.raises(AttributeError):
            setattr(gate, member, "x")
    assert gate.label == "a"


def test_c_if_overloads(qc):
    gate = qc.x([0, 1, 2])
    cr = vl.ClassicalRegister(2)
    assert gate.c_if(cr, 3) is None
    assert gate.c_if(1, 0) is None
    assert gate.c_if(clbit=1, val=0) is None
    assert gate.c_if(cr=cr, val=3) is None
    assert gate.c_if(np.uint64(2), 1) is None
    assert "Implments the IF test" in vl.Gate.c_if.__doc__


@pytest.mark.parametrize("args", [(-1, 0), (0, -1), (0.5, 1), (None, 1), (0,), ("c", 1)])
def test_c_if_bad_arguments(qc, args):
    with pytest.raises(TypeError):
        qc.h(0).c_if(*args)


def counts_of(circuit, shots=8):
    return vl.BackendV2().run(circuit, shots=shots, mode="sync").result().get_counts()


def test_c_if_on_gates_whose_records_are_gone():
    # The gate outlives its circuit: c_if must not reach freed records, nor
    # the records of a new circuit that may take their memory.
    gate = vl.QuantumCircuit(2).h([0, 1])
    gc.collect()
    seen = (gate.name, gate.num_qubits, gate.params, gate.label)
    qc = vl.QuantumCircuit(2, 2)
    qc.x([0, 1])
    assert gate.c_if(0, 1) is None
    assert gate.c_if(vl.ClassicalRegister(1), 1) is None
    assert (gate.name, gate.num_qubits, gate.params, gate.label) == seen
    qc.measure([0, 1], [0, 1])
    assert counts_of(qc) == {"11": 8}


@pytest.mark.parametrize("value, counts", [(0, {"1": 8}), (1, {"0": 8})])
def test_condition_register_may_be_dropped(value, counts):
    # Nothing is measured before the x: a register condition reads 0 there.
    qc = vl.QuantumCircuit(1, 1)
    gate = qc.x(0)
    cr = vl.ClassicalRegister(2)
    gate.c_if(cr, value)
    del cr
    gc.collect()
    qc.measure(0, 0)
    assert counts_of(qc) == counts
    gate.c_if(0, 0)  # bit 0 is not measured yet: the x never runs
    assert counts_of(qc) == {"0": 8}
    del qc
    gc.collect()
    assert gate.c_if(0, 1) is None


def test_c_if_after_clear_reaches_no_record():
    qc = vl.QuantumCircuit(1)
    stale = qc.x(0)
    qc.clear()
    qc.x(0)
    stale.c_if(0, 1)  # would make the new x conditional if it reached it
    qc.measure(0)
    job = vl.BackendV2().run(qc, shots=4, mode="sync")
    assert job.result().get_counts() == {"1": 4}
