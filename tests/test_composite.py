# Composite gate methods at the interpreter boundary: classes, gate members,
# argument conversion, error texts and docstrings. The decompositions
# themselves are checked natively against a dense reference.
import gc
import os
import subprocess
import sys

import numpy as np
import pytest

import VelorinLib as vl

INVALID = "Invalid Parameter passed to the gate instruction."
MULTI = "Error handling multi control gate."

# method, positional arguments on a 6-qubit circuit, class, num_qubits, params
CASES = [
    ("ccx", (0, 1, 2), vl.CCXGate, 6, []),
    ("toffoli", (0, 1, 2), vl.CCXGate, 6, []),
    ("ccz", (2, 0, 1), vl.CCZGate, 6, []),
    ("cswap", (0, 1, 2), vl.CSWAPGate, 6, []),
    ("fredkin", (0, 1, 2), vl.CSWAPGate, 6, []),
    ("rccx", (0, 1, 2), vl.RCCXGate, 6, []),
    ("pauli", ([0, 1, 2], "XiZ"), vl.PAULIGate, 6, []),
    ("mcp", (0.5, [0, 1], 4), vl.MCPGate, 6, [0.5]),
    ("mcrx", (0.5, [2, 0, 2], 1), vl.MCRXGate, 3, [0.5]),
    ("mcry", (0.5, [3], 5), vl.MCRYGate, 6, [0.5]),
    ("mcrz", (0.5, [0, 1, 2, 3, 4], 5), vl.MCRZGate, 10, [0.5]),
    ("mct", ([0, 1, 2, 3, 4], 5), vl.MCXGate, 10, []),
    ("mcx", ([0, 1, 2, 3, 4], 5), vl.MCXGate, 10, []),
    ("mcx", ([4, 0, 2], 1), vl.MCXGate, 4, []),
    ("mcx", ([4, 0, 2, 3], 1), vl.MCXGate, 5, []),
    ("ms", (0.25, [3, 0, 2]), vl.GMSGate, 3, [0.25]),
    ("gms", (0.25, [1]), vl.GMSGate, 1, [0.25]),
    ("rcccx", (0, 1, 2, 3), vl.RCCCXGate, 4, []),
    ("rc3x", (3, 2, 1, 0), vl.RCCCXGate, 4, []),
    ("c3sqrtx", (0, 1, 2, 5), vl.C3SQRTX, 4, []),
    ("c3x", (0, 1, 2, 5), vl.MCXGate, 4, []),
    ("c4x", (0, 1, 2, 3, 5), vl.MCXGate, 5, []),
]


@pytest.mark.parametrize("method,args,cls,num_qubits,params", CASES)
def test_returned_gate(method, args, cls, num_qubits, params):
    qc = vl.QuantumCircuit(6)
    gate = getattr(qc, method)(*args)
    assert type(gate) is cls and isinstance(gate, vl.Gate)
    assert (gate.label, gate.name) == ("", "")
    assert gate.num_qubits == num_qubits
    assert gate.params == params
    labelled = getattr(qc, method)(*args, label="L")
    assert (labelled.label, labelled.name, labelled.num_qubits) == ("L", "L", num_qubits)


@pytest.mark.parametrize("controls", [[3, 3], [1, 3, 1]])
def test_mcx_with_one_or_two_controls_has_no_name_and_no_qubit_count(controls):
    qc = vl.QuantumCircuit(5)
    for method in ("mcx", "mct"):
        gate = getattr(qc, method)(controls, 2, label="L")
        assert type(gate) is vl.MCXGate
        assert (gate.label, gate.name, gate.num_qubits, gate.params) == ("L", "", 0, [])
        gate.c_if(0, 1)


def test_control_list_of_the_caller_is_not_changed():
    qc = vl.QuantumCircuit(5)
    controls = [2, 0, 2]
    assert qc.mcx(controls, 1).num_qubits == 0
    assert controls == [2, 0, 2]
    assert qc.mcp(0.5, (0, 1), 4).num_qubits == 6


