import gc
import os
import re
import threading
import time
import warnings

import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import assert_readouts_match, random_circuit, record, reference_state

NOT_COMPLETED = "Job not completed yet. Try again later."
QUEUE_BUSY = "The execution queue is not empty. Wait for completion or execute in async mode."


# A backend dropped while jobs wait cancels them, so async runs use this one.
BACKEND = vl.BackendV2()


def run_sync(circuit, **options):
    job = vl.BackendV2().run(circuit, mode="sync", **options)
    assert job.status() == vl.JobStatus.DONE
    return job.result()


def wait(job, timeout=60):
    job.wait_for_final_state(timeout, 0, lambda *args: None)
    return job


def bell(n=2):
    qc = vl.QuantumCircuit(n)
    qc.h(0)
    for q in range(1, n):
        qc.cx(q - 1, q)
    return qc


@pytest.mark.parametrize("seed", range(40))
def test_statevector_matches_dense_reference(seed):
    rng = np.random.default_rng(seed)
    n = int(rng.integers(1, 9))
    ops = random_circuit(rng, n, depth=int(rng.integers(1, 40)))
    qc = vl.QuantumCircuit(n)
    record(qc, ops)
    result = run_sync(qc)
    expected = reference_state(n, ops)
    # Truncation drops Schmidt values below its threshold, so the state is
    # exact to that threshold, not to rounding: compare with what it keeps.
    assert_readouts_match(result, expected, atol=1e-4, fidelity=1 - 1e-8)


def test_async_run_gives_the_same_state():
    rng = np.random.default_rng(7)
    ops = random_circuit(rng, 6, depth=30)
    qc = vl.QuantumCircuit(6)
    record(qc, ops)
    result = wait(BACKEND.run(qc)).result()
    np.testing.assert_allclose(result.get_statevector(), reference_state(6, ops), atol=1e-10)


def within(count, shots, p=0.5, sigmas=5):
    return abs(count - shots * p) <= sigmas * np.sqrt(shots * p * (1 - p))


@pytest.mark.parametrize("n", [2, 5])
def test_entangled_counts(n):
    qc = bell(n)
    qc.measure_all()
    counts = run_sync(qc, shots=2000).get_counts()
    assert set(counts) <= {"0" * n, "1" * n}
    assert sum(counts.values()) == 2000
    assert within(counts.get("0" * n, 0), 2000)


def test_ghz_of_100_qubits():
    qc = bell(100)
    qc.measure_all()
    counts = wait(BACKEND.run(qc, shots=300)).result().get_counts()
    assert set(counts) <= {"0" * 100, "1" * 100}
    assert within(counts.get("0" * 100, 0), 300)


def test_counts_are_in_ascending_order_and_bits_highest_first():
    qc = vl.QuantumCircuit(3)
    qc.x(0)
    qc.h(2)
    qc.measure_all()
    counts = run_sync(qc, shots=400).get_counts()
    assert list(counts) == sorted(counts)
    assert set(counts) <= {"001", "101"}


def test_condition_on_bit_and_register():
    qc = vl.QuantumCircuit(3)
    qc.x(0)
    qc.measure(0, 0)
    qc.x(1).c_if(0, 1)
    qc.x(2).c_if(0, 0)
    qc.measure_all()
    assert run_sync(qc, shots=20).get_counts() == {"011": 20}
    qc = vl.QuantumCircuit(3)
    creg = vl.ClassicalRegister(2)
    vl.QuantumCircuit(vl.QuantumRegister(2), creg)  # creg covers bits 0 and 1
    qc.x(1)
    qc.measure([0, 1])
    qc.x(2).c_if(creg, 2)
    qc.measure(2)
    assert run_sync(qc, shots=10).get_counts() == {"110": 10}


def test_condition_register_may_be_gone():
    qc = vl.QuantumCircuit(2)
    qc.x(0)
    qc.measure(0)
    creg = vl.ClassicalRegister(1)
    vl.QuantumCircuit(vl.QuantumRegister(1), creg)
    qc.x(1).c_if(creg, 1)
    del creg
    gc.collect()
    qc.measure(1)
    assert run_sync(qc, shots=5).get_counts() == {"11": 5}


