"""OpenQASM 2.0: reading programs into circuits, writing circuits as text."""
import os
from pathlib import Path

import numpy as np
import pytest

import VelorinLib as vl
from dense_reference import GATES, SWAP, DenseState, H, X, Y, Z, controlled, phase, rx, ry, rz, u

HERE = Path(__file__).parent / "qasm"
HEADER = 'OPENQASM 2.0;\ninclude "qelib1.inc";\n'
BACKEND = vl.BackendV2()
SX = 0.5 * np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]])


def loads(text, **kwargs):
    return vl.qasm2().loads(text, **kwargs)


def error_of(text):
    with pytest.raises(RuntimeError) as info:
        loads(text)
    return str(info.value)


def simulate(qc, shots=1):
    return np.array(BACKEND.run(qc, shots=shots, mode="sync").result().get_statevector())


def counts(qc, shots=20):
    return BACKEND.run(qc, shots=shots, mode="sync").result().get_counts()


def assert_same_state(actual, expected):
    assert abs(np.vdot(expected, actual)) ** 2 > 1 - 1e-8
    np.testing.assert_allclose(actual, expected, atol=1e-4)


def controlled_on_all(m, k):
    """m on the last of k qubits when the first k - 1 are all 1 (bit i = i-th qubit)."""
    out = np.eye(2**k, dtype=complex)
    on = (1 << (k - 1)) - 1
    rows = [on, on | (1 << (k - 1))]
    for a in range(2):
        for b in range(2):
            out[rows[a], rows[b]] = m[a, b]
    return out


# Programs as people write them --------------------------------------------------------


def test_qft_program_matches_dense_reference():
    qc = vl.qasm2().load(str(HERE / "qft4.qasm"))
    state = DenseState(4)
    state.apply(X, [0])
    state.apply(X, [2])
    for target in (3, 2, 1, 0):
        state.apply(H, [target])
        for k, control in enumerate(range(target - 1, -1, -1)):
            state.apply(controlled(phase(np.pi / 2 ** (k + 1))), [control, target])
    state.apply(SWAP, [0, 3])
    state.apply(SWAP, [1, 2])
    assert_same_state(simulate(qc), state.vector())
    # The transform of a basis state has equal magnitudes everywhere.
    np.testing.assert_allclose(np.abs(simulate(qc)), np.full(16, 0.25), atol=1e-6)


def test_adder_with_user_gates_adds():
    qc = vl.QuantumCircuit.from_qasm_file(str(HERE / "adder.qasm"))
    assert qc.num_qubits == 10
    result = counts(qc, shots=10)
    assert len(result) == 1
    (key,) = result
    assert key[-5:] == "10000"  # 1 + 15, the carry as the highest bit of ans


def test_grover_finds_the_marked_state():
    qc = vl.QuantumCircuit.from_qasm_file(str(HERE / "grover.qasm"))
    result = counts(qc, shots=16)
    assert {k[-2:]: v for k, v in result.items()} == {"11": 16}


@pytest.mark.parametrize("seed", range(4))
def test_teleportation_with_if_moves_the_state(seed):
    qc = vl.QuantumCircuit.from_qasm_file(str(HERE / "teleport.qasm"))
    psi = simulate(qc).reshape(2, 2, 2)  # axes: q2, q1, q0
    norms = [[np.linalg.norm(psi[:, m1, m0]) for m0 in range(2)] for m1 in range(2)]
    m1, m0 = np.unravel_index(np.argmax(norms), (2, 2))
    received = psi[:, m1, m0]
    expected = u(0.3, 0.2, 0.1)[:, 0]
    assert abs(np.vdot(expected, received)) == pytest.approx(1, abs=1e-6)


def test_user_gates_calling_user_gates():
    qc = vl.QuantumCircuit.from_qasm_file(str(HERE / "nested_gates.qasm"))
    state = DenseState(4)  # left[0], left[1], right[0], right[1]

    def pairs(theta, a, b, c, d):
        for x, y in ((a, b), (c, d)):
            state.apply(H, [x])
            state.apply(controlled(X), [x, y])
        state.apply(rz(-theta / 3), [b])
        state.apply(ry(theta / 2), [b])
        state.apply(rz(np.pi / 4), [c])
        state.apply(ry(theta), [c])

    pairs(0.7, 0, 1, 2, 3)
    pairs(-1.1, 3, 0, 2, 1)
    assert_same_state(simulate(qc), state.vector())
    # Each call is one composite, acting on the call's qubits.
    text = qc.qasm()
    assert "gate bell_" in text and "gate pairs_" in text
    assert text.count("pairs_") == 4  # a definition for each parameter value, two calls
    assert "pairs_" in text.split("// Instructions")[1]


