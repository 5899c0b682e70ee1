import math
import os

import pytest

pi = math.pi


def circuit(vl, qubits, clbits, qname="q", cname="c"):
    return vl.QuantumCircuit(vl.QuantumRegister(qubits, qname), vl.ClassicalRegister(clbits, cname))


@pytest.fixture
def drawn(capsys):
    """Draws a circuit and returns the printed rows."""

    def draw(qc, **kwargs):
        capsys.readouterr()
        assert qc.draw(**kwargs) is None
        out = capsys.readouterr().out
        assert out.endswith("\n")
        return out[:-1].split("\n")

    return draw


BELL = [
    "       ┌───┐     ┌───┐      ",
    "q[0]: ■┤ H ├──■──┤ M ├───── ",
    "       └───┘┌─┴─┐└─╥─┘┌───┐ ",
    "q[1]: ■─────┤ X ├──║──┤ M ├ ",
    "            └───┘  ║  └─╥─┘ ",
    "c: 2/ ■════════════╩════╩══ ",
    "                   0    1   ",
]

FOLDED = [
    "       ┌───┐     ┌───┐»",
    "q[0]: ■┤ H ├──■──┤ T ├»",
    "       ├───┤┌─┴─┐└───┘»",
    "q[1]: ■┤ X ├┤ X ├─────»",
    "       └───┘└───┘     »",
    "c: 2/ ■═══════════════»",
    "                      »",
    "«       ┌───┐      ",
    "«q[0]: ■┤ M ├───── ",
    "«       └─╥─┘┌───┐ ",
    "«q[1]: ■──║──┤ M ├ ",
    "«         ║  └─╥─┘ ",
    "«c: 2/ ■══╩════╩══ ",
    "«         0    1   ",
]

CONDITIONS = [
    "       ┌──────────┐        ┌─────┐                   ╎             ",
    "q[0]: ■┤ RX(pi/2) ├────────┤ |0> ├───────────────────╎──────────── ",
    "       └──────────┘┌───┐   └─────┘┌────────────────┐ ╎ ┌───┐       ",
    "q[1]: ■────────────┤ X ├──────────┤ delay[100] ns  ├─╎─┤ M ├────── ",
    "                   └─┬─┘          └────────────────┘ ╎ └─╥─┘1      ",
    "c: 2/ ■══════════════╧═══════════════════════════════════╩════════ ",
    "                     c == 1                              c[0] == 1 ",
]

MULTI_QUBIT = [
    "       ┌───┐                           ┌─────────┐ ",
    "q[0]: ■┤ X ├──■───╳──■──────────╳───■──┤0        ├ ",
    "       └─┬─┘┌─┴─┐ │  │ZZ(pi/2)  │   │  │         │ ",
    "q[1]: ■──│──┤ X ├─│──■──────────■───■──┤  Iswap  ├ ",
    "         │  └─┬─┘ │             │ ┌─┴─┐│         │ ",
    "q[2]: ■──■────■───╳─────────────╳─┤ X ├┤1        ├ ",
    "                                  └───┘└─────────┘ ",
    "c: 3/ ■═══════════════════════════════════════════ ",
    "                                                   ",
]


def bell(vl):
    qc = circuit(vl, 2, 2)
    qc.h(0)
    qc.cx(0, 1)
    qc.measure(0, 0)
    qc.measure(1, 1)
    return qc


def folding(vl):
    qc = circuit(vl, 2, 2)
    qc.h(0)
    qc.x(1)
    qc.cx(0, 1)
    qc.t(0)
    qc.measure(0, 0)
    qc.measure(1, 1)
    return qc


def conditions(vl):
    c = vl.ClassicalRegister(2, "c")
    qc = vl.QuantumCircuit(vl.QuantumRegister(2, "q"), c)
    qc.rx(pi / 2, 0)
    qc.x(1).c_if(c, 1)
    qc.reset(0)
    qc.delay(100, 1, "ns")
    qc.barrier([0, 1])
    qc.measure(1, 1).c_if(0, 1)
    return qc


def multi_qubit(vl):
    qc = circuit(vl, 3, 3)
    qc.cx(2, 0)
    qc.ccx(0, 2, 1)
    qc.swap(0, 2)
    qc.rzz(pi / 2, 0, 1)
    qc.cswap(1, 0, 2)
    qc.mcx([0, 1], 2)
    qc.iswap(0, 2)
    return qc


@pytest.mark.parametrize(
    "build,kwargs,rows",
    [
        (bell, {}, BELL),
        (folding, {"fold": 30}, FOLDED),
        (conditions, {}, CONDITIONS),
        (multi_qubit, {}, MULTI_QUBIT),
    ],
    ids=["bell", "fold", "conditions", "multi-qubit"],
)
def test_worked_drawings(vl, drawn, build, kwargs, rows):
    assert drawn(build(vl), **kwargs) == rows


