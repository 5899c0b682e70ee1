"""A small dense state-vector simulator written independently of the engine.

Index convention: bit q of a basis index is qubit q. A two-qubit matrix is
indexed b0 + 2*b1, b0 being the first qubit the gate is given.
"""
import numpy as np

S2 = 1 / np.sqrt(2)
I2 = np.eye(2, dtype=complex)
X = np.array([[0, 1], [1, 0]], dtype=complex)
Y = np.array([[0, -1j], [1j, 0]], dtype=complex)
Z = np.diag([1, -1]).astype(complex)
H = S2 * np.array([[1, 1], [1, -1]], dtype=complex)


def rx(t):
    return np.array([[np.cos(t / 2), -1j * np.sin(t / 2)], [-1j * np.sin(t / 2), np.cos(t / 2)]])


def ry(t):
    return np.array([[np.cos(t / 2), -np.sin(t / 2)], [np.sin(t / 2), np.cos(t / 2)]], dtype=complex)


def rz(t):
    return np.diag([np.exp(-0.5j * t), np.exp(0.5j * t)])


def phase(t):
    return np.diag([1, np.exp(1j * t)])


def u(t, p, l):
    return np.array(
        [
            [np.cos(t / 2), -np.exp(1j * l) * np.sin(t / 2)],
            [np.exp(1j * p) * np.sin(t / 2), np.exp(1j * (p + l)) * np.cos(t / 2)],
        ]
    )


def controlled(m):
    """Control is the first qubit (b0)."""
    out = np.eye(4, dtype=complex)
    for j in range(2):
        for k in range(2):
            out[1 + 2 * j, 1 + 2 * k] = m[j, k]
    return out


def pair(a, b):
    """a acts on the first qubit (b0), b on the second (b1)."""
    return np.kron(b, a)


def expm_herm(generator, t):
    w, v = np.linalg.eigh(generator)
    return v @ np.diag(np.exp(-0.5j * t * w)) @ v.conj().T


SWAP = np.eye(4, dtype=complex)[[0, 2, 1, 3]]

# name -> (number of qubits, number of angles, matrix from angles)
GATES = {
    "h": (1, 0, lambda: H),
    "x": (1, 0, lambda: X),
    "y": (1, 0, lambda: Y),
    "z": (1, 0, lambda: Z),
    "s": (1, 0, lambda: phase(np.pi / 2)),
    "sdg": (1, 0, lambda: phase(-np.pi / 2)),
    "t": (1, 0, lambda: phase(np.pi / 4)),
    "tdg": (1, 0, lambda: phase(-np.pi / 4)),
    "sx": (1, 0, lambda: 0.5 * np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]])),
    "rx": (1, 1, rx),
    "ry": (1, 1, ry),
    "rz": (1, 1, rz),
    "p": (1, 1, phase),
    "u": (1, 3, u),
    "cx": (2, 0, lambda: controlled(X)),
    "cy": (2, 0, lambda: controlled(Y)),
    "cz": (2, 0, lambda: controlled(Z)),
    "ch": (2, 0, lambda: controlled(H)),
    "cp": (2, 1, lambda t: controlled(phase(t))),
    "crx": (2, 1, lambda t: controlled(rx(t))),
    "cry": (2, 1, lambda t: controlled(ry(t))),
    "crz": (2, 1, lambda t: controlled(rz(t))),
    "swap": (2, 0, lambda: SWAP),
    "rxx": (2, 1, lambda t: expm_herm(pair(X, X), t)),
    "ryy": (2, 1, lambda t: expm_herm(pair(Y, Y), t)),
    "rzz": (2, 1, lambda t: expm_herm(pair(Z, Z), t)),
}


class DenseState:
    def __init__(self, n):
        self.n = n
        self.psi = np.zeros([2] * n, dtype=complex)
        self.psi[(0,) * n] = 1

    def axis(self, q):
        return self.n - 1 - q

    def apply(self, matrix, qubits):
        k = len(qubits)
        tensor = np.asarray(matrix).reshape([2] * (2 * k))
        # matrix axes: outputs then inputs, the last listed qubit most significant
        in_axes = list(range(2 * k - 1, k - 1, -1))
        psi_axes = [self.axis(q) for q in qubits]
        out = np.tensordot(tensor, self.psi, axes=(in_axes, psi_axes))
        self.psi = np.moveaxis(out, list(range(k - 1, -1, -1)), psi_axes)

    def vector(self):
        return self.psi.reshape(-1)


def random_circuit(rng, n, depth):
    """A list of (name, angles, qubits), with far-apart and reversed pairs."""
    names = sorted(GATES)
    ops = []
    for _ in range(depth):
        name = names[rng.integers(len(names))]
        arity, n_angles, _ = GATES[name]
        if arity == 2 and n < 2:
            continue
        qubits = [int(q) for q in rng.choice(n, size=arity, replace=False)]
        angles = [float(a) for a in rng.uniform(-np.pi, np.pi, size=n_angles)]
        ops.append((name, angles, qubits))
    return ops


def reference_state(n, ops):
    state = DenseState(n)
    for name, angles, qubits in ops:
        state.apply(GATES[name][2](*angles), qubits)
    return state.vector()


def record(circuit, ops):
    for name, angles, qubits in ops:
        getattr(circuit, name)(*angles, *qubits)


def random_product_state(circuit, rng):
    """Puts every qubit of the circuit in a random state; returns the dense twin."""
    state = DenseState(circuit.num_qubits)
    for q in range(circuit.num_qubits):
        angles = [float(a) for a in rng.uniform(-np.pi, np.pi, size=3)]
        circuit.u(*angles, q)
        state.apply(GATES["u"][2](*angles), [q])
    return state


def assert_readouts_match(result, expected, atol, fidelity):
    """Every read-out of a run's result against the dense state it should hold."""
    state = np.array(result.get_statevector())
    assert abs(np.vdot(expected, state)) ** 2 > fidelity
    np.testing.assert_allclose(state, expected, atol=atol)
    np.testing.assert_allclose(result.get_probabilities(), np.abs(expected) ** 2, atol=atol)
    n = len(expected).bit_length() - 1
    np.testing.assert_allclose(result.get_unitary(), expected[:n], atol=atol)  # first n amplitudes
    rho = np.array(result.get_densitymatrix())
    np.testing.assert_allclose(rho, np.outer(expected, expected.conj()), atol=atol)
