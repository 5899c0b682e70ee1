import sys

import pytest

import VelorinLib as vl

GATE_CLASSES = [
    "HGate", "XGate", "IGate", "TGate", "SGate", "TdgGate", "SdgGate", "SXGate", "SXdgGate",
    "YGate", "ZGate", "PhaseGate", "RGate", "RvGate", "RXGate", "RYGate", "RZGate", "UGate",
    "U0Gate", "U1Gate", "U2Gate", "U3Gate", "CXGate", "CYGate", "CZGate", "CHGate", "CSGate",
    "CSdgGate", "CSXGate", "CPGate", "CRXGate", "CRYGate", "CRZGate", "CUGate", "RXXGate",
    "RYYGate", "RZXGate", "RZZGate", "DCXGate", "ECRGate", "ISWAPGate", "SWAPGate", "CU1Gate",
    "CU3Gate", "CCXGate", "MCXGate", "CCZGate", "CSWAPGate", "PAULIGate", "RCCXGate", "MCPGate",
    "MCRXGate", "MCRYGate", "MCRZGate", "GMSGate", "RCCCXGate", "C3SQRTX", "MeasGate",
    "ResetGate", "UserGate", "DelayGate", "BarrierGate",
]


def test_module_attributes():
    assert vl.__doc__ is None
    assert vl.__version__ == "0.3.1"
    assert vl.__author__ == "VelorinLib developers"
    assert vl.__credits__ == (
        "VelorinLib: a matrix-product-state quantum circuit simulator, by the VelorinLib developers"
    )


def test_registration_order_of_classes():
    names = [n for n, v in vars(vl).items() if isinstance(v, type)]
    # Later subsystems slot their classes in before Gate; the tail is fixed.
    assert names[-64:] == ["Gate"] + GATE_CLASSES + ["QuantumCircuit"]
    assert names.index("QuantumRegister") < names.index("AncillaRegister")
    assert names.index("AncillaRegister") < names.index("ClassicalRegister")
    assert len(GATE_CLASSES) == 62


@pytest.mark.parametrize("name", GATE_CLASSES)
def test_every_gate_class_derives_from_gate_and_constructs_empty(name):
    cls = getattr(vl, name)
    assert cls.__bases__ == (vl.Gate,)
    gate = cls()
    assert (gate.label, gate.name, gate.params, gate.num_qubits) == ("", "", [], 0)
    assert gate.c_if(0, 1) is None
    with pytest.raises(TypeError):
        cls(1)


def test_gate_itself_has_no_constructor():
    with pytest.raises(TypeError, match="No constructor defined!$"):
        vl.Gate()


def test_no_exception_classes_registered():
    for value in vars(vl).values():
        if isinstance(value, type):
            assert not issubclass(value, BaseException)


def test_compiled_for_running_interpreter():
    # The load check compares the running version with the one compiled for.
    assert sys.version.startswith(f"{sys.version_info.major}.{sys.version_info.minor}")


def docstrings():
    for name, value in vars(vl).items():
        yield name, getattr(value, "__doc__", None)
        if isinstance(value, type):
            for member, item in vars(value).items():
                yield f"{name}.{member}", getattr(item, "__doc__", None)


def test_every_signature_names_python_types():
    leaks = [name for name, doc in docstrings() if isinstance(doc, str) and "velorin::" in doc]
    assert leaks == []
    assert "job: VelorinLib.JobV1" in vl.job_monitor.__doc__
    assert "-> VelorinLib.Result" in vl.JobV1.result.__doc__
