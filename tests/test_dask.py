"""velorin_dask on real Dask clusters: local worker processes, the command-line
scheduler and workers, killed workers, interrupts and bad input."""
import json
import math
import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import random_circuit, record, reference_state

distributed = pytest.importorskip("distributed")
import cloudpickle  # noqa: E402  (comes with distributed)
import psutil  # noqa: E402  (comes with distributed)

import velorin_dask  # noqa: E402

# Functions of this file run on workers, which cannot import it.
cloudpickle.register_pickle_by_value(sys.modules[__name__])

SHOTS_TEXT = 'Invalid input for "shots". Try with an integer > 1.'
PERFORMANCE_TEXT = (
    'Invalid input for "mode". Try one of - "HighestEfficiency", "BalancedAccuracy", '
    '"HighestAccuracy", or , "Automatic".'
)
BAD_GATE_TEXT = "Invalid Parameter passed to the gate instruction."
# 4.75 standard deviations: a good build fails about once in a million runs.
Z_BOUND = 4.75


def local_run(circuit, shots):
    return vl.BackendV2().run(circuit, shots=shots, mode="sync", quiet=True).result()


def ghz(n):
    qc = vl.QuantumCircuit(n)
    qc.h(0)
    for q in range(n - 1):
        qc.cx(q, q + 1)
    qc.measure_all()
    return qc


def uniform(n):
    qc = vl.QuantumCircuit(n)
    for q in range(n):
        qc.h(q)
    qc.measure_all()
    return qc


def random_ops(seed):
    rng = np.random.default_rng(seed)
    n = int(rng.integers(2, 8))
    return n, random_circuit(rng, n, depth=int(rng.integers(5, 40)))


def unitary_circuit(seed):
    n, ops = random_ops(seed)
    qc = vl.QuantumCircuit(n)
    record(qc, ops)
    return qc


def slow_circuit(seed, n=12, depth=8, reset=True):
    """A reset first makes every shot rerun the whole circuit."""
    rng = np.random.default_rng(seed)
    qc = vl.QuantumCircuit(n)
    if reset:
        qc.reset(0)
    for layer in range(depth):
        for q in range(n):
            qc.u(*(float(a) for a in rng.uniform(-np.pi, np.pi, 3)), q)
        for q in range(layer % 2, n - 1, 2):
            qc.cx(q, q + 1)
    return qc


def chi_square_bound(dof):
    """Upper quantile of the chi-square distribution (Wilson-Hilferty)."""
    k = max(dof, 1)
    return k * (1 - 2 / (9 * k) + Z_BOUND * math.sqrt(2 / (9 * k))) ** 3


def assert_counts_follow(counts, probabilities, shots):
    """Chi-square over outcomes expected at least 5 times, the rest pooled."""
    n = int(math.log2(len(probabilities)))
    observed = np.zeros(len(probabilities))
    for key, count in counts.items():
        observed[int(key, 2)] = count
    assert observed.sum() == shots
    expected = np.asarray(probabilities) * shots
    big = expected >= 5
    obs = list(observed[big]) + [observed[~big].sum()]
    exp = list(expected[big]) + [expected[~big].sum()]
    statistic = sum((o - e) ** 2 / e for o, e in zip(obs, exp) if e > 0)
    assert all(o == 0 for o, e in zip(obs, exp) if e <= 1e-12), f"impossible outcomes on {n} qubits"
    assert statistic < chi_square_bound(len(obs) - 1), (statistic, len(obs))


def scheduler_task_count(client):
    return client.run_on_scheduler(lambda dask_scheduler: len(dask_scheduler.tasks))


def wait_until(condition, timeout=30.0):
    end = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


