import gc

import numpy as np
import pytest

import VelorinLib as vl

REGISTER_CLASSES = [
    (vl.QuantumRegister, "q", "quantum"),
    (vl.AncillaRegister, "a", "ancilla"),
    (vl.ClassicalRegister, "c", "classical"),
]


@pytest.mark.parametrize("cls,prefix,kind", REGISTER_CLASSES)
def test_members(cls, prefix, kind):
    unnamed, named = cls(4), cls(4, "reg")
    assert (unnamed.name(), unnamed.size(), len(unnamed)) == ("", 4, 4)
    assert named.name() == "reg"
    assert unnamed.prefix() == named.prefix() == prefix
    assert cls.size.__doc__.endswith(f"Returns the number of qubits defined in this {kind} register\n")
    assert cls.__len__.__doc__ == cls.size.__doc__.replace("size(", "__len__(")
    assert cls.name.__doc__.endswith(f"Returns the name of the {kind} register\n")
    assert cls.prefix.__doc__.endswith(f"Returns the prefix defined for the {kind} register's name\n")
    assert cls.__getitem__.__doc__.endswith("Get item at the specified index\n")


@pytest.mark.parametrize("cls,prefix,kind", REGISTER_CLASSES)
def test_consecutive_registers_take_consecutive_ranges(cls, prefix, kind):
    first, second = cls(2), cls(3)
    assert second[0] == first[0] + 2
    empty = cls(0)
    after = cls(1)
    assert len(empty) == 0 and not empty
    assert after[0] == empty[0] == second[0] + 3


@pytest.mark.parametrize("cls,prefix,kind", REGISTER_CLASSES)
def test_dropping_a_register_gives_its_size_back(cls, prefix, kind):
    gc.collect()  # registers of earlier tests must not be freed in between
    probe = cls(5)
    start = probe[0]
    del probe
    gc.collect()
    assert cls(1)[0] == start


@pytest.mark.parametrize("cls,prefix,kind", REGISTER_CLASSES)
def test_negative_size_moves_counter_back(cls, prefix, kind):
    before = cls(0)[0]
    neg = cls(-3)
    assert neg.size() == -3 and neg.__len__() == -3
    with pytest.raises(ValueError):
        len(neg)
    assert cls(0)[0] == before - 3
    assert [q for q in neg] == []  # list() itself asks len() first


def test_indexing_is_unchecked_and_iteration_stops_at_size():
    reg = vl.QuantumRegister(3)
    start = reg[0]
    assert reg[-1] == start - 1
    assert reg[100] == start + 100
    assert list(reg) == [start, start + 1, start + 2]
    assert [q for q in reg] == list(range(start, start + 3))
    assert (start + 2) in reg and (start + 3) not in reg


def wrap32(value):
    return (value + 2**31) % 2**32 - 2**31


@pytest.mark.parametrize("offset", [2**31 - 1, -(2**31), 12345])
def test_index_wraps_at_32_bits(offset):
    reg = vl.QuantumRegister(1)
    assert reg[offset] == wrap32(reg[0] + offset)


@pytest.mark.parametrize("bad", [2.0, "2", 2**31, None])
def test_bad_sizes_are_type_errors(bad):
    with pytest.raises(TypeError):
        vl.QuantumRegister(bad)


def test_size_conversions():
    assert vl.QuantumRegister(True).size() == 1
    assert vl.QuantumRegister(np.int64(3)).size() == 3
    with pytest.raises(TypeError):
        vl.QuantumRegister(size=3)
    with pytest.raises(TypeError):
        vl.QuantumRegister()


def test_register_classes_are_unrelated():
    assert not isinstance(vl.AncillaRegister(1), vl.QuantumRegister)
    assert not issubclass(vl.ClassicalRegister, vl.QuantumRegister)


def test_name_given_as_bytes():
    assert vl.ClassicalRegister(1, b"cr").name() == "cr"
    bad = vl.ClassicalRegister(1, b"\xff")
    with pytest.raises(UnicodeDecodeError):
        bad.name()
