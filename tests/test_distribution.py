"""Sampled shots against exact dense probabilities.

Shots of a circuit that ends in measurements are drawn by one sweep over the
state before them; any other circuit replays its tail for every shot. Both must
give the Born distribution of the measured qubits, and both must leave the
engine in the state the last shot's outcomes project onto.
"""
import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import random_circuit, record, reference_state

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
