include "qelib1.inc;
qreg q[1];
