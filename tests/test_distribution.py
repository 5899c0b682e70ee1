"""Sampled shots against exact dense probabilities.

Shots of a circuit that ends in measurements are drawn by one sweep over the
state before them; any other circuit replays its tail for every shot. Both must
give the Born distribution of the measured qubits, and both must leave the
engine in the state the last shot's outcomes project onto.
"""
import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import GATES, DenseState, random_circuit, record, reference_state

SHOTS = 4000
# Chi-square at a false-alarm rate of 1e-6 per test, so that the whole table
# stays below 1e-4: the Wilson-Hilferty quantile for that normal deviate.
Z_1E6 = 4.753424


def chi_square_limit(dof):
    k = float(dof)
    return k * (1 - 2 / (9 * k) + Z_1E6 * np.sqrt(2 / (9 * k))) ** 3


def marginal(psi, n, qubits):
    """Probabilities of the listed qubits' values, index bit j = j-th listed qubit."""
    probs = np.abs(psi.reshape([2] * n)) ** 2  # axis a is qubit n - 1 - a
    keep = [n - 1 - q for q in qubits]
    drop = tuple(a for a in range(n) if a not in keep)
    reduced = probs.sum(axis=drop) if drop else probs
    # remaining axes are in ascending axis order: reorder to listed qubits, last most significant
    order = sorted(keep)
    reduced = np.moveaxis(reduced, [order.index(a) for a in keep[::-1]], range(len(keep)))
    return reduced.reshape(-1)


def key_index(bits, qubits):
    """Index (bit j = j-th listed qubit) of a shot text (highest qubit first)."""
    values = dict(zip(sorted(qubits, reverse=True), bits))
    return sum(int(values[q]) << j for j, q in enumerate(qubits))


def chi_square(counts, expected_probs, shots):
    expected = expected_probs * shots
    observed = np.zeros_like(expected)
    for index, count in counts.items():
        observed[index] += count
    assert observed.sum() == shots
    # Outcomes of (near) zero probability must never be drawn.
    impossible = expected_probs < 1e-12
    assert observed[impossible].sum() == 0
    big = expected >= 5
    stat = float((((observed[big] - expected[big]) ** 2) / expected[big]).sum())
    bins = int(big.sum())
    if (~big).any():
        rest_e, rest_o = expected[~big].sum(), observed[~big].sum()
        if rest_e > 0:
            stat += (rest_o - rest_e) ** 2 / rest_e
            bins += 1
    return stat, max(bins - 1, 1)


def build(n, ops, qubits, replay):
    qc = vl.QuantumCircuit(n)
    record(qc, ops)
    if qubits is None:
        qc.measure_all()
    else:
        for q in qubits:
            qc.measure(q)
    if replay:
        # A gate after the measurements: every shot replays the tail. It
        # changes the state, not the recorded outcomes.
        qc.x(0)
    return qc


CASES = [(seed, n) for seed, n in enumerate([2, 3, 4, 5, 6, 7, 8, 10, 12])]


@pytest.mark.parametrize("replay", [False, True], ids=["sweep", "replay"])
@pytest.mark.parametrize("subset", [False, True], ids=["all", "subset"])
@pytest.mark.parametrize("seed,n", CASES)
def test_shots_follow_the_born_distribution(seed, n, subset, replay):
    rng = np.random.default_rng(1400 + seed)
    ops = random_circuit(rng, n, 4 * n)
    qubits = None
    if subset:
        size = int(rng.integers(1, n)) if n > 1 else 1
        qubits = [int(q) for q in rng.choice(n, size=size, replace=False)]
    measured = list(range(n)) if qubits is None else qubits
    shots = SHOTS if n <= 8 else 2 * SHOTS
    job = vl.BackendV2().run(build(n, ops, qubits, replay), shots=shots, mode="sync")
    assert job.status() == vl.JobStatus.DONE
    counts = {key_index(bits, measured): c for bits, c in job.result().get_counts().items()}
    probs = marginal(reference_state(n, ops), n, measured)
    stat, dof = chi_square(counts, probs, shots)
    assert stat < chi_square_limit(dof), (stat, dof)


def projected(psi, n, qubits, bits):
    """The dense state after measuring `qubits` with the shot text `bits`."""
    tensor = psi.reshape([2] * n).copy()
    values = dict(zip(sorted(qubits, reverse=True), bits))
    for q, v in values.items():
        index = [slice(None)] * n
        index[n - 1 - q] = 1 - int(v)
        tensor[tuple(index)] = 0
    out = tensor.reshape(-1)
    return out / np.linalg.norm(out)


@pytest.mark.parametrize("replay", [False, True], ids=["sweep", "replay"])
@pytest.mark.parametrize("seed,n,qubits", [(0, 5, None), (1, 6, [2, 3]), (2, 7, [0, 4, 6]),
                                           (3, 8, [5]), (4, 9, None)])
