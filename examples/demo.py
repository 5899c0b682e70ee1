"""Build circuits from registers, record gates, and run them on a backend."""
import VelorinLib as vl

# A circuit from registers, and what its gate methods record.
qr = vl.QuantumRegister(3, "q")
anc = vl.AncillaRegister(1, "anc")
cr = vl.ClassicalRegister(3, "c")
qc = vl.QuantumCircuit(qr, anc, cr)
print(f"VelorinLib {vl.__version__}: a circuit of {qc.num_qubits} qubits, "
      f"{qc.num_ancillas} ancilla, {qc.num_clbits} classical bits")
gates = [qc.h(0), qc.x([1, 2], label="flip"), qc.sx(qr=qr), qc.t(ar=anc), qc.barrier(),
         qc.measure(qr, cr), qc.reset(3)]
gates[1].c_if(cr, 3)
for gate in gates:
    print(f"  {type(gate).__name__:<12} label={gate.label!r:<8} num_qubits={gate.num_qubits}")

# Its drawing (printed by draw()) and its OpenQASM 2.0 text.
print("\nThe circuit drawn:")
qc.draw()
print("As OpenQASM 2.0:")
print(qc.qasm())

# A 100-qubit GHZ state, 1000 shots on the backend's worker thread.
backend = vl.BackendV2()
ghz = vl.QuantumCircuit(100)
ghz.h(0)
for q in range(99):
    ghz.cx(q, q + 1)
ghz.measure_all()
job = backend.run(ghz, shots=1000)
job.wait_for_final_state(0, 0, lambda job_id, status, job: None)
counts = job.result().get_counts()
print(f"\nGHZ on 100 qubits, job {job.job_id()} {job.status().name}:")
for bits, count in counts.items():
    print(f"  {bits[:12]}...{bits[-12:]}: {count}")

# The state vector of a small circuit, run on the caller's thread.
small = vl.QuantumCircuit(2)
small.h(0)
small.cx(0, 1)
state = backend.run(small, shots=1, mode="sync").result().get_statevector()
print("\nBell state vector (bit q of the index is qubit q):")
for index, amplitude in enumerate(state):
    print(f"  |{index:02b}>: {amplitude.real:+.6f}{amplitude.imag:+.6f}j")
