"""Build a circuit from registers, record gates and show what was recorded."""
import VelorinLib as vl

qr = vl.QuantumRegister(3, "q")
anc = vl.AncillaRegister(1, "anc")
cr = vl.ClassicalRegister(3, "c")
qc = vl.QuantumCircuit(qr, anc, cr, name="demo")

print(f"VelorinLib {vl.__version__}: a circuit of {qc.num_qubits} qubits, {qc.num_ancillas} ancilla, {qc.num_clbits} classical bits")
print(f"  qubits {qc.qubits}, ancillas {qc.ancillas}, clbits {qc.clbits}")

gates = [
    qc.h(0),
    qc.x([1, 2], label="flip"),
    qc.sx(qr=qr),
    qc.t(ar=anc),
    qc.barrier(),
    qc.measure(qr, cr),
    qc.reset(3),
]
gates[1].c_if(cr, 3)

for gate in gates:
    print(f"  {type(gate).__name__:<12} label={gate.label!r:<8} num_qubits={gate.num_qubits}")