def test_every_statement_of_the_standard_include():
    qc = vl.QuantumCircuit.from_qasm_file(str(HERE / "all_gates.qasm"))
    text = qc.qasm()
    body = text.split("// Instructions\n")[1]
    for word in ["h", "x", "y", "z", "s", "sdg", "t", "tdg", "sx", "sxdg", "id", "p", "rx", "ry",
                 "rz", "u0", "u1", "u2", "u", "ch", "csx", "cx", "cy", "cz", "ecr", "swap", "cp",
                 "crx", "cry", "crz", "cu1", "rxx", "rzz", "cu3", "cu", "ccx", "cswap", "rccx",
                 "c3sqrtx", "c3x", "rc3x", "c4x", "delay", "barrier", "reset", "measure"]:
        assert any(line.split("(")[0].split(" ")[0] == word for line in body.splitlines()), word
    assert "u(1.100000, 1.200000, 1.300000) q[3];" in body  # u3 records a u
    assert "cu(1.200000, 1.300000, 1.400000, 1.500000) q[0], q[4];" in body
    assert "delay(100.000000) q[0];" in body
    # The composites are library gates; only ecr, which qelib1.inc lacks, is defined.
    assert text.count("\ngate ") == 1 and "\ngate ecr q_a, q_b {\n" in text


ONE_QUBIT = [
    ("h", [], H), ("x", [], X), ("y", [], Y), ("z", [], Z), ("s", [], phase(np.pi / 2)),
    ("sdg", [], phase(-np.pi / 2)), ("t", [], phase(np.pi / 4)), ("tdg", [], phase(-np.pi / 4)),
    ("sx", [], SX), ("sxdg", [], SX.conj().T), ("id", [], np.eye(2)),
    ("p", [0.3], phase(0.3)), ("rx", [0.3], rx(0.3)), ("ry", [0.3], ry(0.3)),
    ("rz", [0.3], rz(0.3)), ("u0", [2], np.eye(2)), ("u1", [0.3], phase(0.3)),
    ("u2", [0.3, 0.4], u(np.pi / 2, 0.3, 0.4)), ("u", [0.3, 0.4, 0.5], u(0.3, 0.4, 0.5)),
    ("u3", [0.3, 0.4, 0.5], u(0.3, 0.4, 0.5)),
]
TWO_QUBIT = [
    ("ch", [], controlled(H)), ("csx", [], controlled(SX)), ("cx", [], controlled(X)),
    ("cy", [], controlled(Y)), ("cz", [], controlled(Z)), ("swap", [], SWAP),
    ("ecr", [], np.array([[0, 1, 0, 1j], [1, 0, -1j, 0], [0, 1j, 0, 1], [-1j, 0, 1, 0]]) / np.sqrt(2)),
    ("cp", [0.3], controlled(phase(0.3))), ("crx", [0.3], controlled(rx(0.3))),
    ("cry", [0.3], controlled(ry(0.3))), ("crz", [0.3], controlled(rz(0.3))),
    ("cu1", [0.3], controlled(phase(0.3))), ("rxx", [0.3], GATES["rxx"][2](0.3)),
    ("rzz", [0.3], GATES["rzz"][2](0.3)), ("cu3", [0.3, 0.4, 0.5], controlled(u(0.3, 0.4, 0.5))),
    ("cu", [0.3, 0.4, 0.5, 0.6], controlled(np.exp(0.6j) * u(0.3, 0.4, 0.5))),
]
MULTI = [
    ("ccx", X, 3), ("c3x", X, 4), ("c4x", X, 5), ("c3sqrtx", SX, 4),
]


def prepared_program(n, seed):
    """Program text and dense twin, both in the same random product state."""
    rng = np.random.default_rng(seed)
    lines, state = [], DenseState(n)
    for q in range(n):
        angles = [round(float(a), 6) for a in rng.uniform(-np.pi, np.pi, size=3)]
        lines.append("u(%r, %r, %r) q[%d];" % (*angles, q))
        state.apply(u(*angles), [q])
    return HEADER + "qreg q[%d];\n" % n + "\n".join(lines) + "\n", state


@pytest.mark.parametrize("name,params,matrix", ONE_QUBIT + TWO_QUBIT,
                         ids=[g[0] for g in ONE_QUBIT + TWO_QUBIT])
def test_builtin_gate_statement_matches_dense_reference(name, params, matrix):
    k = int(np.log2(matrix.shape[0]))
    qubits = [2, 0][:k]
    text, state = prepared_program(3, len(name))
    args = "(%s)" % ", ".join(map(repr, params)) if params else ""
    text += "%s%s %s;\n" % (name, args, ", ".join("q[%d]" % q for q in qubits))
    state.apply(matrix, qubits)
    assert_same_state(simulate(loads(text)), state.vector())


@pytest.mark.parametrize("name,matrix,k", MULTI, ids=[m[0] for m in MULTI])
def test_multi_qubit_statements_match_dense_reference(name, matrix, k):
    qubits = [int(q) for q in np.random.default_rng(k).permutation(k + 1)[:k]]
    text, state = prepared_program(k + 1, k)
    text += "%s %s;\n" % (name, ", ".join("q[%d]" % q for q in qubits))
    state.apply(controlled_on_all(matrix, k), qubits)
    assert_same_state(simulate(loads(text)), state.vector())


@pytest.mark.parametrize("name,k", [("rccx", 3), ("rc3x", 4)])
def test_relative_phase_statements_flip_the_target(name, k):
    text = HEADER + "qreg q[%d];\n" % k + "x q[%d];\n" * (k - 1) % tuple(range(k - 1))
    text += "%s %s;\n" % (name, ", ".join("q[%d]" % q for q in range(k)))
    probabilities = np.abs(simulate(loads(text))) ** 2
    assert probabilities[2**k - 1] == pytest.approx(1, abs=1e-6)