def test_hidden_barriers_take_no_columns(vl, drawn):
    # The barrier columns 52 to 54 disappear; everything after moves left.
    assert drawn(conditions(vl), plot_barriers=False) == [r[:52] + r[55:] for r in CONDITIONS]


def test_unused_arguments_change_nothing(vl, drawn):
    qc = conditions(vl)
    assert drawn(qc, output="mpl", scale=3.0, style={"a": 1}, interactive=True,
                 reverse_bits=True, justify="right", vertical_compression="high",
                 idle_wires=False, with_layout=False, initial_state=True, cregbundle=False,
                 wire_order=(1, 0)) == CONDITIONS


@pytest.mark.parametrize(
    "kwargs",
    [{"style": None}, {"fold": 2**31}, {"fold": 1.5}, {"wire_order": "01"}, {"filename": None}],
)
def test_arguments_are_converted_as_typed(vl, capsys, kwargs):
    with pytest.raises(TypeError):
        bell(vl).draw(**kwargs)
    assert capsys.readouterr().out == ""


def test_signature_and_docstring(vl):
    doc = vl.QuantumCircuit.draw.__doc__
    assert doc.splitlines()[0] == (
        "draw(self: VelorinLib.QuantumCircuit, output: str = 'text', scale: float = 1.0, "
        "filename: str = '', style: dict = {}, interactive: bool = False, "
        "plot_barriers: bool = True, reverse_bits: bool = False, justify: str = 'left', "
        "vertical_compression: str = 'medium', idle_wires: bool = True, "
        "with_layout: bool = True, fold: int = 80, initial_state: bool = False, "
        "cregbundle: bool = True, wire_order: List[int] = []) -> None"
    )
    assert "Draws the quantum circuit" in doc


# Each gate kind and the box it draws on its (target) wire row, after the labels.
ONE_QUBIT = [
    ("h", (), "┤ H ├"),
    ("x", (), "┤ X ├"),
    ("y", (), "┤ Y ├"),
    ("z", (), "┤ Z ├"),
    ("s", (), "┤ S ├"),
    ("t", (), "┤ T ├"),
    ("i", (), "┤ I ├"),
    ("id", (), "┤ I ├"),
    ("tdg", (), "┤ Tdg ├"),
    ("sdg", (), "┤ Sdg ├"),
    ("sx", (), "┤ Sx ├"),
    ("sxdg", (), "┤ Sxdg ├"),
    ("reset", (), "┤ |0> ├"),
    ("p", (pi / 2,), "┤ P(pi/2)  ├"),
    ("rx", (pi / 2,), "┤ RX(pi/2) ├"),
    ("ry", (pi,), "┤ RY(pi) ├"),
    ("rz", (-pi / 4,), "┤ RZ(-pi/4)  ├"),
    ("u", (pi, pi / 2, 0), "┤ U(pi, pi/2, 0) ├"),
    ("r", (pi, 0), "┤ R(pi, 0) ├"),
    ("rv", (0.5, 0, 0), "┤ Rv(0.500000, 0, 0) ├"),
    ("u0", (2,), "┤ U0(2.000000) ├"),
    ("u1", (pi,), "┤ U1(pi) ├"),
    ("u2", (0, pi), "┤ U2(0, pi)  ├"),
]

# Boxes of controlled gates are odd in width, so the link meets their middle.
CONTROLLED = [
    ("cx", (), "┤ X ├"),
    ("cnot", (), "┤ X ├"),
    ("cy", (), "┤ Y ├"),
    ("cz", (), "┤ Z ├"),
    ("ch", (), "┤ H ├"),
    ("cp", (pi,), "┤ P(pi) ├"),
    ("crx", (pi / 2,), "┤ RX(pi/2)  ├"),
    ("cry", (pi / 3,), "┤ RY(pi/3)  ├"),
    ("crz", (pi / 4,), "┤ RZ(pi/4)  ├"),
    ("cs", (), "┤ S ├"),
    ("csdg", (), "┤ Sdg ├"),
    ("csx", (), "┤ Sx  ├"),
    ("cu", (pi, 0, 0, 0), "┤ U(pi, 0, 0, 0)  ├"),
    ("cu1", (pi,), "┤ U1(pi)  ├"),
    ("cu3", (pi, 0, 0), "┤ U3(pi, 0, 0)  ├"),
]