def test_reset_between_measurements():
    qc = vl.QuantumCircuit(1)
    qc.x(0)
    qc.measure(0)
    qc.reset(0)
    qc.measure(0)
    assert run_sync(qc, shots=10).get_counts() == {"0": 10}


def test_shot_file_and_memory_limit(tmp_path):
    qc = vl.QuantumCircuit(1)
    qc.h(0)
    qc.measure(0)
    path = tmp_path / "shots.txt"
    result = run_sync(qc, shots=10500, file=str(path))
    lines = path.read_text().splitlines()
    assert len(lines) == 10500 and set(lines) <= {"0", "1"}
    assert len(result.get_memory()) == 10000
    assert sum(result.get_counts().values()) == 10000
    assert result.get_memory() == lines[:10000]


def test_unwritable_shot_file_still_runs(tmp_path):
    qc = vl.QuantumCircuit(1)
    qc.measure(0)
    job = wait(BACKEND.run(qc, shots=3, file=str(tmp_path / "missing" / "x.txt")))
    assert job.result().get_counts() == {"0": 3}


def test_zero_shots():
    qc = vl.QuantumCircuit(1)
    qc.measure(0)
    job = wait(BACKEND.run(qc, shots=0))
    assert job.done() and job.result().get_memory() == []


def slow_circuit():
    """Several milliseconds per shot: the reset first makes every shot rerun it all."""
    rng = np.random.default_rng(1)
    qc = vl.QuantumCircuit(14)
    qc.reset(0)
    for _ in range(6):
        for q in range(14):
            qc.rx(float(rng.uniform(0, 3)), q)
        for q in range(0, 13, 2):
            qc.cx(q, q + 1)
        for q in range(1, 13, 2):
            qc.cx(q, q + 1)
    qc.measure_all()
    return qc


def test_job_life_cycle_and_fifo_order():
    backend = vl.BackendV2()
    jobs = [backend.run(slow_circuit(), shots=3) for _ in range(3)]
    assert [j.job_id() for j in jobs] == ["0", "1", "2"]
    seen = []
    while not all(j.in_final_state() for j in jobs):
        # Later jobs first: once one is seen started, every earlier one read
        # after it must already be done.
        seen.append(tuple(reversed([int(j.status()) for j in reversed(jobs)])))
        time.sleep(0.005)
    assert all(j.done() for j in jobs)
    for states in seen:
        # A later job never runs or finishes before an earlier one is done.
        for earlier, later in zip(states, states[1:]):
            if later in (3, 5):
                assert earlier == 5
        assert all(s in (1, 3, 5) for s in states)


def test_cancel_queued_job_and_refuse_sync_while_busy():
    backend = vl.BackendV2()
    first = backend.run(slow_circuit(), shots=20)
    second = backend.run(slow_circuit(), shots=1)
    assert second.status() == vl.JobStatus.QUEUED
    with pytest.raises(RuntimeError) as info:
        backend.run(vl.QuantumCircuit(1), mode="sync")
    assert str(info.value) == QUEUE_BUSY
    second.cancel()
    assert second.cancelled() and second.in_final_state()
    wait(first)
    time.sleep(0.2)
    assert second.status() == vl.JobStatus.CANCELLED
    assert second.result().success is False
    first.cancel()
    assert first.done()


def test_lifetimes_when_the_host_drops_things():
    backend = vl.BackendV2()
    qc = slow_circuit()
    # Long enough to outlast the collections below in a large test process.
    running = backend.run(qc, shots=100)
    queued = [backend.run(slow_circuit(), shots=1) for _ in range(2)]
    del qc  # the job runs what the circuit held when run was called
    result = queued[0].result()
    gc.collect()
    while running.status() == vl.JobStatus.QUEUED:
        time.sleep(0.001)
    del backend
    gc.collect()
    assert running.done()  # the running job finished first
    assert all(j.cancelled() for j in queued)
    assert running.backend() is None
    assert result.success is False
    assert running.result() is running.result()
    counts = running.result().get_counts()
    assert sum(counts.values()) == 100


