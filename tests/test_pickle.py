"""Pickling and deep copies of circuits, registers and results."""
import contextlib
import copy
import io
import pickle

import numpy as np
import pytest

import VelorinLib as vl
from test_qasm_writer import random_circuit, random_gate


def outcome(call):
    """What a call shows the user: its value, or its error's type and text."""
    try:
        return ("value", call())
    except Exception as error:  # noqa: BLE001 - the failure is part of the view
        return ("error", type(error).__name__, str(error))


def drawing(qc):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        qc.draw()
    return out.getvalue()


def transformed_texts(qc):
    later = {
        "inverse": lambda: qc.inverse(),
        "reverse_ops": lambda: qc.reverse_ops(),
        "reverse_bits": lambda: qc.reverse_bits(),
        "repeat": lambda: qc.repeat(2),
        "copy": lambda: qc.copy("twin"),
        "copy_empty_like": lambda: qc.copy_empty_like("empty"),
        "remove_final_measurements": lambda: qc.remove_final_measurements(False),
        "control": lambda: qc.control(1),
    }
    return {name: outcome(lambda make=make: make().qasm()) for name, make in later.items()}


def view(qc):
    """Everything a circuit's methods report, apart from runs."""
    n = qc.num_qubits + qc.num_ancillas
    calls = {
        "qasm": qc.qasm,
        "draw": lambda: drawing(qc),
        "count_ops": qc.count_ops,
        "size": qc.size,
        "depth": qc.depth,
        "width": qc.width,
        "counts": lambda: (qc.num_qubits, qc.num_ancillas, qc.num_clbits, qc.num_parameters),
        "fields": lambda: (qc.header, qc.instances, qc.global_phase, qc.prefix),
        "bits": lambda: (qc.qubits, qc.ancillas, qc.clbits),
        "cls_prefix": qc.cls_prefix,
        "factors": lambda: (qc.num_connected_components(), qc.num_nonlocal_gates(),
                            qc.num_unitary_factors(), qc.num_tensor_factors()),
        # Without a run, op_start_times tells the time now.
        "times": lambda: (qc.qubit_end_time(),
                          [qc.qubit_start_time(q) for q in range(n)],
                          [qc.qubit_duration(q) for q in range(n)]),
    }
    shown = {name: outcome(call) for name, call in calls.items()}
    shown["later"] = transformed_texts(qc)
    return shown


def pickled(obj):
    return pickle.loads(pickle.dumps(obj))


COPIES = {"pickle": pickled, "deepcopy": copy.deepcopy, "copy": copy.copy}


def run_state(qc):
    result = vl.BackendV2().run(qc, shots=1, mode="sync", quiet=True).result()
    return np.array(result.get_statevector())


def transform_randomly(qc, rng):
    """A later transformation of the whole circuit, kept only when it succeeds."""
    def in_place(change):
        change()
        return qc

    ways = [lambda: qc.inverse(), lambda: qc.reverse_ops(), lambda: qc.reverse_bits(),
            lambda: qc.repeat(2), lambda: qc.copy(""), lambda: qc.control(1),
            lambda: qc.remove_final_measurements(False),
            lambda: in_place(lambda: qc.remove_final_measurements(True)),
            lambda: in_place(qc.measure_all), lambda: in_place(qc.measure_active)]
    try:
        return ways[int(rng.integers(len(ways)))]() or qc
    except RuntimeError:
        return qc


# Circuits ----------------------------------------------------------------------------------------

@pytest.mark.parametrize("how", COPIES)
@pytest.mark.parametrize("seed", range(20))
@pytest.mark.parametrize("measured", [False, True])
def test_random_circuits_copy_with_everything_they_report(how, seed, measured):
    qc, _ = random_circuit(seed, 5, measured)
    rng = np.random.default_rng(seed + 100)
    if rng.integers(2):
        qc = transform_randomly(qc, rng)
    if rng.integers(3) == 0:
        qc.barrier()
        qc.delay(int(rng.integers(1, 5)), int(rng.integers(5)), "ns")
    twin = COPIES[how](qc)
    assert twin is not qc
    assert view(twin) == view(qc)
    if "measure" not in qc.count_ops() and "reset" not in qc.count_ops():
        np.testing.assert_allclose(run_state(twin), run_state(qc), rtol=0, atol=1e-12)


@pytest.mark.parametrize("how", COPIES)
def test_a_copy_shares_nothing_with_its_original(how):
    qc, _ = random_circuit(3, 4, measured=True)
    before = view(qc)
    twin = COPIES[how](qc)
    rng = np.random.default_rng(9)
    for _ in range(5):
        random_gate(twin, rng, 4)
    twin.measure_all()
    assert view(qc) == before
    assert view(twin) != before


