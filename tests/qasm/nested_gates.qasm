// User gates calling user gates, with parameters passed down
OPENQASM 2.0;
include "qelib1.inc";
gate bell a, b { h a; cx a, b; }
gate rot(theta, phi) a { rz(phi) a; ry(theta/2) a; }
gate pairs(theta) a, b, c, d {
  bell a, b;
  bell c, d;
  rot(theta, -theta/3) b;
  rot(2*theta, pi/4) c;
}
qreg left[2];
qreg right[2];
pairs(0.7) left[0], left[1], right[0], right[1];
pairs(-1.1) right[1], left[0], right[0], left[1];
