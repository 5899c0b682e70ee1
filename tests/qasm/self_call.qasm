qreg q[2];
gate g a { h a; g a; }
g q[0];