def test_cswap_statement_swaps_when_control_is_set():
    text, state = prepared_program(3, 9)
    text += "cswap q[1], q[2], q[0];\n"
    m = np.eye(8, dtype=complex)
    m[[3, 5]] = m[[5, 3]]
    state.apply(m, [1, 2, 0])
    assert_same_state(simulate(loads(text)), state.vector())


# Statements: broadcast, measure, reset, barrier, if ----------------------------------------


def instruction_lines(qc):
    return qc.qasm().split("// Instructions\n")[1].splitlines()


def test_whole_register_statements_broadcast_in_order():
    qc = loads(HEADER + "qreg q[3];\nqreg r[1];\nh q;\nbarrier q;\nreset r;\nx q[2], r[0];\n")
    assert instruction_lines(qc) == [
        "h q[0];", "h q[1];", "h q[2];",
        "barrier q[0];", "barrier q[1];", "barrier q[2];",
        "reset r[0];", "x q[2];", "x r[0];",
    ]


def test_measure_whole_register_goes_to_the_named_register():
    qc = loads(HEADER + "qreg q[2];\nqreg r[2];\ncreg a[2];\ncreg c[2];\nx q[1];\n"
               "measure q -> c;\n")
    assert instruction_lines(qc)[1:] == ["measure q[0] -> c[0];", "measure q[1] -> c[1];"]


def test_if_conditions_register_and_bit():
    qc = loads(HEADER + "qreg q[2];\ncreg c[2];\nif (c==1) x q[0];\nif (c[1]==1) h q[1];\n"
               "if (c == 0) measure q[0] -> c[1];\n")
    assert instruction_lines(qc) == [
        "if (c == 1) x q[0];",
        "if (c[1]  == 1) h q[1];",
        "if (c == 0) measure q[0] -> c[1];",
    ]


def test_if_runs_the_statement_only_when_the_condition_holds():
    text = HEADER + "qreg q[2];\ncreg c[2];\nx q[0];\nmeasure q[0] -> c[0];\n"
    text += "if (c==1) x q[1];\nif (c==2) x q[0];\nmeasure q -> c;\n"
    assert counts(loads(text), shots=5) == {"11": 5}


def test_a_conditioned_user_gate_carries_the_condition():
    qc = loads(HEADER + "qreg q[2];\ncreg c[2];\ngate flip a, b { x a; x b; }\n"
               "if (c==0) flip q[0], q[1];\nmeasure q -> c;\n")
    assert instruction_lines(qc)[0] == "if (c == 0) flip_1 q[0], q[1];"
    assert counts(qc, shots=3) == {"11": 3}


def test_statements_share_lines_with_declarations():
    qc = loads("OPENQASM 2.0; include \"qelib1.inc\"; qreg q[2]; h q[0]; creg c[1]; x q[1];\n"
               "qreg r[1]; // note\ny r[0];")
    assert instruction_lines(qc) == ["h q[0];", "x q[1];", "y r[0];"]


def test_crlf_line_ends_and_comments():
    qc = loads("OPENQASM 2.0;\r\ninclude \"qelib1.inc\";\r\nqreg q[1];\r\n"
               "gate g a\r\n{\r\n  h a; // inside\r\n}\r\nx q[0]; // after\r\ng q[0];\r\n")
    assert instruction_lines(qc) == ["x q[0];", "g_1 q[0];"]


def test_underscores_in_names():
    qc = loads("qreg q_0[2];\ncreg my_c[2];\ngate my_gate a_1, b_2 { cx a_1, b_2; }\n"
               "my_gate q_0[0], q_0[1];\nmeasure q_0 -> my_c;\n")
    assert "my_gate_1 q_0[0], q_0[1];" in instruction_lines(qc)


def test_gate_body_arguments_come_before_registers():
    qc = loads("qreg a[2];\nqreg b[1];\ngate g a { x a; }\ng b[0];\n")
    psi = simulate(qc)
    assert abs(psi[0b100]) == pytest.approx(1)  # b[0] is qubit 2


def test_gate_body_may_name_circuit_qubits():
    qc = loads("qreg q[3];\ngate g a { cx a, q[2]; }\nx q[1];\ng q[1];\n")
    assert abs(simulate(qc)[0b110]) == pytest.approx(1)


def test_calls_that_touch_no_qubit_record_nothing():
    qc = vl.qasm2().load(str(HERE / "edge_calls.qasm"))
    # The two calls differ in where the body's own qubit q[1] falls among the
    # operands, so each gets its own definition.
    assert instruction_lines(qc) == ["m_1 q[1], q[0];", "if (c[1]  == 1) m_2 q[0], q[1];"]
    again = loads(qc.qasm())
    assert instruction_lines(again) == ["m_1 q[1], q[0];", "if (c[1]  == 1) m_2 q[0], q[1];"]
    assert_same_state(simulate(again), simulate(qc))


def test_delay_records_whole_nanoseconds():
    qc = loads("qreg q[1];\ndelay(100.7) q[0];\n")
    assert instruction_lines(qc) == ["delay(100.000000) q[0];"]


