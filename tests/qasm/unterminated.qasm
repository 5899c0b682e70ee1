qreg q[1];
gate g a {
h a;
/* never closed