def test_dropping_job_keeps_result_and_result_keeps_engine():
    qc = bell()
    job = BACKEND.run(qc)
    result = job.result()
    del job
    gc.collect()
    deadline = time.time() + 30
    while not result.success and time.time() < deadline:
        time.sleep(0.01)
    np.testing.assert_allclose(np.abs(result.get_statevector()) ** 2, [0.5, 0, 0, 0.5], atol=1e-12)


def test_later_changes_do_not_reach_a_queued_job():
    backend = vl.BackendV2()
    blocker = backend.run(slow_circuit(), shots=5)
    qc = vl.QuantumCircuit(1)
    qc.measure(0)
    job = backend.run(qc, shots=4)
    qc.x(0)
    backend.run(qc, shots=9)
    assert wait(job).result().get_counts() == {"0": 4}
    wait(blocker)


def test_job_ids_of_sync_and_async_runs():
    backend = vl.BackendV2()
    qc = vl.QuantumCircuit(1)
    ids = [backend.run(qc, mode="Sync").job_id(), backend.run(qc, mode="SYNC").job_id()]
    ids.append(wait(backend.run(qc)).job_id())
    ids.append(wait(backend.run(qc, mode="synchronous")).job_id())
    assert ids == ["0", "0", "0", "1"]


def test_explicit_form():
    backend = vl.BackendV2()
    qc = bell()
    qc.measure_all()
    job = backend.run(qc, 50, True)  # positional: explicit form, synchronous
    assert job.done() and sum(job.result().get_counts().values()) == 50
    job = backend.run(run_input=qc, shots=7, sync_mode=True, performance=2)
    assert sum(job.result().get_counts().values()) == 7
    assert wait(backend.run(qc, 3)).done()


@pytest.mark.parametrize(
    "options,text",
    [
        ({"shots": 2.5}, 'Invalid input for "shots". Try with an integer > 1.'),
        ({"shots": "3"}, 'Invalid input for "shots". Try with an integer > 1.'),
        ({"mode": 3}, 'Invalid input for "mode". Try either "async" or "sync".'),
        ({"quiet": "no"}, 'Invalid input for "quiet". Try either True or False.'),
        ({"performance": "fast"}, 'Invalid input for "mode". Try one of - "HighestEfficiency", "BalancedAccuracy", "HighestAccuracy", or , "Automatic".'),
        ({"performance": 2}, 'Invalid input for "mode". Try one of - "HighestEfficiency", "BalancedAccuracy", "HighestAccuracy", or , "Automatic".'),
    ],
)
def test_keyword_option_errors(options, text):
    with pytest.raises(RuntimeError) as info:
        vl.BackendV2().run(vl.QuantumCircuit(1), **options)
    assert str(info.value) == text


@pytest.mark.parametrize(
    "args,kwargs",
    [((None,), {}), ((), {}), ((None, 3), {}), ((1,), {}), ((vl.QuantumCircuit(1), 1.5), {}),
     ((vl.QuantumCircuit(1), 1, False, -1), {}), ((vl.QuantumCircuit(1),) * 7, {})],
)
def test_run_argument_errors(args, kwargs):
    with pytest.raises(TypeError):
        vl.BackendV2().run(*args, **kwargs)


@pytest.mark.parametrize("mode", ["liberal", "HighestEfficiency", "balancedaccuracy", "AUTOMATIC"])
def test_performance_names(mode):
    qc = bell()
    with pytest.warns(UserWarning, match="'foo'"):
        assert wait(BACKEND.run(qc, performance=mode, foo=1)).done()


UNREAD = ("run() ignores the keyword '%s'; the keywords it reads are shots, mode, quiet, "
          "performance and file")


@pytest.mark.parametrize("typos", [{"shot": 100}, {"Shots": 100, "sync": True}])
def test_unread_keywords_warn_and_leave_the_run_unchanged(typos):
    qc = bell()
    qc.measure_all()
    run_sync(qc, shots=5)  # the circuit now keeps 5 shots
    with pytest.warns(UserWarning) as caught:
        result = run_sync(qc, **typos)
    assert [str(w.message) for w in caught] == [UNREAD % key for key in typos]
    assert sum(result.get_counts().values()) == 5