def test_same_reader_loads_twice_from_empty():
    reader = vl.qasm2()
    text = HEADER + "qreg q[2];\ngate g a { x a; }\ng q[0];\n"
    first, second = reader.loads(text), reader.loads(text)
    assert instruction_lines(first) == instruction_lines(second) == ["g_1 q[0];"]
    third = reader.loads(HEADER + "qreg r[1];\nx r[0];\n")
    assert "qreg q" not in third.qasm()


def test_circuit_outlives_its_reader():
    reader = vl.qasm2()
    qc = reader.loads(HEADER + "qreg q[1];\nx q[0];\n")
    del reader
    assert abs(simulate(qc)[1]) == pytest.approx(1)


def test_missing_classical_bits_are_added():
    qc = loads("qreg q[2];\ncreg c[1];\n")
    assert (qc.num_qubits, qc.num_clbits) == (2, 2)


def test_more_classical_bits_than_qubits_still_calls_user_gates():
    qc = loads("qreg q[2];\ncreg c[3];\ngate g a { x a; }\ng q[1];\n")
    assert abs(simulate(qc)[2]) == pytest.approx(1)


# Expressions ---------------------------------------------------------------------------------


def phase_of(expression):
    """The angle a p gate gets from the expression, as e^{i angle}."""
    psi = simulate(loads("qreg q[1];\nh q[0];\np(%s) q[0];\n" % expression))
    return psi[1] / psi[0]


@pytest.mark.parametrize("expression,value", [
    ("pi/2", np.pi / 2), ("-pi/2", -np.pi / 2), ("3*pi/4", 3 * np.pi / 4),
    ("-3*pi/4", -3 * np.pi / 4), ("0.5", 0.5), ("1.0e-3", 1e-3), ("1.5E+2", 150),
    ("1+2", 3), ("1-2", -1), ("-1+2", 1), ("2-3*-1", 5), ("1+2+3", 6), ("(1+2)*3", 9),
    ("-(1+2)", -3), ("2*-3", -6), ("2^-1", 0.5), ("-2^2", -4), ("2^3^2", 64),
    ("8/2/2", 2), ("2-1-1", 0), ("sin(pi/2)", 1), ("sin(-pi/2)", -1), ("sqrt(4)", 2),
    ("cos(0)", 1), ("tan(pi/4)", 1), ("ln(exp(2))", 2), ("cbrt(27)", 3),
    ("asin(1)", np.pi / 2), ("acos(-1)", np.pi), ("atan(1)*4", np.pi), ("PI", np.pi),
    ("Pi/3", np.pi / 3), ("pi\n/2", np.pi / 2), ("sin(cos(0)-1)+2*(3-(1+1))", 2),
])
def test_expression_values(expression, value):
    np.testing.assert_allclose(phase_of(expression), np.exp(1j * value), atol=1e-9)


def test_expressions_use_gate_parameters():
    qc = loads("qreg q[1];\ngate g(theta, phi) a { h a; p(theta/2 + phi) a; }\ng(1, 0.25) q[0];\n")
    psi = simulate(qc)
    np.testing.assert_allclose(psi[1] / psi[0], np.exp(0.75j), atol=1e-9)


def test_nan_angles_are_accepted():
    qc = loads("qreg q[1];\nrx(sqrt(-1)) q[0];\n")
    with pytest.raises(RuntimeError, match="^Gate rx has the parameter nan, which OpenQASM cannot hold$"):
        qc.qasm()


@pytest.mark.parametrize("expression", [
    "2*-pi", "2*-(1)", "1/0", "1/(1-1)", "1/-0", "1/sqrt(-1)", "1e-3", "1 2", "1*/2", ",",
    "(1", "sin pi", "(1)(2)", "pi pi", "x",
])
def test_malformed_expressions(expression):
    message = error_of("qreg q[1];\nrx(%s) q[0];\n" % expression)
    assert message.startswith("Error Error in arithmatic expression in line 2 at ")


def test_deep_function_nesting_is_refused_not_crashed():
    text = (HERE / "deep_functions.qasm").read_text()
    assert error_of(text).startswith("Error Error in arithmatic expression in line 2")
    # A modest nesting is fine.
    np.testing.assert_allclose(phase_of("sin(" * 20 + "0" + ")" * 20), 1, atol=1e-12)


def test_deep_parentheses_are_read():
    qc = vl.qasm2().load(str(HERE / "deep_parentheses.qasm"))
    assert instruction_lines(qc) == ["rx(1.000000) q[0];"]


def test_numbers_are_read_whatever_the_locale():
    import locale
    for name in ("de_DE.UTF-8", "fr_FR.UTF-8", "C.UTF-8"):
        try:
            locale.setlocale(locale.LC_NUMERIC, name)
            break
        except locale.Error:
            continue
    try:
        qc = loads("qreg q[1];\nrx(0.25) q[0];\n")
        assert instruction_lines(qc) == ["rx(0.250000) q[0];"]
    finally:
        locale.setlocale(locale.LC_NUMERIC, "C")


# Malformed programs: exact messages and positions -------------------------------------------