# Two-qubit boxes show their text on the gap row between the operands.
TWO_QUBIT_BOXES = [
    ("dcx", (), "│  Dcx  │"),
    ("ecr", (), "│  Ecr  │"),
    ("iswap", (), "│  Iswap  │"),
    ("rxx", (pi / 2,), "│  RXX(pi/2)  │"),
    ("ryy", (pi / 2,), "│  RYY(pi/2)  │"),
    ("rzx", (pi / 2,), "│  RZX(pi/2)  │"),
    ("rzz", (pi / 2,), " │ZZ(pi/2)"),
    ("swap", (), " │"),
]


@pytest.mark.parametrize("method,angles,box", ONE_QUBIT, ids=[m for m, _, _ in ONE_QUBIT])
def test_one_qubit_labels(vl, drawn, method, angles, box):
    qc = circuit(vl, 1, 1)
    getattr(qc, method)(*angles, 0)
    rows = drawn(qc)
    assert rows[1] == "q[0]: ■" + box + " "
    width = len(box)
    assert rows[0] == " " * 7 + "┌" + "─" * (width - 2) + "┐ "
    assert rows[3] == "c: 1/ ■" + "═" * width + " "


@pytest.mark.parametrize("method,angles,box", CONTROLLED, ids=[m for m, _, _ in CONTROLLED])
def test_controlled_labels(vl, drawn, method, angles, box):
    qc = circuit(vl, 2, 2)
    getattr(qc, method)(*angles, 0, 1)
    rows = drawn(qc)
    width = len(box)
    middle = width // 2
    assert width % 2 == 1
    assert rows[3] == "q[1]: ■" + box + " "
    assert rows[1] == "q[0]: ■" + "─" * middle + "■" + "─" * middle + " "
    assert rows[2] == " " * 7 + "┌" + "─" * (middle - 1) + "┴" + "─" * (middle - 1) + "┐ "


@pytest.mark.parametrize("method,angles,text", TWO_QUBIT_BOXES,
                         ids=[m for m, _, _ in TWO_QUBIT_BOXES])
def test_two_qubit_labels(vl, drawn, method, angles, text):
    qc = circuit(vl, 2, 2)
    getattr(qc, method)(*angles, 0, 1)
    assert drawn(qc)[2][7:].rstrip() == text


def test_measure_and_delay_labels(vl, drawn):
    qc = circuit(vl, 1, 1)
    qc.measure(0, 0)
    qc.delay(3, 0, "s")  # beyond 32 bits of nanoseconds
    qc.delay(100, 0, "ns")
    rows = drawn(qc)
    assert rows[1] == "q[0]: ■┤ M ├┤ delay[3000000000] ns ├┤ delay[100] ns  ├ "
    width = 5 + 24 + 18
    assert rows[3] == "c: 1/ ■══╩" + "═" * (width - 3) + " "
    assert rows[4] == " " * 9 + "0" + " " * (width - 2)


@pytest.mark.parametrize(
    "first,second,rows",
    [
        ("h", "h", ["┌───┐┌───┐", "┤ H ├┤ H ├", "└───┘└───┘"]),
        # The narrower box's wire runs on to the group's end and one column beyond.
        ("h", "tdg", ["┌───┐", "┤ H ├───", "├───┴─┐", "┤ Tdg ├", "└─────┘"]),
        ("tdg", "h", ["┌─────┐", "┤ Tdg ├", "├───┬─┘", "┤ H ├───", "└───┘"]),
    ],
)
def test_gate_groups_join_borders(vl, drawn, first, second, rows):
    qc = circuit(vl, 2, 2)
    getattr(qc, first)(0)
    getattr(qc, second)(0 if first == second else 1)
    drawing = [r[7:].rstrip(" ") for r in drawn(qc)]
    assert drawing[: len(rows)] == rows


def test_barrier_closes_a_group_even_when_hidden(vl, drawn):
    qc = circuit(vl, 2, 2)
    qc.h(0)
    qc.barrier([0, 1])
    qc.h(1)
    rows = drawn(qc, plot_barriers=False)
    assert rows[1] == "q[0]: ■┤ H ├───── "
    assert rows[3] == "q[1]: ■─────┤ H ├ "


TOFFOLIS = {
    "controls above": ((0, 1, 2), ["     ", "──■──", "  │  ", "──■──", "┌─┴─┐", "┤ X ├", "└───┘"]),
    "controls below": ((1, 2, 0), ["┌───┐", "┤ X ├", "└─┬─┘", "──■──", "  │  ", "──■──", "     "]),
    "target between": ((0, 2, 1), ["     ", "──■──", "┌─┴─┐", "┤ X ├", "└─┬─┘", "──■──", "     "]),
}


@pytest.mark.parametrize("qubits,rows", TOFFOLIS.values(), ids=TOFFOLIS.keys())
def test_toffoli_shows_one_box_and_two_marks(vl, drawn, qubits, rows):
    qc = circuit(vl, 3, 3)
    qc.ccx(*qubits)
    assert [r[7:12] for r in drawn(qc)[:7]] == rows