def test_read_keywords_do_not_warn():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        result = run_sync(bell(), shots=3, quiet=True, performance="Automatic", file="")
    assert result.success


def test_an_unread_keyword_made_an_error_stops_before_the_run():
    qc = bell()
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(UserWarning, match=re.escape(UNREAD % "shot")):
            vl.BackendV2().run(qc, shot=100, mode="sync")
    assert qc.qubit_end_time() == 0  # never ran


def test_synchronous_printout(capsys):
    qc = bell()
    qc.measure_all()
    vl.BackendV2().run(qc, shots=2, mode="sync", quiet=False)
    out = capsys.readouterr().out
    stamp = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}"
    start = rf"\nExecuting Circuit start time: {stamp} Param: \d+\n\n"
    assert re.fullmatch(
        start + r"\rExecuting: 1 of 2 \rExecuting: 2 of 2 " + start
        + rf"\nCompleted Circuit end time: {stamp}\n\n",
        out,
    ), out
    vl.BackendV2().run(qc, shots=2, mode="sync", quiet=True)
    assert capsys.readouterr().out == ""


def test_explicit_sync_run_prints_engine_progress(capsys):
    qc = bell()
    vl.BackendV2().run(qc, 1, True, 3, False)
    out = capsys.readouterr().out
    assert re.search(r"(^|\r| )0 of 2 gate name: htime: ", out, re.M)
    assert re.search(r"^1 of 2 gate name: cxtime: \d{4}-", out, re.M)
    vl.BackendV2().run(qc, 1, True)  # quiet again


def test_result_texts_and_dictionaries():
    qc = vl.QuantumCircuit(3)
    qc.x(0)
    qc.measure(0)
    result = run_sync(qc, shots=3)
    d = result.to_dict()
    assert list(d) == ["backend_name", "backend_version", "date", "header", "qobj_id", "job_id",
                       "status", "success", "results"]
    assert d["backend_name"] == "tamrel_velorin" and d["success"] == "Success"
    assert d["results"] == ["1", "1", "1"] and d["status"] == "Functional"
    assert result.get_classicalregister() == "XX1"
    data = result.data(0)
    assert list(data) == ["counts", "statevector", "probabilities", "amplitudes",
                          "densitymatrix", "creg"]
    assert data["counts"] == {"1": 3} and data["creg"] == "XX1"
    assert data["statevector"][1] == pytest.approx([1.0, 0.0])
    assert len(data["amplitudes"]) == 3 and len(data["densitymatrix"]) == 8
    assert result.results == ["1", "1", "1"] and result.results is not result.results
    assert result.date.endswith("\n") and len(result.date) == 25


def test_result_made_by_the_host():
    result = vl.Result()
    assert (result.backend_name, result.job_id, result.status, result.success) == ("", "", "Functional", False)
    assert result.get_counts() == {} and result.get_memory() == []
    assert result.to_dict()["success"] == "False"
    cases = [
        (result.get_statevector, "Statevector is is no longer accessible for the given job."),
        (result.get_unitary, "Amplitude vector is no longer accessible for the given job."),
        (result.get_probabilities, "Amplitude vector is no longer accessible for the given job."),
        (result.get_densitymatrix, "Density Matrix is no longer accessible for the given job."),
        (result.get_classicalregister, "Amplitude vector is no longer accessible for the given job."),
        (lambda: result.data(3), NOT_COMPLETED),
        (lambda: result.from_dict({}), "Function 'Result::from_dict' is not implemented."),
    ]
    for call, text in cases:
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value) == text
    with pytest.raises(TypeError):
        result.get_statevector(experiment=0.5)
    with pytest.raises(TypeError):
        result.from_dict([])