ERRORS = [
    ("", "Error No error in line 1 at 1"),
    (HEADER + "qreg 5;\n", "Error Identifier expected in line 3 at 6"),
    ("qreg q[2];\nqreg q[3];\n", "Error Duplicate definition in line 2 at 6"),
    ("qreg q[2];\ngate q a { h a; }\n", "Error Duplicate definition in line 2 at 6"),
    ("gate g { }\nqreg q[1];\n", "Error Left paranthesis expected in line 1 at 7"),
    ("gate g a,,b { }\n", "Error Parameter expected in line 1 at 9"),
    ("gate g(x) q { }\n", "Error Parameter expected in line 1 at 7"),
    ("gate g(a b) q { }\n", "Error Right paranthesis expected in line 1 at 9"),
    ("qreg q[1];\ngate g a { h a;\n", "Error Premature end of file in line 3 at 2"),
    ("qreg q[1]\nh q[0];\n", "Error Semicolon expected in line 2 at 1"),
    ("qreg q 1];\n", "Error Left square bracket expected in line 1 at 7"),
    ("qreg q[2x];\n", "Error Right square bracket expected in line 1 at 8"),
    ("qreg q[99999999999];\n", "Error Non-negative number expected in line 1 at 7"),
    ("include qelib1.inc;\n", "Error Quotation mark expected in line 1 at 14"),
    ('include "1.inc";\n', "Error Filename expected in line 1 at 10"),
    ('include "qelib1";\n', "Error Fullstop expected in line 1 at 16"),
    ('include "qelib1.";\n', "Error Filename extension expected in line 1 at 17"),
    ("qreg q[2];\nh q[0]\n", "Error Invalid parameter in line 3 at 2"),
    ("qreg q[2];\nrx(pi) q;\n", "Error Invalid parameter in line 2 at 9"),
    ("qreg q[2];\ncx q, q;\n", "Error Invalid parameter in line 2 at 5"),
    ("qreg q[2];\nrx() q[0];\n", "Error Invalid parameter in line 2 at 11"),
    ("qreg q[2];\nrx(pi, 1) q[0];\n", "Error Invalid parameter in line 2 at 16"),
    ("qreg q[2];\nh\nq[0];\n", "Error Invalid parameter in line 2 at 0"),
    ("qreg q[1];\r\nh q[0];\r\nfoo;\r\n", "Error Invalid parameter in line 3 at 4"),
    ("qreg q[2];\nrx(1/0) q[0];\n", "Error Error in arithmatic expression in line 2 at 7"),
    ("qreg q[2];\nrx(1 2) q[0];\n", "Error Error in arithmatic expression in line 2 at 7"),
    ("qreg q[1];\nrx(1.0e999) q[0];\n", "Error Error in arithmatic expression in line 2 at 11"),
    ("qreg q[2];\nh q[2];\n", "Error Number is out of range in line 2 at 6"),
    ("qreg q[1];\ndelay(1.0e10) q[0];\n", "Error Number is out of range in line 2 at 20"),
    ("qreg q[1];\ndelay(sqrt(-1)) q[0];\n", "Error Number is out of range in line 2 at 22"),
    ("qreg q[1];\ncreg c[1];\nmeasure q[1] -> c[0];\n", "Error Number is out of range in line 3 at 22"),
    ("qreg q[1];\ncreg c[1];\nmeasure q[0] -> c[1];\n", "Error Number is out of range in line 3 at 22"),
    ("qreg q[2];\ncreg c[1];\nmeasure q -> c;\n", "Error Number is out of range in line 3 at 16"),
    ("qreg q[1];\ncreg c[1];\nif (c[1]==1) x q[0];\n", "Error Number is out of range in line 3 at 9"),
    ("qreg q[2];\nfoo q[0];\n", "Error User defined gate not found in line 2 at 10"),
    ("qreg q[1];\ng q[0];\ngate g a { h a; }\n", "Error User defined gate not found in line 2 at 8"),
    ("qreg q[1];\nopaque o a;\no q[0];\n", "Error User defined gate not found in line 3 at 8"),
    ("qreg q[1];\ngate g a { h a; g a; }\n", "Error User defined gate not found in line 2 at 18"),
    ("qreg q[1];\ngate r(theta) a { rz(theta) a; }\nr q[0];\n",
     "Error Parameter list is not matching in line 3 at 8"),
    ("qreg q[1];\ngate r(theta) a { rz(theta) a; }\nr(1, 2) q[0];\n",
     "Error Parameter list is not matching in line 3 at 14"),
    ("qreg q[2];\nmeasure r[0] -> c[0];\n", "Error Invalid Register Name in line 2 at 10"),
    ("qreg q[1];\nmeasure q[0] -> c[0];\n", "Error Invalid Register Name in line 2 at 18"),
    ("qreg q[1];\ncreg c[1];\nmeasure q[0] > c[0];\n", "Error Invalid operator in line 3 at 15"),
    ("qreg q[1];\ncreg c[1];\nmeasure q[0] -> ;\n", "Error Classical register expected in line 3 at 18"),
    ("qreg q[1];\ncreg c[1];\nmeasure q 0;\n", "Error Left square bracket expected in line 3 at 12"),
    ("qreg q[1];\ncreg c[1];\nif (c=1) x q[0];\n", "Error Check for equality expected in line 3 at 8"),
    ("qreg q[1];\ncreg c[1];\nif (q==1) x q[0];\n", "Error Classical register expected in line 3 at 6"),
    ("qreg q[1];\ncreg c[1];\nif (c) x q[0];\n", "Error Left square bracket expected in line 3 at 7"),
    ("qreg q[1];\ncreg c[1];\nif c==1 x q[0];\n", "Error Left paranthesis expected in line 3 at 5"),
    ("qreg q[1];\ncreg c[1];\nif (c==1 x q[0];\n", "Error Right paranthesis expected in line 3 at 11"),
    ("qreg q[1];\ngate g a { qreg a; }\n", "Error Invalid instruction passed in line 2 at 16"),
    ("qreg q[1];\ngate g a { h b; }\n", "Error Identifier expected in line 2 at 15"),
    ("qreg q[1];\ngate g a { h a }\ng q[0];\n", "Error Semicolon expected in line 2 at 17"),
    ("qreg q[1];\nh q[0];\nx", "Error Premature end of file in line 3 at 3"),
]