def peak_extra_threads(shots=2000):
    """Most threads beyond the caller's that one multi-shot run adds to the
    process: the engine's own, counted while it runs."""
    import VelorinLib

    qc = slow_circuit(3, n=12, depth=4)
    qc.measure_all()
    backend = VelorinLib.BackendV2()
    tasks = "/proc/self/task"
    base = len(os.listdir(tasks))
    peak = [base]
    stop = threading.Event()

    def poll():
        while not stop.is_set():
            peak[0] = max(peak[0], len(os.listdir(tasks)))
            time.sleep(0.0002)

    poller = threading.Thread(target=poll)
    poller.start()
    try:
        backend.run(qc, shots=shots, mode="sync", quiet=True)
    finally:
        stop.set()
        poller.join()
    return peak[0] - base - 1  # the poller itself


def children():
    """Child processes, less multiprocessing's own resource tracker (it ends
    with this interpreter)."""
    found = []
    for process in psutil.Process().children(recursive=True):
        try:
            if "resource_tracker" not in " ".join(process.cmdline()):
                found.append(process)
        except psutil.Error:
            pass
    return found


@pytest.fixture(scope="module", autouse=True)
def no_process_left_behind():
    before = {p.pid for p in children()}
    yield
    gone = wait_until(lambda: not [p for p in children() if p.pid not in before], timeout=20)
    assert gone, [p.cmdline() for p in children()]


@pytest.fixture(scope="module")
def client():
    """Two single-threaded worker processes, the environment left as Dask
    sets it: velorin_dask itself must keep the engine to one thread. The
    client is the active one, so calls without client= use it."""
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address="127.0.0.1:0",
        host="127.0.0.1",
    ) as cluster, distributed.Client(cluster) as active:
        yield active