def test_conditions_labels_and_names_survive_at_every_depth():
    inner = vl.QuantumCircuit(2, 2)
    inner.h(0)
    inner.cx(0, 1).c_if(0, 1)
    middle = vl.QuantumCircuit(3, 3)
    middle.append(inner.to_gate(label="bell pair"), [1, 2], [])
    middle.measure(0, 0)
    outer = vl.QuantumCircuit(vl.QuantumRegister(3, "data"), vl.ClassicalRegister(3, "flags"),
                              name="outer")
    outer.compose(middle, [0, 1, 2], [0, 1, 2], inplace=True)
    outer.rx(0.25, 2, label="turn").c_if(vl.ClassicalRegister(3, "flags"), 5)
    for how in COPIES.values():
        assert view(how(outer)) == view(outer)


def test_the_placement_of_the_qubit_order_search_is_kept():
    qc = vl.QuantumCircuit(6)
    for q in range(0, 6, 2):
        qc.h(q)
        qc.cx(q, 5 - q)
        qc.rzz(0.3, q, (q + 3) % 6)
    vl.OptimizeQuantumCircuit(qc)
    for how in COPIES.values():
        twin = how(qc)
        assert view(twin) == view(qc)
        np.testing.assert_allclose(run_state(twin), run_state(qc), rtol=0, atol=1e-12)


def test_shots_and_run_settings_are_kept():
    qc = vl.QuantumCircuit(2, 2)
    qc.h(0)
    qc.measure_all()
    vl.BackendV2().run(qc, shots=37, mode="sync", performance="HighestEfficiency").result()
    twin = pickled(qc)
    # A run that does not name the shots runs the circuit's stored count.
    result = vl.BackendV2().run(twin, mode="sync").result()
    assert sum(result.get_counts().values()) == 37


def test_timings_of_the_last_run_are_kept():
    qc = vl.QuantumCircuit(3)
    qc.h(0)
    qc.delay(2, 1, "ms")
    qc.cx(0, 2)
    vl.BackendV2().run(qc, shots=1, mode="sync").result()
    assert qc.qubit_end_time() >= 2
    for how in COPIES.values():
        twin = how(qc)
        assert view(twin)["times"] == view(qc)["times"]
        assert twin.op_start_times == qc.op_start_times


# Registers ---------------------------------------------------------------------------------------

@pytest.mark.parametrize("cls", [vl.QuantumRegister, vl.AncillaRegister, vl.ClassicalRegister])
@pytest.mark.parametrize("how", COPIES)
def test_registers_copy_without_moving_the_counters(cls, how):
    first = cls(3, "first")
    twin = COPIES[how](first)
    after = cls(2, "after")
    assert (twin.name(), twin.size(), list(twin)) == (first.name(), first.size(), list(first))
    # The copy stands for the same range: the next register starts right after.
    assert list(after)[0] == list(first)[-1] + 1
    del twin
    assert list(cls(1))[0] == list(after)[-1] + 1


# Results -----------------------------------------------------------------------------------------

def result_view(r):
    calls = {
        "counts": r.get_counts,
        "memory": r.get_memory,
        "results": lambda: r.results,
        "success": lambda: r.success,
        "texts": lambda: (r.backend_name, r.backend_version, r.qobj_id, r.job_id, r.date,
                          r.status, r.header),
        "to_dict": r.to_dict,
        "statevector": r.get_statevector,
        "probabilities": r.get_probabilities,
        "densitymatrix": r.get_densitymatrix,
        "amplitudes": r.get_unitary,
        "creg": r.get_classicalregister,
        "data": lambda: r.data(0),
    }
    return {name: outcome(call) for name, call in calls.items()}


@pytest.mark.parametrize("how", COPIES)
@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("measured", [False, True])
def test_results_copy_with_every_accessor(how, seed, measured):
    qc, _ = random_circuit(seed, 5, measured)
    if measured:
        qc.measure_all()
    result = vl.BackendV2().run(qc, shots=20, mode="sync").result()
    twin = COPIES[how](result)
    assert twin is not result
    assert result_view(twin) == result_view(result)


def test_a_result_of_a_wide_circuit_keeps_its_truncated_chain():
    qc = vl.QuantumCircuit(20)
    rng = np.random.default_rng(4)
    for _ in range(6):
        for q in range(20):
            qc.u(*[float(a) for a in rng.uniform(-3, 3, 3)], q)
        for q in range(int(rng.integers(2)), 19, 2):
            qc.cx(q, q + 1)
    result = vl.BackendV2().run(qc, shots=3, mode="sync").result()
    twin = pickled(result)
    assert result_view(twin)["counts"] == result_view(result)["counts"]
    assert outcome(twin.get_statevector) == outcome(result.get_statevector)  # refused alike
    np.testing.assert_array_equal(twin.get_probabilities(), result.get_probabilities())
    assert twin.get_classicalregister() == result.get_classicalregister()