@pytest.mark.parametrize("text,message", ERRORS, ids=[m for _, m in ERRORS])
def test_malformed_program_messages(text, message):
    assert error_of(text) == message


def test_error_inside_a_gate_call_reports_the_call():
    text = "qreg q[1];\ngate r(theta) a { rz(theta/bad) a; }\nh q[0];\nr(1) q[0];\n"
    assert error_of(text) == "Error Invalid parameter in line 4 at 11"
    text = "qreg q[1];\ngate g a, b { cx a, b; }\n\ng q[0];\n"
    assert error_of(text) == "Error Number is out of range in line 4 at 8"


@pytest.mark.parametrize("text,message", [
    (HEADER, "Atleast one quantum register must be defined.\n"),
    ("creg c[2];\n", "Atleast one quantum register must be defined.\n"),
    ("qreg q[0];\n", "Atleast one qubit must be defined.\n"),
])
def test_programs_without_qubits(text, message):
    assert error_of(text) == message


@pytest.mark.parametrize("text", [
    "qreg q[101];\n",
    "qreg a[60];\nqreg b[60];\n",
    (HERE / "huge_registers.qasm").read_text(),
])
def test_more_than_a_hundred_qubits_is_a_value_error(text):
    with pytest.raises(ValueError, match="^Invalid number of qubits passed.$"):
        loads(text)


def test_strict_checks(tmp_path):
    no_include = "OPENQASM 2.0;\nqreg q[1];\n"
    no_version = 'include "qelib1.inc";\nqreg q[1];\n'
    with pytest.raises(RuntimeError, match='^Default include file "qelib1.inc" is not included.\n$'):
        loads(no_include, strict=True)
    assert loads(no_version, strict=True).num_qubits == 1
    path = tmp_path / "p.qasm"
    path.write_text(no_version)
    with pytest.raises(RuntimeError, match="^Not OpenQasm 2.0.\n$"):
        vl.qasm2().load(str(path), strict=True)
    path.write_text(no_include)
    with pytest.raises(RuntimeError, match="^Default include file"):
        vl.qasm2().load(str(path), "x", "y", True)
    assert vl.qasm2().load(str(path), include_path="anything").num_qubits == 1


@pytest.mark.parametrize("name", ["binary.qasm", "unterminated.qasm", "unterminated_string.qasm",
                                  "self_call.qasm", "exponential_gates.qasm", "huge_numbers.qasm"])
def test_hostile_programs_are_refused_with_a_message(name):
    with pytest.raises(RuntimeError, match=r"^Error .* in line \d+ at \d+$"):
        vl.qasm2().load(str(HERE / name))


def test_large_hostile_programs_end_quickly():
    many_registers = "".join("creg c%d[0];\n" % i for i in range(5000)) + "qreg q[1];\n"
    assert error_of(many_registers) == "Error Number is out of range in line 4097 at 14"
    long_number = "qreg q[" + "9" * 1000000 + "];\n"
    assert error_of(long_number) == "Error Non-negative number expected in line 1 at 7"
    many_gates = "qreg q[1];\n" + "".join("gate g%d a { x a; }\n" % i for i in range(5000))
    qc = loads(many_gates + "g4999 q[0];\n" * 5000)
    assert len(instruction_lines(qc)) == 5000


def test_exponential_expansion_is_bounded():
    message = str(pytest.raises(RuntimeError, vl.qasm2().load,
                                str(HERE / "exponential_gates.qasm")).value)
    assert message.startswith("Error Insufficient memory in line 42")


def test_long_identifiers_and_binary_bytes():
    name = "g" * 100000
    qc = loads("qreg %s[1];\nx %s[0];\n" % (name, name))
    assert instruction_lines(qc) == ["x %s[0];" % name]
    # A byte 0xFF is an ordinary character, not the end of the text.
    reader = vl.qasm2()
    path_text = b"qreg q[1];\nx q[0]; // \xff\nh q[0];\n"
    import tempfile
    with tempfile.NamedTemporaryFile(suffix=".qasm", delete=False) as f:
        f.write(path_text)
    try:
        assert instruction_lines(reader.load(f.name)) == ["x q[0];", "h q[0];"]
    finally:
        os.unlink(f.name)


def test_files_that_cannot_be_read(tmp_path):
    for path in [tmp_path / "missing.qasm", tmp_path, Path("/dev/null")]:
        with pytest.raises(RuntimeError, match=r"^Can't open the given file\.$"):
            vl.qasm2().load(str(path))
        with pytest.raises(RuntimeError, match=r"^Can't open the given file\.$"):
            vl.QuantumCircuit.from_qasm_file(str(path))