def test_the_last_shot_leaves_its_projected_state(seed, n, qubits, replay):
    rng = np.random.default_rng(1500 + seed)
    ops = random_circuit(rng, n, 4 * n)
    measured = list(range(n)) if qubits is None else qubits
    result = vl.BackendV2().run(build(n, ops, qubits, replay), shots=7, mode="sync").result()
    last = result.get_memory()[-1]
    expected = projected(reference_state(n, ops), n, measured, last)
    if replay:
        x0 = np.kron(np.eye(2 ** (n - 1)), np.array([[0, 1], [1, 0]]))
        expected = x0 @ expected
    state = np.asarray(result.get_statevector())
    overlap = abs(np.vdot(expected, state))
    assert overlap == pytest.approx(1.0, abs=1e-8)
    assert np.linalg.norm(state) == pytest.approx(1.0, abs=1e-8)


def test_two_engines_at_once_draw_independently():
    # Sixty fair coins per shot on two jobs started together: equal records
    # would mean a shared seed.
    qc = vl.QuantumCircuit(60)
    for q in range(60):
        qc.h(q)
    qc.measure_all()
    backends = [vl.BackendV2(), vl.BackendV2()]
    jobs = [b.run(qc, shots=50) for b in backends]
    for job in jobs:
        job.wait_for_final_state(60, 0, lambda *args: None)
    first, second = (job.result().get_memory() for job in jobs)
    assert len(set(first)) == 50 and first != second


# ---- shots that replay mid-circuit measurements, conditions and resets ----

def branch_distribution(n, program, final):
    """Exact probabilities of the shot texts of `program` followed by a measure
    of the qubits `final`: every measurement and reset splits the dense state
    into its two outcomes. The record holds each qubit's last outcome, as the
    engine's measured values do; a condition (bit, value) tests bit's qubit."""
    branches = [(1.0, DenseState(n), {})]
    for op in program:
        kind = op[0]
        grown = []
        for weight, state, record in branches:
            if kind == "gate":
                _, name, angles, qubits, condition = op
                if condition is None or record.get(condition[0], -1) == condition[1]:
                    state.apply(GATES[name][2](*angles), qubits)
                grown.append((weight, state, record))
                continue
            q = op[1]
            axis = state.axis(q)
            for outcome in (0, 1):
                part = state.psi.copy()
                index = [slice(None)] * n
                index[axis] = 1 - outcome
                part[tuple(index)] = 0
                p = float(np.sum(np.abs(part) ** 2))
                if p < 1e-14:
                    continue
                child = DenseState(n)
                child.psi = part / np.sqrt(p)
                child_record = dict(record)
                if kind == "measure":
                    child_record[q] = outcome
                elif outcome == 1:
                    child.apply(GATES["x"][2](), [q])  # a reset keeps the record
                grown.append((weight * p, child, child_record))
        branches = grown
    out = {}
    for weight, state, record in branches:
        probs = marginal(state.vector(), n, final)
        for index, p in enumerate(probs):
            if weight * p < 1e-15:
                continue
            values = dict(record)
            values.update({q: (index >> j) & 1 for j, q in enumerate(final)})
            text = "".join(str(values[q]) for q in sorted(values, reverse=True))
            out[text] = out.get(text, 0.0) + weight * p
    return out


def mid_circuit_program(rng, n, reset_first):
    """Random gates with measures, gates conditioned on measured qubits, and
    resets between them; optionally a reset before everything else."""
    program = [("reset", int(rng.integers(n)))] if reset_first else []
    measured = []
    names = sorted(GATES)
    for _ in range(5 * n):
        roll = rng.random()
        if roll < 0.12:
            q = int(rng.integers(n))
            program.append(("measure", q))
            measured.append(q)
        elif roll < 0.18:
            program.append(("reset", int(rng.integers(n))))
        else:
            name = names[rng.integers(len(names))]
            arity, n_angles, _ = GATES[name]
            if arity > n:
                continue
            qubits = [int(q) for q in rng.choice(n, size=arity, replace=False)]
            angles = [float(a) for a in rng.uniform(-np.pi, np.pi, size=n_angles)]
            condition = None
            if measured and rng.random() < 0.4:
                condition = (measured[int(rng.integers(len(measured)))], int(rng.integers(2)))
            program.append(("gate", name, angles, qubits, condition))
    return program


def build_program(n, program, final):
    qc = vl.QuantumCircuit(n, n)
    for op in program:
        if op[0] == "gate":
            _, name, angles, qubits, condition = op
            gate = getattr(qc, name)(*angles, *qubits)
            if condition is not None:
                gate.c_if(*condition)
        elif op[0] == "measure":
            qc.measure(op[1], op[1])
        else:
            qc.reset(op[1])
    for q in final:
        qc.measure(q, q)
    return qc


def chi_square_texts(counts, probs, shots):
    texts = sorted(probs)
    assert set(counts) <= set(texts), set(counts) - set(texts)  # nothing impossible drawn
    observed = {t: counts.get(t, 0) for t in texts}
    return chi_square({i: observed[t] for i, t in enumerate(texts)},
                      np.array([probs[t] for t in texts]), shots)


