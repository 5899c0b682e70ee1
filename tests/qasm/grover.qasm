// Grover search for |11> on two qubits: one iteration finds it
OPENQASM 2.0;
include "qelib1.inc";
qreg q[2];
creg c[2];
h q;
cz q[0], q[1];
h q;
x q;
cz q[0], q[1];
x q;
h q;
measure q -> c;