def test_a_failed_load_leaves_the_reader_usable(tmp_path):
    reader = vl.qasm2()
    with pytest.raises(RuntimeError):
        reader.loads("qreg q[1];\nfoo q[0];\n")
    path = tmp_path / "ok.qasm"
    path.write_text("qreg q[1];\nx q[0];\n")
    assert instruction_lines(reader.load(str(path))) == ["x q[0];"]


# Writing ---------------------------------------------------------------------------------------


def test_writer_header_registers_and_lines():
    q, a, c = vl.QuantumRegister(2, "q"), vl.AncillaRegister(1, "anc"), vl.ClassicalRegister(2, "c")
    qc = vl.QuantumCircuit(q, a, c)
    qc.h(0)
    qc.cx(0, 1)
    qc.rx(np.pi / 2, 1)
    qc.i(2)
    qc.measure(0, 0)
    qc.x(0).c_if(c, 1)
    qc.y(1).c_if(0, 1)
    text = qc.qasm()
    assert text.startswith('OPENQASM 2.0;\ninclude "qelib1.inc";\n\n// Register definitions\n'
                           "qreg q[2];\nqreg anc[1];\ncreg c[2];\n")
    assert text.endswith("\n// Instructions\nh q[0];\ncx q[0], q[1];\nrx(pi/2) q[1];\nid anc[0];\n"
                         "measure q[0] -> c[0];\nif (c == 1) x q[0];\nif (c[0]  == 1) y q[1];\n")
    assert "// Custom gate definitions" not in text


def test_same_named_composites_with_different_bodies_get_their_own_definitions():
    def block(circuit_builder):
        inner = vl.QuantumCircuit(2)
        circuit_builder(inner)
        return inner.to_gate(label="blk")

    qc = vl.QuantumCircuit(vl.QuantumRegister(3, "q"))
    if not hasattr(qc, "append") or not hasattr(qc, "to_gate"):
        pytest.skip("append and to_gate are not available")
    qc.append(block(lambda c: c.h(0)), [0, 1], [])
    qc.append(block(lambda c: c.x(1)), [1, 2], [])
    qc.append(block(lambda c: c.h(0)), [2, 0], [])
    text = qc.qasm()
    assert text.count("gate blk_") == 2
    assert_same_state(simulate(loads(text)), simulate(qc))


def test_written_composites_read_back():
    qc = vl.QuantumCircuit(vl.QuantumRegister(4, "q"))
    qc.h(0)
    qc.ccx(0, 1, 2)
    qc.mcrx(np.pi / 4, [0, 1], 3)
    qc.mcrx(0.5, [2, 1], 0)
    qc.mcrx(np.pi / 4, [1, 2], 3)
    text = qc.qasm()
    assert "ccx q[0], q[1], q[2];" in text  # a library gate: no definition
    # The library gate uses up the first suffix.
    assert "gate mcrx_2 (p0) q_a, q_b, q_d {" in text
    assert "gate mcrx_3 (p0) q_b, q_c, q_a {" in text
    assert text.count("gate mcrx_") == 2  # equal parameters share a definition
    assert "mcrx_2(pi/4) q[1], q[2], q[3];" in text
    again = loads(text)
    assert_same_state(simulate(again), simulate(qc))


def test_writer_writes_every_parameter_and_matches_within_tolerance():
    text = "qreg q[1];\ngate six(a, b, c, d, k, m) r { rz(a+b+c+d+k+m) r; }\n"
    text += "six(0.1, 0.2, 0.3, 0.4, 0.5, 0.6) q[0];\nsix(0.1, 0.2, 0.3, 0.4, 0.5, 0.6) q[0];\n"
    text += "six(0, 0, 0, 0, 0, 1) q[0];\n"
    written = loads(text).qasm()
    lines = written.split("// Instructions\n")[1].splitlines()
    assert lines == [
        "six_1(0.100000, 0.200000, 0.300000, 0.400000, 0.500000, 0.600000) q[0];",
        "six_1(0.100000, 0.200000, 0.300000, 0.400000, 0.500000, 0.600000) q[0];",
        "six_2(0, 0, 0, 0, 0, 1.000000) q[0];",
    ]
    assert "gate six_1 (p0, p1, p2, p3, p4, p5) q_a {\nrz(2.100000) q_a;\n}\n" in written


def test_qasm_prints_and_writes_files(tmp_path, capsys):
    qc = loads("qreg q[1];\nx q[0];\n")
    text = qc.qasm()
    assert qc.qasm(True) == ""
    assert capsys.readouterr().out == text + "\n"
    path = tmp_path / "out.qasm"
    assert qc.qasm(filename=str(path), encoding="utf-16") == text
    assert path.read_text() == text
    assert vl.QuantumCircuit.from_qasm_file(str(path)).qasm() == text
    with pytest.raises(RuntimeError, match="^Unable to open file for writing QASM$"):
        qc.qasm(filename=str(tmp_path / "no" / "such" / "dir.qasm"))


# Round trips -------------------------------------------------------------------------------------