def test_import_without_dask_names_the_extra():
    blocker = textwrap.dedent(
        """
        import sys

        class Block:
            def find_spec(self, name, path=None, target=None):
                if name.split(".")[0] in ("distributed", "dask"):
                    raise ImportError("No module named " + repr(name))

        sys.meta_path.insert(0, Block())
        try:
            import velorin_dask
        except ImportError as error:
            print(error)
        else:
            print("imported")
        """
    )
    out = subprocess.run([sys.executable, "-c", blocker], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    assert "pip install 'VelorinLib[dask]'" in out.stdout


def not_a_client():
    return "tcp://127.0.0.1:1"


@pytest.mark.parametrize(
    "call,kwargs,error,text",
    [
        ("run", {"shots": 0}, RuntimeError, SHOTS_TEXT),
        ("run", {"shots": -5}, RuntimeError, SHOTS_TEXT),
        ("run", {"shots": 2.5}, RuntimeError, SHOTS_TEXT),
        ("run", {"shots": "3"}, RuntimeError, SHOTS_TEXT),
        ("run", {"shots": True}, RuntimeError, SHOTS_TEXT),
        ("run", {"shots": None}, RuntimeError, SHOTS_TEXT),
        ("run", {"shots": 2**31}, RuntimeError, SHOTS_TEXT),
        ("sample", {"shots": 0}, RuntimeError, SHOTS_TEXT),
        ("sample", {"shots": 1e6}, RuntimeError, SHOTS_TEXT),
        ("run", {"shots": 10, "performance": "fast"}, RuntimeError, PERFORMANCE_TEXT),
        ("sample", {"shots": 10, "performance": 2}, RuntimeError, PERFORMANCE_TEXT),
        ("run", {"shots": 10, "progress": "yes"}, TypeError, "progress must be True, False or None"),
        ("sample", {"shots": 10, "client": not_a_client()}, TypeError, "client must be a distributed.Client"),
        ("run", {"shots": 10, "circuits": [ghz(2), "qc"]}, TypeError, "circuit 1: a QuantumCircuit is required"),
        ("run", {"shots": 10, "circuits": ghz(2)}, TypeError, "circuits must be a sequence of QuantumCircuit"),
        ("run", {"shots": 10, "circuits": 7}, TypeError, "circuits must be a sequence of QuantumCircuit"),
        ("sample", {"shots": 10, "circuit": None}, TypeError, "circuit: a QuantumCircuit is required"),
        ("sample", {"shots": 10, "circuit": [ghz(2)]}, TypeError, "circuit: a QuantumCircuit is required"),
    ],
)
def test_bad_arguments_raise_before_anything_is_submitted(client, call, kwargs, error, text):
    args = {"circuits": [ghz(2)] * 3} if call == "run" else {"circuit": ghz(2)}
    args.update(kwargs)
    positional = args.pop("circuits" if call == "run" else "circuit")
    transitions = client.run_on_scheduler(lambda dask_scheduler: dask_scheduler.transition_counter)
    with pytest.raises(error) as info:
        getattr(velorin_dask, call)(positional, **args)
    assert str(info.value).startswith(text)
    after = client.run_on_scheduler(lambda dask_scheduler: dask_scheduler.transition_counter)
    assert after == transitions


def test_empty_batch_submits_nothing(client):
    transitions = client.run_on_scheduler(lambda dask_scheduler: dask_scheduler.transition_counter)
    assert velorin_dask.run([], shots=5) == []
    assert velorin_dask.run(iter(()), shots=5, client=client) == []
    assert client.run_on_scheduler(lambda dask_scheduler: dask_scheduler.transition_counter) == transitions


def test_unitary_results_equal_local_runs_bit_for_bit(client):
    circuits = [unitary_circuit(seed) for seed in range(20)]
    results = velorin_dask.run(circuits, shots=1, client=client)
    assert len(results) == len(circuits)
    for seed, (circuit, result) in enumerate(zip(circuits, results)):
        assert isinstance(result, vl.Result) and result.success
        here = np.array(local_run(circuit, 1).get_statevector())
        there = np.array(result.get_statevector())
        assert there.tobytes() == here.tobytes(), f"circuit {seed}"
        n, ops = random_ops(seed)
        np.testing.assert_allclose(there, reference_state(n, ops), atol=1e-4)


def test_measured_counts_follow_the_local_distribution(client):
    shots = 2000
    circuits, distributions = [], []
    for seed in range(100, 120):
        qc = unitary_circuit(seed)
        distributions.append(local_run(qc, 1).get_probabilities())
        qc.measure_all()
        circuits.append(qc)
    # The active client, found without being passed.
    results = velorin_dask.run(circuits, shots=shots)
    for counts_of, probabilities in zip(results, distributions):
        assert_counts_follow(counts_of.get_counts(), probabilities, shots)


def test_workers_keep_the_engine_to_their_threads(client):
    velorin_dask.run([ghz(3)] * 4, shots=10, client=client)
    extra = client.gather([client.submit(peak_extra_threads, pure=False, workers=[w]) for w in client.scheduler_info()["workers"]])
    assert extra == [0, 0]
    assert set(client.run(lambda: os.environ.get("OMP_THREAD_LIMIT")).values()) == {"1"}


def extra_threads_in_child(limit):
    # Dask's own OMP_NUM_THREADS=1 in the worker environment.
    env = dict(os.environ, OMP_NUM_THREADS="1")
    env.pop("OMP_THREAD_LIMIT", None)
    if limit:
        env["OMP_THREAD_LIMIT"] = limit
    code = "from test_dask import peak_extra_threads; print(peak_extra_threads())"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env,
                         timeout=120, cwd=os.path.dirname(__file__))
    assert out.returncode == 0, out.stderr
    return int(out.stdout.split()[-1])


def test_thread_limit_bounds_the_engine():
    if extra_threads_in_child(None) == 0:
        pytest.skip("the engine adds no thread of its own here: nothing to bound")
    assert extra_threads_in_child("1") == 0
    assert extra_threads_in_child("2") <= 1


def test_sample_ghz20_million_shots(client):
    shots = 10**6
    counts = velorin_dask.sample(ghz(20), shots=shots, client=client)
    assert sum(counts.values()) == shots
    assert list(counts) == ["0" * 20, "1" * 20]
    assert abs(counts["0" * 20] - shots / 2) < Z_BOUND * math.sqrt(shots) / 2


@pytest.mark.parametrize("shots", [1, 9_999, 10_001, 30_007])
def test_sample_counts_every_shot(client, shots):
    counts = velorin_dask.sample(ghz(2), shots=shots, client=client)
    assert set(counts) <= {"00", "11"} and sum(counts.values()) == shots