def test_multi_controlled_with_controls_on_both_sides(vl, drawn):
    qc = circuit(vl, 4, 4)
    qc.mcx([1, 2, 3], 0)  # every control below: nearest first
    qc.mcp(pi, [0, 3], 1)
    qc.ccz(0, 3, 1)
    rows = [r[7:] for r in drawn(qc)]
    assert rows[:9] == [
        "┌───┐             ",
        "┤ X ├────■─────■─ ",
        "└─┬─┘┌───┴───┐ │  ",
        "──■──┤ P(pi) ├─■─ ",
        "  │  └───┬───┘ │  ",
        "──■──────│─────│─ ",
        "  │      │     │  ",
        "──■──────■─────■─ ",
        "                  ",
    ]


def test_condition_texts_and_links(vl, drawn):
    a, b = vl.ClassicalRegister(2, "a"), vl.ClassicalRegister(2, "b")
    qc = vl.QuantumCircuit(vl.QuantumRegister(4, "q"), a, b)
    qc.ccx(0, 3, 1).c_if(3, 1)  # bit 3 is b[1]; the link crosses q[2]
    qc.cx(3, 1).c_if(a, 2**64 - 1)  # shown as an unsigned number
    qc.swap(0, 2).c_if(b, 2)
    qc.measure(2, 3)  # the global index of b[1]
    qc.measure(3, 0).c_if(1, 1)  # index beside the box, condition below the wire
    assert drawn(qc) == [
        "                                                                      ",
        "q[0]: ■──■────────────────────────────────────╳────────────────────── ",
        "       ┌─┴─┐      ┌───┐                       │                       ",
        "q[1]: ■┤ X ├──────┤ X ├───────────────────────│────────────────────── ",
        "       └─┬─┘      └─┬─┘                       │      ┌───┐            ",
        "q[2]: ■──│──────────│─────────────────────────╳──────┤ M ├─────────── ",
        "         │          │                         │      └─╥─┘┌───┐       ",
        "q[3]: ■──■──────────■─────────────────────────│────────║──┤ M ├────── ",
        "         │          │                         │        ║  └─╥─┘0      ",
        "a: 4/ ■══╧══════════╧═════════════════════════╧════════╩════╩════════ ",
        "         b[1] == 1  a == 18446744073709551615 b == 2   3    a[1] == 1 ",
    ]


def test_condition_on_a_bit_outside_every_register(vl, capsys):
    qc = circuit(vl, 2, 2)
    qc.x(0).c_if(7, 1)
    with pytest.raises(RuntimeError, match="^Invalid Classical Bit Index: 7$"):
        qc.draw()
    assert capsys.readouterr().out == ""


def test_condition_wider_than_box_extends_the_wire(vl, drawn):
    reg = vl.ClassicalRegister(1, "register")
    qc = vl.QuantumCircuit(vl.QuantumRegister(1, "q"), reg)
    qc.h(0).c_if(reg, 1)
    rows = drawn(qc)
    # The box is 5 wide, the text "register == 1" 13: the column is 2 + 13.
    assert rows[1] == "q[0]:        ■┤ H ├────────── "
    assert rows[2] == "              └─┬─┘           "
    assert rows[3] == "register: 1/ ■══╧════════════ "
    assert rows[4] == "                register == 1 "


def test_empty_circuit(vl, drawn):
    rows = drawn(circuit(vl, 2, 2))
    assert rows == [
        "        ",
        "q[0]: ■ ",
        "        ",
        "q[1]: ■ ",
        "        ",
        "c: 2/ ■ ",
        "        ",
    ]


def test_circuit_without_clbits_draws_no_classical_marks(vl, drawn):
    qc = vl.QuantumCircuit(3, 0)
    qc.h(0)
    qc.measure(1, 1)
    qc.x(2).c_if(0, 1)
    qc.cx(0, 2).c_if(1, 1)
    qc.ccx(0, 1, 2).c_if(1, 1)
    rows = drawn(qc)
    assert len(rows) == 2 * 3 + 1
    start = rows[1].index("■") + 1
    assert [r[start:] for r in rows] == [
        "┌───┐                     ",
        "┤ H ├────────────■────■── ",
        "└───┘┌───┐       │    │   ",
        "─────┤ M ├───────│────■── ",
        "     └───┘┌───┐┌─┴─┐┌─┴─┐ ",
        "──────────┤ X ├┤ X ├┤ X ├ ",
        "          └───┘└───┘└───┘ ",
    ]