def qft_program(n):
    lines = [HEADER, "qreg q[%d];\ncreg c[%d];\n" % (n, n), "h q;\n"]
    for target in range(n - 1, -1, -1):
        lines.append("h q[%d];\n" % target)
        for k, control in enumerate(range(target - 1, -1, -1)):
            lines.append("cp(pi/%d) q[%d], q[%d];\n" % (2 ** (k + 1), control, target))
    for i in range(n // 2):
        lines.append("swap q[%d], q[%d];\n" % (i, n - 1 - i))
    return "".join(lines)


def ghz_program(n):
    body = "h q[0];\n" + "".join("cx q[%d], q[%d];\n" % (i, i + 1) for i in range(n - 1))
    return HEADER + "qreg q[%d];\ncreg c[%d];\n" % (n, n) + body


def random_program(seed, n=5, depth=40):
    rng = np.random.default_rng(seed)
    names = sorted(set(GATES) - {"ryy"})
    lines, state = [], DenseState(n)
    for _ in range(depth):
        name = names[rng.integers(len(names))]
        arity, n_angles, make = GATES[name]
        qubits = [int(q) for q in rng.choice(n, size=arity, replace=False)]
        angles = [round(float(a), 6) for a in rng.uniform(-np.pi, np.pi, size=n_angles)]
        args = "(%s)" % ", ".join(map(repr, angles)) if angles else ""
        lines.append("%s%s %s;\n" % (name, args, ", ".join("q[%d]" % q for q in qubits)))
        state.apply(make(*angles), qubits)
    return HEADER + "qreg q[%d];\n" % n + "".join(lines), state.vector()


@pytest.mark.parametrize("program", [qft_program(3), qft_program(6), ghz_program(2), ghz_program(8),
                                     (HERE / "all_gates.qasm").read_text(),
                                     (HERE / "adder.qasm").read_text()],
                         ids=["qft3", "qft6", "ghz2", "ghz8", "all_gates", "adder"])
def test_load_write_load_gives_the_same_circuit(program):
    first = loads(program)
    second = loads(first.qasm())
    if "gate " not in program:
        assert second.qasm() == first.qasm()
    assert (second.num_qubits, second.num_clbits, second.size(), second.depth()) == (
        first.num_qubits, first.num_clbits, first.size(), first.depth())
    if "measure" not in program and "reset" not in program:
        assert_same_state(simulate(second), simulate(first))


@pytest.mark.parametrize("seed", range(6))
def test_random_programs_round_trip_and_match_reference(seed):
    program, expected = random_program(seed)
    first = loads(program)
    second = loads(first.qasm())
    assert second.qasm() == first.qasm()
    assert_same_state(simulate(first), expected)
    assert_same_state(simulate(second), expected)


def test_ghz_round_trip_measures_all_equal():
    program = ghz_program(5) + "measure q -> c;\n"
    second = loads(loads(program).qasm())
    result = counts(second, shots=40)
    assert set(result) <= {"00000", "11111"}


# Bindings ------------------------------------------------------------------------------------------


def test_binding_signatures_and_docstrings():
    with pytest.raises(TypeError):
        vl.qasm2(1)
    assert vl.qasm2.load.__doc__.splitlines()[-1] == "Loads a QASM2 file"
    assert vl.qasm2.loads.__doc__.splitlines()[-1] == "Loads QASM2 instructions form a character string"
    assert ("loads(self: VelorinLib.qasm2, qasm2string: str, include_path: str = '', "
            "include_input_directory: str = 'append', strict: bool = False) -> "
            "VelorinLib.QuantumCircuit") in vl.qasm2.loads.__doc__
    assert ("load(self: VelorinLib.qasm2, filename: str, include_path: str = '', "
            "include_input_directory: str = 'append', strict: bool = False)") in vl.qasm2.load.__doc__
    assert ("qasm(self: VelorinLib.QuantumCircuit, formatted: bool = False, filename: str = '', "
            "encoding: str = '') -> str") in vl.QuantumCircuit.qasm.__doc__
    assert vl.QuantumCircuit.qasm.__doc__.splitlines()[-1] == (
        "Obtains a QASM 2.0 equivalent code for the quantum circuit")
    assert vl.QuantumCircuit.from_qasm_str.__doc__.splitlines()[-1] == (
        "Import a QASM source code from text and create a quantum circuit")
    assert vl.QuantumCircuit.from_qasm_file.__doc__.splitlines()[-1] == (
        "Import a QASM source code from a file and create a quantum circuit")
    with pytest.raises(TypeError):
        vl.qasm2().loads(5)
    with pytest.raises(TypeError):
        vl.QuantumCircuit.from_qasm_str(text="qreg q[1];")


def test_module_order_puts_qasm2_between_provider_and_gate():
    names = list(vl.__dict__)
    assert names.index("qasm2") < names.index("Gate")
    if "VelorinProvider" in names:
        assert names.index("VelorinProvider") < names.index("qasm2")


def test_from_qasm_str_on_class_and_instance():
    qc = vl.QuantumCircuit.from_qasm_str("qreg q[2];\ncx q[0], q[1];\n")
    assert isinstance(qc, vl.QuantumCircuit)
    other = qc.from_qasm_str("qreg q[1];\nx q[0];\n")
    assert instruction_lines(other) == ["x q[0];"]