def test_sample_chunks_draw_independent_shots(client):
    """Were every chunk to repeat one draw, every count would be a multiple
    of the number of chunks."""
    chunks = 6
    shots = chunks * velorin_dask.CHUNK_SHOTS
    counts = velorin_dask.sample(uniform(8), shots=shots, client=client)
    assert sum(counts.values()) == shots and len(counts) == 256
    assert any(count % chunks for count in counts.values())
    assert any(count % 2 for count in counts.values())
    assert_counts_follow(counts, [1 / 256] * 256, shots)


@pytest.mark.parametrize("progress,shown", [(True, True), (False, False), (None, False)])
def test_progress_bar(client, capfd, progress, shown):
    velorin_dask.sample(ghz(2), shots=3 * velorin_dask.CHUNK_SHOTS, client=client, progress=progress)
    velorin_dask.run([ghz(2)] * 2, shots=5, client=client, progress=progress)
    err = capfd.readouterr().err
    assert ("3/3" in err and "2/2" in err) == shown, err


def test_failing_circuit_cancels_the_rest(client):
    circuits = [ghz(3) for _ in range(4)]
    bad = vl.QuantumCircuit(2)
    bad.rx(float("nan"), 0)
    circuits.append(bad)
    circuits += [slow_circuit(seed, n=14, depth=10) for seed in range(6)]
    with pytest.raises(RuntimeError) as info:
        velorin_dask.run(circuits, shots=200, client=client)
    assert str(info.value) == f"circuit 4: {BAD_GATE_TEXT}"
    # Nothing left for the cluster: the slow circuits were dropped, not run.
    assert wait_until(lambda: scheduler_task_count(client) == 0, timeout=5)
    assert not any(client.processing().values())
    counts = velorin_dask.run([ghz(2)], shots=4, client=client)[0].get_counts()
    assert set(counts) <= {"00", "11"} and sum(counts.values()) == 4


def test_killed_worker_loses_nothing():
    # Each task long enough that the kill lands while the batch runs; the
    # reset on a fresh qubit leaves every shot's state the same.
    circuits = [slow_circuit(seed, n=10, depth=6) for seed in range(16)]
    expected = [np.array(local_run(c, 1).get_statevector()) for c in circuits]
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address="127.0.0.1:0",
        host="127.0.0.1",
    ) as cluster, distributed.Client(cluster, set_as_default=False) as own:
        outcome = {}

        def batch():
            try:
                outcome["results"] = velorin_dask.run(circuits, shots=300, client=own)
            except BaseException as error:  # reported below
                outcome["error"] = error

        runner = threading.Thread(target=batch)
        runner.start()
        pids = own.run(os.getpid)
        assert wait_until(lambda: any(own.processing().values()))
        victim = next(w for w, tasks in own.processing().items() if tasks)
        os.kill(pids[victim], signal.SIGKILL)
        assert runner.is_alive(), "the batch ended before the kill"
        runner.join(timeout=300)
        assert not runner.is_alive()
    assert "error" not in outcome, outcome.get("error")
    results = outcome["results"]
    assert len(results) == len(circuits)
    for index, (result, state) in enumerate(zip(results, expected)):
        np.testing.assert_allclose(np.array(result.get_statevector()), state, atol=1e-9,
                                   err_msg=f"circuit {index}")


def start(args):
    return subprocess.Popen(
        args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True, text=True
    )