@pytest.mark.parametrize("fold", [-1, -7, 0, 1, 9, 10])
def test_folds_that_never_fold(vl, drawn, fold):
    qc = circuit(vl, 2, 2)
    for _ in range(40):
        qc.cx(0, 1)
    rows = drawn(qc, fold=fold)
    assert len(rows) == 5 + 2
    assert len(rows[1]) == 7 + 40 * 5 + 1
    assert not any("»" in r or "«" in r for r in rows)


@pytest.mark.parametrize("fold", [11, 12, 16, 19, 25, 40, 80, 200])
def test_every_page_is_framed(vl, drawn, fold):
    qc = circuit(vl, 3, 3)
    for i in range(30):
        qc.h(i % 3)
        qc.cx(i % 3, (i + 1) % 3)
        qc.tdg((i + 2) % 3)
    qc.measure(0, 0)
    rows = drawn(qc, fold=fold)
    assert len(rows) % 9 == 0
    pages = [rows[i:i + 9] for i in range(0, len(rows), 9)]
    assert len(pages) > 1
    for number, page in enumerate(pages):
        assert len({len(r) for r in page}) == 1
        if number < len(pages) - 1:
            assert all(r.endswith("»") for r in page)
        if number > 0:
            assert all(r.startswith("«") for r in page)
            assert page[1].startswith("«q[0]: ■")
            assert page[7].startswith("«c: 3/ ■")
    assert pages[-1][8].rstrip().endswith("0")  # the last measurement lands on the last page


def test_idle_wires_draws_the_same(vl, drawn):
    assert drawn(multi_qubit(vl), idle_wires=False) == MULTI_QUBIT


def test_file_holds_the_rows_as_utf16le(vl, drawn, tmp_path):
    path = tmp_path / "bell.txt"
    path.write_bytes(b"old content that is longer than nothing")
    rows = drawn(folding(vl), fold=30, filename=str(path))
    assert rows == FOLDED
    data = path.read_bytes()
    assert data[:2] == b"\xff\xfe"
    assert data[2:] == "".join(r + "\r" for r in FOLDED).encode("utf-16-le")
    assert b"\n\x00" not in data


def test_file_with_text_beyond_the_basic_plane(vl, drawn, tmp_path):
    qc = vl.QuantumCircuit(vl.QuantumRegister(3, "é"), vl.ClassicalRegister(3, "c"))
    qc.ccx(0, 1, 2, label="g\U0001F600")
    path = tmp_path / "wide.txt"
    rows = drawn(qc, filename=str(path))
    assert rows[1] == "é[0]: ■┤0      ├ "
    assert rows[3] == "é[1]: ■┤1 g\U0001F600  ├ "
    assert path.read_bytes() == b"\xff\xfe" + "".join(r + "\r" for r in rows).encode("utf-16-le")


def test_file_holds_the_printed_rows_whatever_their_characters(vl, drawn, tmp_path):
    names = ["量", "e\u0301", "\U0001D465", "\U00010330", JOINED, "ｑ"]
    qc = vl.QuantumCircuit(*[vl.QuantumRegister(1, n) for n in names], vl.ClassicalRegister(6, "c"))
    qc.ccx(0, 1, 2, label=JOINED + "e\u0301")
    qc.measure(3, 3)
    qc.h(4).c_if(vl.ClassicalRegister(1, "\U0001D465"), 1)
    path = tmp_path / "drawing.txt"
    rows = drawn(qc, filename=str(path))
    assert path.read_bytes() == b"\xff\xfe" + "".join(r + "\r" for r in rows).encode("utf-16-le")
    assert rows[1].startswith("量[0]: ■")
    assert rows[3].startswith("e\u0301[0]:  ■")
    # Every row is one page wide, and every wire starts in the same column.
    assert len({display_width(r) for r in rows}) == 1, rows
    assert len({display_width(r[:r.index("■")]) for r in rows if "■" in r}) == 1, rows


def test_unopenable_file_prints_nothing(vl, capsys, tmp_path):
    qc = bell(vl)
    for bad in [tmp_path / "missing" / "x.txt", tmp_path]:
        with pytest.raises(RuntimeError) as info:
            qc.draw(filename=str(bad))
        assert str(info.value) == "Unable to open file for writing circuit"
        assert capsys.readouterr().out == ""
    assert not (tmp_path / "missing").exists()


def test_non_ascii_labels_and_names(vl, drawn):
    qc = vl.QuantumCircuit(vl.QuantumRegister(3, "qé"), vl.ClassicalRegister(3, "ç"))
    qc.ccx(0, 1, 2, label="tofé")
    qc.ccx(0, 1, 2, label="g\U0001F600")  # a surrogate pair in the grid
    rows = drawn(qc)
    assert rows[1].startswith("qé[0]: ■┤0")
    assert "tofé" in rows[3] and "g\U0001F600" in rows[3]
    assert rows[7].startswith("ç: 3/  ■")
    # Every row has as many UTF-16 units; the emoji takes two.
    assert len({len(r.encode("utf-16-le")) for r in rows}) == 1