def test_an_empty_result_copies():
    result = vl.Result()
    assert result_view(pickled(result)) == result_view(result)


# Bad bytes ---------------------------------------------------------------------------------------

def restore(cls, state):
    obj = cls.__new__(cls)
    obj.__setstate__(state)
    return obj


def sample_states():
    qc, _ = random_circuit(1, 4, measured=True)
    result = vl.BackendV2().run(qc, shots=4, mode="sync").result()
    return [(vl.QuantumCircuit, qc.__getstate__()), (vl.Result, result.__getstate__()),
            (vl.QuantumRegister, vl.QuantumRegister(2, "r").__getstate__()),
            (vl.ClassicalRegister, vl.ClassicalRegister(2, "k").__getstate__())]


@pytest.mark.parametrize("cls, state", sample_states(), ids=lambda v: getattr(v, "__name__", ""))
def test_bad_bytes_raise_a_clear_error(cls, state):
    assert isinstance(state, bytes)
    restore(cls, state)  # the untouched state restores
    for cut in sorted({0, 3, 7, 8, len(state) // 2, len(state) - 1}):
        with pytest.raises(ValueError, match=r"^cannot restore the \w+: "):
            restore(cls, state[:cut])
    with pytest.raises(ValueError, match="left over"):
        restore(cls, state + b"\0")
    with pytest.raises(ValueError, match="not its byte form"):
        restore(cls, b"XXXX" + state[4:])
    with pytest.raises(TypeError):
        restore(cls, "not bytes")


@pytest.mark.parametrize("cls, state", sample_states(), ids=lambda v: getattr(v, "__name__", ""))
def test_an_unknown_version_is_named(cls, state):
    newer = state[:4] + (2).to_bytes(4, "little") + state[8:]
    with pytest.raises(ValueError, match=r"version 2 is not supported \(this module reads "
                                         r"version 1\)"):
        restore(cls, newer)


def test_flipped_bytes_never_crash():
    rng = np.random.default_rng(5)
    for cls, state in sample_states():
        for _ in range(300):
            bad = bytearray(state)
            for i in rng.integers(8, len(bad), int(rng.integers(1, 4))):
                bad[int(i)] = int(rng.integers(256))
            try:
                obj = restore(cls, bytes(bad))
            except ValueError as error:
                assert str(error).startswith("cannot restore the ")
                continue
            if cls is vl.QuantumCircuit:
                view(obj)
            elif cls is vl.Result:
                result_view(obj)


def register_size_at(state, name):
    """Offset of the size field of the register called name: its size, then
    its name as a length-prefixed string."""
    raw = len(name).to_bytes(8, "little") + name.encode()
    at = state.index(raw)
    assert state.find(raw, at + 1) == -1
    return at - 4


@pytest.mark.parametrize("name, size", [("qq", 2**30), ("qq", 2), ("qq", -1),
                                        ("aa", 2**31 - 1), ("kk", -5)])
def test_registers_that_do_not_fit_the_qubits_are_refused(name, size):
    # A register claiming more qubits than the circuit has would make every
    # reader of its qubits allocate for qubits that are not there.
    qc = vl.QuantumCircuit(vl.QuantumRegister(3, "qq"), vl.AncillaRegister(1, "aa"),
                           vl.ClassicalRegister(2, "kk"))
    state = qc.__getstate__()
    at = register_size_at(state, name)
    bad = state[:at] + size.to_bytes(4, "little", signed=True) + state[at + 4:]
    with pytest.raises(ValueError, match="^cannot restore the QuantumCircuit: "
                                         "(the registers do not fit the qubits|"
                                         "a register has a negative size)$"):
        restore(vl.QuantumCircuit, bad)


def test_a_large_classical_register_round_trips():
    # Only qubits are capped; a classical register is as large as its maker chose.
    qc = vl.QuantumCircuit(vl.QuantumRegister(2, "q"), vl.ClassicalRegister(10**6, "big"))
    qc.h(0)
    qc.measure(0, 0)
    twin = pickled(qc)
    assert twin.qasm() == qc.qasm()
    assert len(twin.clbits) == len(qc.clbits) == 10**6


# What cannot pickle ------------------------------------------------------------------------------

def refusers():
    backend = vl.BackendV2()
    qc = vl.QuantumCircuit(1)
    qc.h(0)
    job = backend.run(qc, shots=1, mode="sync")
    return [(backend, "worker thread"), (job, "worker thread"),
            (vl.VelorinProvider(), "settings file")]


@pytest.mark.parametrize("how", [pickle.dumps, copy.deepcopy, copy.copy])
def test_objects_holding_threads_or_files_refuse_with_the_reason(how):
    for obj, reason in refusers():
        with pytest.raises(TypeError, match=r"^cannot pickle or copy a %s: .*%s"
                                            % (type(obj).__name__, reason)):
            how(obj)