def test_keywords_and_conversions():
    qc = vl.QuantumCircuit(5)
    assert qc.fredkin(control_qubit1=0, control_qubit2=1, target_qubit=2).name == ""
    assert type(qc.cswap(control_qubit=0, target_qubit1=1, target_qubit2=2)) is vl.CSWAPGate
    assert qc.mcp(**{"lambda": 0.5, "control_qubits": [0], "target_qubit": 1}).params == [0.5]
    assert qc.mcp(1, [0], 1).params == [1.0]
    assert qc.mcrz(0.5, np.array([0, 1]), np.uint64(2), use_basis_gates=True).params == [0.5]
    gate = qc.mcx([0, 1, 2, 3], 4, ancilla_qubits=[7, 8], mode="whatever")
    assert (type(gate), gate.num_qubits) == (vl.MCXGate, 5)
    gate = qc.mct(control_qubits=[0, 1], target_qubit=2, ancilla_qubits=[9], mode="x", label="m")
    assert gate.label == "m"
    assert qc.pauli(qubit_list=[0], pauli_operator="y").num_qubits == 5
    assert qc.ms(theta=1, qubit_list=range(3)).params == [1.0]


@pytest.mark.parametrize(
    "call",
    [
        lambda qc: qc.ccx(0, 0, 1),
        lambda qc: qc.ccx(0, 1, 5),
        lambda qc: qc.toffoli(4, 1, 4),
        lambda qc: qc.ccz(0, 1, 5),
        lambda qc: qc.cswap(1, 1, 2),
        lambda qc: qc.fredkin(0, 5, 2),
        lambda qc: qc.rccx(2, 1, 2),
        lambda qc: qc.pauli([0], "XY"),
        lambda qc: qc.pauli([0, 9], "XZ"),
        lambda qc: qc.pauli([0, -1], "IZ"),
        lambda qc: qc.pauli([0, 5], "IZ"),
        lambda qc: qc.mcp(0.5, [], 0),
        lambda qc: qc.mcp(0.5, [-1], 0),
        lambda qc: qc.mcrx(0.5, [0, 1], 1),
        lambda qc: qc.mcry(0.5, [0], 5),
        lambda qc: qc.mcrz(0.5, [0, 5], 1),
        lambda qc: qc.mcx([1, 2], 2),
        lambda qc: qc.mct([], 2),
        lambda qc: qc.gms(0.5, [0, 1, 0]),
        lambda qc: qc.ms(0.5, [-1, 0]),
        lambda qc: qc.gms(0.5, [0, 5]),
        lambda qc: qc.gms(0.5, []),
        lambda qc: qc.rcccx(0, 1, 2, 2),
        lambda qc: qc.rc3x(0, 1, 2, 5),
        lambda qc: qc.c3sqrtx(0, 0, 1, 2),
        lambda qc: qc.c3x(0, 1, 2, 2),
        lambda qc: qc.c4x(0, 1, 2, 3, 3),
        lambda qc: qc.c4x(0, 1, 2, 3, 5),
    ],
)
def test_invalid_qubits(call):
    qc = vl.QuantumCircuit(5)
    with pytest.raises(RuntimeError) as info:
        call(qc)
    assert str(info.value) == INVALID
    assert qc.measure_active().num_qubits == 0  # nothing was marked as used


def test_unknown_pauli_letter_names_the_whole_text():
    qc = vl.QuantumCircuit(2)
    with pytest.raises(RuntimeError) as info:
        qc.pauli([0, 1], "XQ")
    assert str(info.value) == "Invalid Pauli operator: XQ"


def test_empty_pauli_string():
    gate = vl.QuantumCircuit(2).pauli([], "")
    assert type(gate) is vl.PAULIGate


@pytest.mark.parametrize("method", ["mcp", "mcrx", "mcry", "mcrz", "mcx", "mct"])
@pytest.mark.parametrize("controls", [31, 99])
def test_walks_that_cannot_be_built_are_refused(method, controls):
    qc = vl.QuantumCircuit(controls + 1)
    args = (list(range(controls)), controls)
    if method.startswith("mcp") or method.startswith("mcr"):
        args = (0.5,) + args
    with pytest.raises(RuntimeError) as info:
        getattr(qc, method)(*args)
    assert str(info.value) == MULTI
    assert qc.measure_active().num_qubits == 0


# ---- builds that must fit into memory ----

UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")

# A child that caps its address space 1 GiB above what it has mapped, makes
# one build, then shows that it still works: a 4-qubit mcp on |++++>.
CAPPED_BUILD = """
import resource, sys
import VelorinLib as vl
with open("/proc/self/statm") as statm:
    mapped = int(statm.read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (mapped + 2**30, resource.RLIM_INFINITY))
{setup}
before = (qc.qasm(), qc.size())
rss = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
try:
    built = {build}
    print("built", (built if isinstance(built, vl.QuantumCircuit) else qc).size())
except MemoryError as error:
    print("MemoryError", error)
    print((resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - rss) // 1024)
print((qc.qasm(), qc.size()) == before, qc.measure_active().num_qubits)
small = vl.QuantumCircuit(4)
small.h([0, 1, 2, 3])
small.mcp(0.7, [0, 1, 2], 3)
state = vl.BackendV2().run(small, mode="sync").result().get_statevector()
print(repr([complex(a) for a in state]))
"""