def test_bytes_that_are_not_utf8_draw_as_replacement(vl, drawn):
    qc = vl.QuantumCircuit(vl.QuantumRegister(1, b"q\xff"), vl.ClassicalRegister(1, "c"))
    qc.h(0)
    assert drawn(qc)[1] == "q\ufffd[0]: ■┤ H ├ "


def test_registers_label_every_wire(vl, drawn):
    qa, qb = vl.QuantumRegister(2, "qa"), vl.QuantumRegister(1, "b")
    anc = vl.AncillaRegister(2, "anc")
    empty = vl.QuantumRegister(0, "none")
    cr = vl.ClassicalRegister(1, "cr")
    qc = vl.QuantumCircuit(qa, empty, anc, qb, cr)  # registers renumbered, classical bits added
    qc.h(3)
    qc.cx(4, 0)
    rows = drawn(qc)
    labels = [r[: r.index("■")] for r in rows[1::2]]
    # Ancilla wires come after every quantum register; five classical bits
    # (one given, four added to match the qubits) share one wire.
    assert labels == ["qa[0]:   ", "qa[1]:   ", "b[0]:    ", "anc[0]:  ", "anc[1]:  ",
                      "cr: 5/   "]
    assert rows[7][10:15] == "┤ H ├"
    # The same register objects serve a second circuit, numbered again.
    qc2 = vl.QuantumCircuit(qb, qa, vl.ClassicalRegister(3, "c2"))
    assert [r[: r.index("■")] for r in drawn(qc2)[1::2]] == [
        "b[0]:  ", "qa[0]: ", "qa[1]: ", "c2: 3/ "]


def test_ancilla_label_too_long_is_left_out(vl, drawn):
    # Labels are sized by the quantum and classical counts; an ancilla label
    # that does not fit leaves its label area blank.
    qc = vl.QuantumCircuit(vl.QuantumRegister(1, "q"), vl.AncillaRegister(12, "a"),
                           vl.ClassicalRegister(13, "c"))
    rows = drawn(qc)
    assert rows[1].startswith("q[0]:  ■")
    assert rows[21].startswith("a[9]:  ■")
    assert rows[23].startswith("a[10]: ■")
    assert rows[27].startswith("c: 13/ ■")


def test_composites_by_name(vl, drawn):
    qc = circuit(vl, 4, 4)
    qc.pauli([0, 2], "XZ")  # operand names label the operands
    qc.ccx(0, 1, 2, label="cCx")  # any case of ccx is a Toffoli
    qc.ccz(0, 1, 3)
    qc.cswap(3, 0, 1)
    qc.c3sqrtx(0, 1, 2, 3)
    qc.rc3x(0, 1, 2, 3)
    qc.mcrx(pi / 2, [0], 3)
    qc.mcx([0, 1, 2], 3, label="blk")  # any other name with controls: a box with marks
    assert drawn(qc) == [
        "       ┌─────────┐                                                      ",
        "q[0]: ■┤Z        ├──■───■──╳──────■─────────■──────────■──────────■──── ",
        "       │         │  │   │  │      │         │          │          │     ",
        "q[1]: ■┤  Pauli  ├──■───■──╳──────■─────────■──────────│──────────■──── ",
        "       │         │┌─┴─┐ │  │      │         │          │          │     ",
        "q[2]: ■┤X        ├┤ X ├─│──│──────■─────────■──────────│──────────■──── ",
        "       └─────────┘└───┘ │  │ ┌────┴────┐┌───┴───┐┌─────┴─────┐┌───┴───┐ ",
        "q[3]: ■─────────────────■──■─┤ C3sqrtx ├┤ Rc3x  ├┤ RX(pi/2)  ├┤0 blk  ├ ",
        "                             └─────────┘└───────┘└───────────┘└───────┘ ",
        "c: 4/ ■════════════════════════════════════════════════════════════════ ",
        "                                                                        ",
    ]


def test_user_named_composites_are_boxes(vl, drawn):
    qc = circuit(vl, 3, 3)
    qc.ccx(2, 0, 1, label="toffoli")  # a box whose operand labels give the order
    qc.gms(pi, [2, 0])
    rows = [r[7:] for r in drawn(qc)]
    assert rows[:7] == [
        "┌───────────┐┌───────────┐ ",
        "┤1          ├┤1          ├ ",
        "│           ││           │ ",
        "┤2 toffoli  ├┤  Gms(pi)  ├ ",
        "│           ││           │ ",
        "┤0          ├┤0          ├ ",
        "└───────────┘└───────────┘ ",
    ]