@pytest.mark.parametrize("reset_first", [False, True], ids=["checkpoint", "reset-first"])
@pytest.mark.parametrize("seed,n", [(0, 2), (1, 3), (2, 4), (3, 5), (4, 6), (5, 8), (6, 10),
                                    (7, 12)])
def test_replayed_mid_circuit_shots_follow_the_branch_distribution(seed, n, reset_first):
    # Shots after the first run side by side, each replaying the measures,
    # conditions and resets from the checkpoint (or from the start).
    rng = np.random.default_rng(1600 + seed)
    program = mid_circuit_program(rng, n, reset_first)
    final = [int(q) for q in rng.choice(n, size=min(n, 4), replace=False)]
    shots = SHOTS if n <= 8 else 2 * SHOTS
    job = vl.BackendV2().run(build_program(n, program, final), shots=shots, mode="sync")
    assert job.status() == vl.JobStatus.DONE
    result = job.result()
    counts = result.get_counts()
    assert sum(counts.values()) == shots and len(result.get_memory()) == shots
    stat, dof = chi_square_texts(counts, branch_distribution(n, program, final), shots)
    assert stat < chi_square_limit(dof), (stat, dof)


def coin_circuit(width):
    """`width` fair coins measured mid-circuit, a condition on the first, and a
    gate after: every shot replays, and no two shots should ever agree."""
    qc = vl.QuantumCircuit(width + 1, width + 1)
    for q in range(width):
        qc.h(q)
    for q in range(width):
        qc.measure(q, q)
    qc.x(width).c_if(0, 1)
    qc.h(0)
    qc.measure(width, width)
    return qc


def test_shots_side_by_side_draw_independently_within_and_across_runs():
    # Shots on different threads share no generator: sixty coins per shot
    # repeat with a probability of about 1e-12 over these pairs of shots.
    qc = coin_circuit(60)
    runs = [vl.BackendV2().run(qc, shots=2000, mode="sync").result().get_memory()
            for _ in range(2)]
    for memory in runs:
        assert len(memory) == 2000 and len(set(memory)) == 2000
        # The condition follows each shot's own first coin.
        assert all(bits[0] == bits[-1] for bits in memory)
    assert not set(runs[0]) & set(runs[1])


def test_two_runs_side_by_side_sample_one_distribution():
    # Two runs at once on two backends: different shot sequences, and each
    # follows the exact distribution of the same circuit.
    rng = np.random.default_rng(1700)
    n = 6
    program = mid_circuit_program(rng, n, False)
    final = list(range(n))
    qc = build_program(n, program, final)
    probs = branch_distribution(n, program, final)
    backends = [vl.BackendV2(), vl.BackendV2()]
    jobs = [b.run(qc, shots=SHOTS) for b in backends]
    memories = []
    for job in jobs:
        job.wait_for_final_state(60, 0, lambda *args: None)
        assert job.status() == vl.JobStatus.DONE
        result = job.result()
        memories.append(result.get_memory())
        stat, dof = chi_square_texts(result.get_counts(), probs, SHOTS)
        assert stat < chi_square_limit(dof), (stat, dof)
    assert memories[0] != memories[1]


def brickwork_ops(rng, n, depth):
    ops = []
    for layer in range(depth):
        ops += [("u", [float(a) for a in rng.uniform(-np.pi, np.pi, size=3)], [q]) for q in range(n)]
        ops += [("cx", [], [q, q + 1]) for q in range(layer % 2, n - 1, 2)]
    return ops


@pytest.mark.parametrize("seed,n,depth", [(0, 16, 8), (1, 18, 10)])
def test_many_shots_of_an_entangled_chain_follow_the_born_distribution(seed, n, depth):
    # Enough work per batch that the sweep draws its shots in slices on free
    # cores, each slice from its own stream: the marginals of qubits spread
    # over the chain, and of neighbours, against the dense state.
    rng = np.random.default_rng(2900 + seed)
    ops = brickwork_ops(rng, n, depth)
    qc = vl.QuantumCircuit(n)
    record(qc, ops)
    qc.measure_all()
    shots = 10000  # the most shots a result keeps the texts of
    memory = vl.BackendV2().run(qc, shots=shots, mode="sync").result().get_memory()
    assert len(memory) == shots
    psi = reference_state(n, ops)
    for measured in ([0, n // 3, n // 2, n - 1, 1, n - 2], list(range(n // 2 - 3, n // 2 + 3))):
        counts = {}
        for bits in memory:
            index = key_index("".join(bits[n - 1 - q] for q in sorted(measured, reverse=True)),
                              measured)
            counts[index] = counts.get(index, 0) + 1
        stat, dof = chi_square(counts, marginal(psi, n, measured), shots)
        assert stat < chi_square_limit(dof), (measured, stat, dof)