needs_plain_memory = pytest.mark.skipif(
    UNDER_ASAN or not sys.platform.startswith("linux"),
    reason="an address-space cap and the sanitizer's shadow memory exclude each other",
)

WIDE = "qc = vl.QuantumCircuit(100); qc.h(0)"
P_GATE = "qc = vl.QuantumCircuit(1); qc.p(0.3, 0)"
# Each controlled rx alone fits; the 64 of them together do not.
MANY_RX = "qc = vl.QuantumCircuit(1)\nfor i in range(64): qc.rx(0.1 * i, 0)"
PAIRS = "qc = vl.QuantumCircuit(2)\nfor i in range(100): qc.cx(0, 1); qc.rx(0.1, 1)"
# One top-level record holding 2^14 - 2 records.
NESTED = "qc = vl.QuantumCircuit(14); qc.mcp(0.2, list(range(13)), 13)"


def run_capped(setup, build):
    body = CAPPED_BUILD.format(setup=setup, build=build)
    done = subprocess.run(
        [sys.executable, "-c", body], capture_output=True, text=True, timeout=300
    )
    assert done.returncode == 0, done.stderr
    return done.stdout.splitlines()


def assert_mcp_on_plus_state(line):
    expected = np.full(16, 0.25, dtype=complex)
    expected[15] *= np.exp(0.7j)
    np.testing.assert_allclose(np.array(eval(line)), expected, atol=1e-12)


@needs_plain_memory
@pytest.mark.parametrize(
    "setup, build, touched",
    [
        (WIDE, "qc.mcp(0.3, list(range(22)), 22)", 1),
        (WIDE, "qc.mcrz(0.3, list(range(1, 23)), 0)", 1),
        (WIDE, "qc.mcx(list(range(1, 24)), 0)", 1),
        (P_GATE, "qc.control(22)", 1),
        (MANY_RX, "qc.control(16)", 1),
        (PAIRS, "qc.repeat(10**7)", 2),
        (NESTED, "qc.repeat(2000)", 14),
    ],
)
def test_builds_beyond_the_memory_are_refused_before_they_start(setup, build, touched):
    # Unchecked, each of these either takes gigabytes or dies at the cap
    # with a half-built circuit.
    lines = run_capped(setup, build)
    assert lines[0] == "MemoryError bad allocation", lines
    assert int(lines[1]) < 64  # MiB grown: nothing was built
    assert lines[2] == f"True {touched}"  # the circuit is as it was
    assert_mcp_on_plus_state(lines[3])


@needs_plain_memory
@pytest.mark.parametrize(
    "setup, build, size",
    [
        ("qc = vl.QuantumCircuit(18)", "qc.mcp(0.3, list(range(17)), 17)", 2**18 - 3),
        ("qc = vl.QuantumCircuit(18)", "qc.mcx(list(range(17)), 17)", 2**18 - 1),
        (P_GATE, "qc.control(17)", 2**18 - 3),
        (MANY_RX, "qc.control(11)", 64 * (2**12 - 3)),
        (PAIRS, "qc.repeat(2000)", 400_000),
    ],
)
def test_builds_of_some_hundred_megabytes_still_fit_under_the_cap(setup, build, size):
    with open("/proc/meminfo") as meminfo:
        free = next(int(l.split()[1]) * 1024 for l in meminfo if l.startswith("MemAvailable:"))
    if free < 2**31:
        pytest.skip("too little free memory for a build of this size")
    lines = run_capped(setup, build)
    assert lines[0] == f"built {size}", lines
    assert_mcp_on_plus_state(lines[2])


@pytest.mark.parametrize(
    "call",
    [
        lambda qc: qc.mcp(0.5, [1], -1),
        lambda qc: qc.mcp(0.5, [0.5], 1),
        lambda qc: qc.mcp(0.5, "01", 1),
        lambda qc: qc.mcp("a", [0], 1),
        lambda qc: qc.mcx(0, 1),
        lambda qc: qc.ccx(0, 1, 2.0),
        lambda qc: qc.c4x(0, 1, 2, 3),
        lambda qc: qc.rcccx(0, 1, 2, -3),
        lambda qc: qc.pauli([0], None),
        lambda qc: qc.gms(0.5, [0, 1.5]),
        lambda qc: qc.fredkin(control_qubit=0, target_qubit1=1, target_qubit2=2),
    ],
)
def test_arguments_that_do_not_convert(call):
    with pytest.raises(TypeError):
        call(vl.QuantumCircuit(5))