def test_hundred_qubits_thousands_of_gates(vl, drawn):
    import random

    rng = random.Random(7)
    qc = vl.QuantumCircuit(vl.QuantumRegister(100, "q"), vl.ClassicalRegister(100, "c"))
    one = ["h", "x", "t", "sdg", "sx", "reset"]
    for _ in range(3000):
        a, b, c = rng.sample(range(100), 3)
        roll = rng.random()
        if roll < 0.4:
            getattr(qc, rng.choice(one))(a)
        elif roll < 0.6:
            qc.cx(a, b)
        elif roll < 0.7:
            qc.ccx(a, b, c)
        elif roll < 0.8:
            qc.measure(a, b).c_if(c, 1)
        elif roll < 0.9:
            qc.rzz(0.25, a, b)
        else:
            qc.mcx([a, b], c)
    rows = drawn(qc)
    assert len(rows) % 203 == 0
    pages = len(rows) // 203
    assert pages > 100
    assert rows[199].startswith("q[99]:  ■")
    for page in range(pages):
        block = rows[page * 203:(page + 1) * 203]
        assert len({len(r) for r in block}) == 1
        assert len(block[0]) <= 80 + 4


def test_every_composite_with_a_condition(vl, drawn):
    c = vl.ClassicalRegister(5, "c")
    qc = vl.QuantumCircuit(vl.QuantumRegister(5, "q"), c)
    gates = [
        qc.c4x(4, 0, 3, 1, 2),  # built from nested composites
        qc.c3x(0, 1, 2, 4),
        qc.rcccx(3, 2, 1, 0),
        qc.mct([0, 4], 2),
        qc.ms(0.5, [1, 3]),
        qc.cswap(4, 1, 3),
        qc.ccz(4, 0, 2),
        qc.mcry(pi, [1, 2], 0),
        qc.mcrz(pi / 2, [4], 3),
        qc.pauli([1, 2, 4], "XYZ"),
        qc.rccx(2, 4, 0),
        qc.c3sqrtx(1, 2, 3, 0),
        qc.mcp(pi, [3, 1], 4),
    ]
    for value, gate in enumerate(gates):
        gate.c_if(c, value)
    rows = drawn(qc, fold=-1)
    assert len(rows) == 13 and len({len(r) for r in rows}) == 1
    texts = rows[12].split("  ")
    assert [t.strip() for t in texts if t.strip()] == [f"c == {v}" for v in range(len(gates))]
    # Each condition joins the classical wire right above its text, by a link.
    joins = [i for i, ch in enumerate(rows[11]) if ch == "╧"]
    assert len(joins) == len(gates)
    assert all(rows[12][i] == "c" and rows[10][i] in "│┬" for i in joins)


def test_nested_composites_from_circuits_and_gates(vl, drawn):
    inner = vl.QuantumCircuit(vl.QuantumRegister(2, "a"), vl.ClassicalRegister(2, "b"), name="inné")
    inner.x(0)
    inner.cx(0, 1)
    mid = vl.QuantumCircuit(vl.QuantumRegister(3, "m"), vl.ClassicalRegister(3, "n"), name="mid")
    mid.compose(inner, [2, 0], [1, 0])
    mid.rx(pi / 2, 1)
    gate = mid.to_gate(label="blké")
    qc = circuit(vl, 4, 4)
    qc.append(mid, [3, 0, 2, 1], [0, 1, 2, 3])
    qc.compose(gate, [1, 3, 0])  # wire 2 lies inside the box without being an operand
    qc.append(gate, [0, 1, 2], [])
    drawing = [
        "       ┌───────┐┌───────┐┌───────┐ ",
        "q[0]: ■┤1      ├┤2      ├┤0      ├ ",
        "       │       ││       ││       │ ",
        "q[1]: ■┤3      ├┤0      ├┤1 blké ├ ",
        "       │  mid  ││  blké ││       │ ",
        "q[2]: ■┤2      ├┤       ├┤2      ├ ",
        "       │       ││       │└───────┘ ",
        "q[3]: ■┤0      ├┤1      ├───────── ",
        "       └───────┘└───────┘          ",
        "c: 4/ ■═══════════════════════════ ",
        "                                   ",
    ]
    assert drawn(qc) == drawing
    assert drawn(qc.copy()) == drawing
    reversed_rows = drawn(qc.reverse_bits())
    assert reversed_rows[3] == "q[1]: ■┤2      ├┤       ├┤2      ├ "
    assert reversed_rows[4] == "       │  mid  ││  blké ││       │ "


