qreg q[2];
creg c[2];
gate g a { }
gate k() { }
gate m a, b { x q[1]; cx b, a; }
g q;
k() q[0];
m q[1], q[0];
if (c[1]==1) m q[0], q[1];