def test_gates_outlive_their_circuit():
    gate = vl.QuantumCircuit(6).mcx([0, 1, 2, 3, 4], 5)
    gc.collect()
    seen = (gate.name, gate.num_qubits, gate.params, gate.label)
    # A new circuit may take the freed records' memory: c_if must not reach it.
    qc = vl.QuantumCircuit(6, 6)
    qc.x([0, 1, 2, 3, 4])
    qc.mcx([0, 1, 2, 3, 4], 5)
    assert gate.c_if(0, 1) is None
    assert (gate.name, gate.num_qubits, gate.params, gate.label) == seen
    qc.measure(list(range(6)), list(range(6)))
    job = vl.BackendV2().run(qc, shots=4, mode="sync")
    assert job.result().get_counts() == {"111111": 4}


SIGNATURES = [
    ("ccx", "ccx(self: VelorinLib.QuantumCircuit, control_qubit1: int, control_qubit2: int, "
     "target_qubit: int, label: str = '') -> VelorinLib.CCXGate",
     "Implements the controlled-controlled-x gate"),
    ("fredkin", "fredkin(self: VelorinLib.QuantumCircuit, control_qubit1: int, control_qubit2: int, "
     "target_qubit: int, label: str = '') -> VelorinLib.CSWAPGate",
     "Implements the controlled-swap gate"),
    ("rccx", "rccx(self: VelorinLib.QuantumCircuit, control_qubit1: int, control_qubit2: int, "
     "target_qubit: int, label: str = '') -> VelorinLib.RCCXGate",
     "Implements the controlled-swap gate"),
    ("cswap", "cswap(self: VelorinLib.QuantumCircuit, control_qubit: int, target_qubit1: int, "
     "target_qubit2: int, label: str = '') -> VelorinLib.CSWAPGate",
     "Implements the controlled-swap gate"),
    ("pauli", "pauli(self: VelorinLib.QuantumCircuit, qubit_list: List[int], pauli_operator: str, "
     "label: str = '') -> VelorinLib.PAULIGate",
     "Performs Pauli operations (I-X-Y-Z) on a list of qubits"),
    ("mcp", "mcp(self: VelorinLib.QuantumCircuit, lambda: float, control_qubits: List[int], "
     "target_qubit: int, label: str = '') -> VelorinLib.MCPGate",
     "Implements the multicontrol phase gate"),
    ("mcrz", "mcrz(self: VelorinLib.QuantumCircuit, lambda: float, control_qubits: List[int], "
     "target_qubit: int, use_basis_gates: bool = False, label: str = '') -> VelorinLib.MCRZGate",
     "Implements the multicontrol Z rotation"),
    ("mct", "mct(self: VelorinLib.QuantumCircuit, control_qubits: List[int], target_qubit: int, "
     "ancilla_qubits: List[int] = [], mode: str = 'noancilla', label: str = '') "
     "-> VelorinLib.MCXGate",
     "Implements the multicontrol X gate"),
    ("gms", "gms(self: VelorinLib.QuantumCircuit, theta: float, qubit_list: List[int], "
     "label: str = '') -> VelorinLib.GMSGate",
     "Implements the MS or the Global M\u00f8lmer\u2013S\u00f8rensen gate"),
    ("rc3x", "rc3x(self: VelorinLib.QuantumCircuit, control_qubit1: int, control_qubit2: int, "
     "control_qubit3: int, target_qubit: int, label: str = '') -> VelorinLib.RCCCXGate",
     "Implements the triple controlled X rotation gate"),
    ("c3sqrtx", None, "Implements the triple controlled square root of X gate"),
    ("c3x", None, "Implements the three controlled X gate"),
    ("c4x", "c4x(self: VelorinLib.QuantumCircuit, control_qubit1: int, control_qubit2: int, "
     "control_qubit3: int, control_qubit4: int, target_qubit: int, label: str = '') "
     "-> VelorinLib.MCXGate",
     "Implments the four controlled X gate"),
]


@pytest.mark.parametrize("method,signature,doc", SIGNATURES)
def test_docstrings(method, signature, doc):
    text = getattr(vl.QuantumCircuit, method).__doc__
    if signature is not None:
        assert text == f"{signature}\n\n{doc}\n"
    else:
        assert text.endswith(f"\n\n{doc}\n")