def stop(process):
    try:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait(timeout=20)
    except ProcessLookupError:
        pass
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def test_command_line_scheduler_and_workers(tmp_path):
    dask = os.path.join(os.path.dirname(sys.executable), "dask")
    scheduler_file = tmp_path / "scheduler.json"
    processes = [start([dask, "scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                        "--dashboard-address", "127.0.0.1:0",
                        "--scheduler-file", str(scheduler_file)])]
    try:
        assert wait_until(scheduler_file.exists, timeout=60), processes[0].stderr
        for _ in range(2):
            processes.append(start([dask, "worker", "--scheduler-file", str(scheduler_file),
                                    "--nthreads", "1", "--host", "127.0.0.1", "--no-dashboard"]))
        address = json.loads(scheduler_file.read_text())["address"]
        assert address.startswith("tcp://127.0.0.1:")
        with distributed.Client(address, set_as_default=False) as remote:
            remote.wait_for_workers(2, timeout=60)
            circuits = [unitary_circuit(seed) for seed in range(200, 206)]
            results = velorin_dask.run(circuits, shots=1, client=remote)
            for circuit, result in zip(circuits, results):
                assert (np.array(result.get_statevector()).tobytes()
                        == np.array(local_run(circuit, 1).get_statevector()).tobytes())
            counts = velorin_dask.sample(ghz(5), shots=30_000, client=remote)
            assert sorted(counts) == ["00000", "11111"] and sum(counts.values()) == 30_000
            assert len({w["host"] for w in remote.scheduler_info()["workers"].values()}) == 1
            assert len(remote.scheduler_info()["workers"]) == 2
    finally:
        for process in reversed(processes):
            stop(process)


CHILD = textwrap.dedent(
    """
    import os, sys, threading, time
    import distributed
    import VelorinLib as vl
    import velorin_dask

    def slow(seed):
        import random
        rng = random.Random(seed)
        qc = vl.QuantumCircuit(14)
        qc.reset(0)
        for layer in range(10):
            for q in range(14):
                qc.u(*(rng.uniform(-3, 3) for _ in range(3)), q)
            for q in range(layer % 2, 13, 2):
                qc.cx(q, q + 1)
        return qc

    if __name__ == "__main__":
        with distributed.LocalCluster(n_workers=1, threads_per_worker=1, dashboard_address="127.0.0.1:0",
                                      host="127.0.0.1") as cluster, distributed.Client(cluster) as client:
            def tell_when_running():
                while not any(client.processing().values()):
                    time.sleep(0.05)
                print("running", flush=True)
            threading.Thread(target=tell_when_running, daemon=True).start()
            try:
                velorin_dask.run([slow(s) for s in range(20)], shots=500)
            except KeyboardInterrupt:
                print("interrupted", flush=True)
            deadline = time.monotonic() + 10
            while client.run_on_scheduler(lambda dask_scheduler: len(dask_scheduler.tasks)):
                assert time.monotonic() < deadline
                time.sleep(0.05)
            print("cancelled", flush=True)
            qc = vl.QuantumCircuit(2)
            qc.x(1)
            qc.measure_all()
            print(velorin_dask.sample(qc, shots=20_000), flush=True)
    """
)


def test_ctrl_c_cancels_and_keeps_the_client(tmp_path):
    script = tmp_path / "child.py"
    script.write_text(CHILD)
    child = subprocess.Popen([sys.executable, str(script)], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "running"
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=120)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert child.returncode == 0, err
    assert out.split("\n")[:3] == ["interrupted", "cancelled", "{'10': 20000}"], (out, err)


EMBEDDED = textwrap.dedent(
    """
    import distributed, psutil
    import VelorinLib as vl
    import velorin_dask

    if __name__ == "__main__":
        qc = vl.QuantumCircuit(3)
        qc.x(0)
        qc.measure_all()
        print(velorin_dask.sample(qc, shots=25_000))
        print(velorin_dask.run([qc, qc], shots=7)[1].get_counts())
        try:
            distributed.get_client()
        except ValueError:
            print("no client left")
        left = [p for p in psutil.Process().children(recursive=True)
                if "resource_tracker" not in " ".join(p.cmdline())]
        print(len(left), "processes left")
    """
)


def test_embedded_cluster_starts_and_stops(tmp_path):
    script = tmp_path / "embedded.py"
    script.write_text(EMBEDDED)
    out = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stderr
    assert "Traceback" not in out.stderr, out.stderr
    assert out.stdout.split("\n")[:4] == [
        "{'001': 25000}", "{'001': 7}", "no client left", "0 processes left"], out.stdout
