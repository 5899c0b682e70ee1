// Forms of the language beyond the common subset: U and CX, registers as
// operands, real literals with exponents, signs inside expressions, gates and
// arguments named like our own keywords.
OPENQASM 2.0;
include "qelib1.inc";
gate rzx(theta) a, b { h b; CX a, b; u1(theta) b; CX a, b; h b; }
gate ecr a, b { rzx(pi/4) a, b; x a; rzx(-pi/4) a, b; }
gate cu1fixed(e) c, t { u1(-e) t; cx c, t; u1(e) t; cx c, t; }
qreg q[2];
qreg r[2];
qreg s1[1];
creg c[2];
U(.5, -1.5e-1, 2*-pi/3) q;
CX q, r;
cx q[0], r;
ecr r, q;
cu1fixed(1e-1) s1, r;
rx(-(pi/2)^2) s1[0];
barrier q, r, s1;
OPENQASM 3.0;