def test_statevector_limit_and_large_readouts():
    qc = vl.QuantumCircuit(17)
    result = run_sync(qc)
    with pytest.raises(RuntimeError, match="^State Vector is supported only for 16 qubits or less.$"):
        result.get_statevector()
    with pytest.raises(RuntimeError, match="16 qubits"):
        result.data(0)
    big = run_sync(vl.QuantumCircuit(100))
    with pytest.raises(MemoryError):
        big.get_probabilities()
    with pytest.raises(MemoryError):
        big.get_densitymatrix()
    assert big.get_unitary()[0] == pytest.approx(1.0)


def test_job_members():
    job = vl.JobV1("abc")
    assert job.job_id() == "abc" and job.status() == vl.JobStatus.INITIALIZING
    assert not (job.done() or job.running() or job.cancelled() or job.in_final_state())
    assert job.result() is None and job.backend() is None
    assert (job.version, job._async) == (1, True)
    with pytest.raises(RuntimeError, match="^Function 'JobV1::submit' is not implemented.$"):
        job.submit()
    job.cancel()
    job.cancel()
    assert job.cancelled() and job.status() == vl.JobStatus.CANCELLED
    assert job.status() is not job.status()
    with pytest.raises(AttributeError):
        job.version = 2


def test_wait_callback_and_timeouts():
    job = vl.JobV1("7")
    calls = []

    def cancel_on_third(*args):
        calls.append(args)
        if len(calls) == 3:
            args[2].cancel()

    job.wait_for_final_state(0, 0, cancel_on_third)
    assert len(calls) == 4 and calls[-1][1] == vl.JobStatus.CANCELLED
    assert calls[0][0] == "7" and calls[0][2] is job
    pending = vl.JobV1("a-rather-long-job-identifier")
    with pytest.raises(RuntimeError) as info:
        pending.wait_for_final_state(-1, 0, lambda *a: None)
    assert str(info.value) == "Timeout while waiting for job: a-rather-long-job-identifier 0 seconds passed\n"
    with pytest.raises(TypeError):
        pending.wait_for_final_state(1, 0, None)
    with pytest.raises(ZeroDivisionError):
        pending.wait_for_final_state(0, 0, lambda *a: 1 / 0)


def test_wait_releases_the_interpreter():
    job = vl.JobV1("x")
    threading.Timer(0.3, job.cancel).start()
    job.wait_for_final_state(float("inf"), 0, lambda *a: None)
    assert job.cancelled()


def test_job_monitor(capsys):
    job = vl.JobV1("m")
    job.cancel()
    vl.job_monitor(job, -1, True)
    assert capsys.readouterr().out == ""
    vl.job_monitor(job, interval=-1)
    assert capsys.readouterr().out == "Job Cancelled\nEnding Job Monitor\n"
    with pytest.raises(TypeError):
        vl.job_monitor(None)
    with pytest.raises(TypeError):
        vl.job_monitor(job, 2.5)


def test_job_status_enum():
    assert [int(s) for s in vl.JobStatus.__members__.values()] == list(range(7))
    assert vl.JobStatus(5) == vl.DONE and vl.ERROR is vl.JobStatus.ERROR
    assert vl.DONE != 5 and vl.DONE.value == 5
    assert vl.JobStatus(9).name == "???"
    with pytest.raises(TypeError):
        vl.DONE < vl.ERROR


def test_backend_attributes():
    backend = vl.BackendV2()
    assert (backend.version, backend.dt, backend.dtm, backend.max_circuits, backend.num_qubits) == (2, 1, 1, 1, 100)
    assert (backend.name, backend.description, backend.online_date, backend.backend_version) == (
        "tamrel_velorin", "Velorin Simulator Tamrel", "9/12/2023", "0.3.1")
    with pytest.raises(AttributeError):
        backend.name = "x"


def test_unopenable_file_in_a_loud_synchronous_run(tmp_path, capsys):
    qc = vl.QuantumCircuit(1)
    qc.measure(0)
    job = vl.BackendV2().run(qc, shots=2, mode="sync", quiet=False,
                             file=str(tmp_path / "missing" / "x.txt"))
    assert job.done() and job.result().get_counts() == {"0": 2}
    assert capsys.readouterr().out.startswith("Error opening file.\n")
    vl.BackendV2().run(qc, mode="sync", quiet=True)
