"""Side-by-side timings of the numeric read-outs through the Python API.

For each workload: a synchronous run of one shot, then one read-out of its
result, each in a fresh process of this build and, when BENCH_BASELINE_DIR
names the folder of a reference build (`make bench BASELINE=<commit>`), of
that build, interleaved; median of BENCH_REPEATS (3). Printed: the read-out
alone and the whole (run + read-out) in seconds, and how far the read-out
raised the process's peak memory. A reference slower than
BENCH_READOUT_TIMEOUT seconds (60) is cut off and shown as ">limit", and is
then run only once.

BENCH_ONLY=a,b keeps the workloads whose names contain one of the texts.
"""
import json
import math
import os
import random
import resource
import statistics
import subprocess
import sys
import time

# name: (builder, qubits, depth, read-out)
WORKLOADS = {
    "brickwork 22x6 probabilities": ("brickwork", 22, 6, "get_probabilities"),
    "brickwork 16x6 statevector": ("brickwork", 16, 6, "get_statevector"),
    "brickwork 11x6 densitymatrix": ("brickwork", 11, 6, "get_densitymatrix"),
    "GHZ-24 probabilities": ("ghz", 24, 0, "get_probabilities"),
    "GHZ-26 probabilities": ("ghz", 26, 0, "get_probabilities"),
}


def build(vl, kind, n, depth, seed=2026):
    qc = vl.QuantumCircuit(n)
    if kind == "ghz":
        qc.h(0)
        for q in range(n - 1):
            qc.cx(q, q + 1)
        return qc
    rng = random.Random(seed * 1000 + n * 10 + depth)
    for layer in range(depth):
        for q in range(n):
            qc.u(*(rng.uniform(-math.pi, math.pi) for _ in range(3)), q)
        for q in range(layer % 2, n - 1, 2):
            qc.cx(q, q + 1)
    return qc


def worker(name):
    import VelorinLib as vl

    kind, n, depth, method = WORKLOADS[name]
    qc = build(vl, kind, n, depth)
    start = time.perf_counter()
    result = vl.BackendV2().run(qc, shots=1, mode="sync").result()
    ran = time.perf_counter()
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    values = getattr(result, method)()
    done = time.perf_counter()
    grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
    print(json.dumps({"readout": done - ran, "whole": done - start, "grown_mb": grown / 1024,
                      "entries": len(values)}))


def run_worker(name, pythonpath, timeout):
    env = dict(os.environ)
    if pythonpath:
        env["PYTHONPATH"] = pythonpath + os.pathsep + env.get("PYTHONPATH", "")
    try:
        out = subprocess.run([sys.executable, os.path.abspath(__file__), "--worker", name],
                             env=env, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "timeout"
    if out.returncode != 0:
        sys.stderr.write(out.stderr[-2000:])
        return None
    return json.loads(out.stdout.strip().splitlines()[-1])


def median(runs, key):
    values = [r[key] for r in runs if isinstance(r, dict)]
    return statistics.median(values) if values else None


def fmt(seconds, cut_off, limit):
    if cut_off:
        return f"{'>' + format(limit, 'g'):>8}"
    if seconds is None:
        return f"{'-':>8}"
    return f"{seconds:8.3f}" if seconds < 100 else f"{seconds:8.1f}"


def main():
    repeats = int(os.environ.get("BENCH_REPEATS", "3"))
    limit = float(os.environ.get("BENCH_READOUT_TIMEOUT", "60"))
    baseline = os.environ.get("BENCH_BASELINE_DIR", "")
    only = [t.strip() for t in os.environ.get("BENCH_ONLY", "").split(",") if t.strip()]
    names = [n for n in WORKLOADS if not only or any(t in n for t in only)]
    with open("/proc/loadavg") as f:
        load = f.read().split()[:3]
    print(f"read-outs, median of {repeats}, seconds; load average {' '.join(load)}"
          + (f"; reference: {baseline}" if baseline else "; no reference build (BASELINE=...)"))
    header = f"{'workload':<30} {'read-out':>8} {'whole':>8} {'peak MB':>8}"
    if baseline:
        header += f" | {'ref r-o':>8} {'ref whole':>9} {'peak MB':>8} | {'speedup':>8}"
    print(header)
    for name in names:
        ours, ref = [], []
        ref_cut, ref_done = False, not baseline
        for _ in range(repeats):
            ours.append(run_worker(name, None, None))
            if ref_done:
                continue
            r = run_worker(name, baseline, limit)
            if r == "timeout":
                ref_cut = ref_done = True
            else:
                ref.append(r)
                # A slow reference: one run says enough.
                ref_done = r is None or r["whole"] > limit / 3
        line = (f"{name:<30} {fmt(median(ours, 'readout'), False, limit)}"
                f" {fmt(median(ours, 'whole'), False, limit)} {median(ours, 'grown_mb') or 0:8.0f}")
        if baseline:
            ref_whole = median(ref, "whole")
            ours_whole = median(ours, "whole")
            line += (f" | {fmt(median(ref, 'readout'), ref_cut, limit)}"
                     f" {fmt(ref_whole, ref_cut, limit):>9}"
                     f" {median(ref, 'grown_mb') or 0:8.0f} | ")
            if ref_cut and ours_whole:
                line += f"{'>' + format(limit / ours_whole, '.0f') + 'x':>8}"
            elif ref_whole and ours_whole:
                line += f"{ref_whole / ours_whole:7.1f}x"
            else:
                line += f"{'-':>8}"
        print(line, flush=True)
    with open("/proc/loadavg") as f:
        print(f"load average at the end {' '.join(f.read().split()[:3])}")


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--worker":
        worker(sys.argv[2])
    else:
        main()