def test_controlled_circuit_draws_its_controls_above_the_box(vl, drawn):
    inner = vl.QuantumCircuit(vl.QuantumRegister(2, "a"), vl.ClassicalRegister(2, "b"), name="sub")
    inner.x(0)
    inner.cx(0, 1)
    source = vl.QuantumCircuit(vl.QuantumRegister(3, "m"), vl.ClassicalRegister(3, "n"))
    source.compose(inner, [2, 0], [1, 0])
    rows = drawn(source.control(1))
    start = rows[1].index("■") + 1
    assert [r[start:] for r in rows][:9] == [
        "            ",
        "─────■───── ",
        "┌────┴────┐ ",
        "┤1        ├ ",
        "│         │ ",
        "┤  sub_1  ├ ",
        "│         │ ",
        "┤0        ├ ",
        "└─────────┘ ",
    ]


# Every gate shows; rows stay aligned ---------------------------------------------------------

def drawing_rows(qc, capsys):
    capsys.readouterr()
    qc.draw()
    return capsys.readouterr().out.splitlines()


def display_width(text):
    """Terminal columns: 2 for East Asian wide and full-width characters; none for marks,
    format characters, variation selectors and what a zero-width joiner joins; 1 otherwise."""
    import unicodedata
    width = 0
    joined = False
    for ch in text:
        if joined:
            joined = False
            continue
        joined = ch == "\u200d"
        if unicodedata.category(ch) in ("Mn", "Me", "Cf") or 0xFE00 <= ord(ch) <= 0xFE0F:
            continue
        width += 2 if unicodedata.east_asian_width(ch) in "WF" else 1
    return width


JOINED = "\U0001F469\u200d\U0001F52C"  # woman scientist: two code points joined


def test_display_width_reference():
    assert [display_width(t) for t in ["e\u0301", "\U0001D465", "\U00010330", JOINED, "量",
                                       "\uFF21", "\U0001F600", "\uAC00"]] == [1, 1, 1, 2, 2, 2, 2, 2]


@pytest.mark.parametrize("make_composite", [
    lambda vl, qc: qc.pauli([0], "X"),
    lambda vl, qc: qc.append((lambda one: (one.x(0), one.to_gate())[1])(vl.QuantumCircuit(1)), [0],
                             [0]),
    lambda vl, qc: qc.append(vl.QuantumCircuit.from_qasm_str(
        'OPENQASM 2.0;\ninclude "qelib1.inc";\ngate g a { x a; }\nqreg q[1];\ng q[0];\n').to_gate(),
        [0], [0]),
])
def test_a_one_qubit_composite_keeps_the_gates_beside_it(vl, make_composite, capsys):
    qc = vl.QuantumCircuit(2)
    qc.h(1)
    make_composite(vl, qc)
    rows = drawing_rows(qc, capsys)
    wire1 = next(r for r in rows if "[1]:" in r)
    assert "┤ H ├" in wire1


def test_a_conditioned_barrier_leaves_no_gap_in_other_wires(vl, capsys):
    qc = vl.QuantumCircuit(3)
    qc.h(0)
    qc.h(2)
    qc.barrier([1]).c_if(0, 1)
    qc.x(2)
    rows = drawing_rows(qc, capsys)
    wire0 = next(r for r in rows if "[0]:" in r)
    start = wire0.index("■") + 1
    # From the start of the wire to its end, nothing but gates and wire.
    assert "   " not in wire0[start:].rstrip()
    wire1 = next(r for r in rows if "[1]:" in r)
    assert "   " not in wire1[wire1.index("■") + 1:].rstrip()


@pytest.mark.parametrize("name", ["量子", "ｑｗ", "é", "q😀", "한글", "e\u0301", "\U0001D465",
                                  "\U00010330", JOINED, "a\u0301\u20DD", "x\uFE0F"])
def test_wide_characters_keep_rows_aligned(vl, name, capsys):
    qc = vl.QuantumCircuit(vl.QuantumRegister(2, name))
    qc.h(0)
    qc.x(1)
    rows = [r for r in drawing_rows(qc, capsys) if r.strip()]
    starts = {display_width(r[:r.index("■")]) for r in rows if "■" in r}
    assert len(starts) == 1, rows
    widths = {display_width(r.rstrip()) for r in rows if "┐" in r or "┘" in r}
    assert len(widths) == 1, rows


def test_without_standard_output_drawing_prints_nothing():
    import subprocess
    import sys
    script = ("import sys, VelorinLib as vl\nqc = vl.QuantumCircuit(1)\nqc.h(0)\n"
              "sys.stdout = None\nqc.draw()\nsys.stderr.write('done')\n")
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0 and out.stderr == "done" and out.stdout == ""
