qreg q[2147483647];
qreg r[2147483647];
qreg w[4];
