"""Side-by-side whole-run timings through the Python API.

For each workload: this build, a reference build (BENCH_BASELINE_DIR, the
folder holding its module; `make bench BASELINE=<commit>` builds one) and,
where installed, quimb's CircuitMPS (BENCH_QUIMB_PYTHON; one run each, "-"
past BENCH_QUIMB_TIMEOUT seconds), each in its own process, interleaved,
median of three. Then where the time goes: one run of a
single shot (the first run) against the whole run (the rest is the shots).

BENCH_QUICK=1 leaves out the deepest brickworks; BENCH_ONLY=a,b keeps the
workloads whose names contain one of the texts; BENCH_REPEATS sets the count.
BENCH_BUSY=1 runs everything a second time beside a CPU-bound load, one
spinning process per core (BENCH_BUSY=k: k processes), as on a busy machine.
"""
import contextlib
import json
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "side_by_side"))
from workloads import WORKLOADS  # noqa: E402

WORKER = os.path.join(HERE, "side_by_side", "worker.py")
QUIMB_TIMEOUT = float(os.environ.get("BENCH_QUIMB_TIMEOUT", "120"))


def run_worker(python, which, workload, shots, pythonpath=None, timeout=None):
    env = dict(os.environ)
    if pythonpath:
        env["PYTHONPATH"] = pythonpath + os.pathsep + env.get("PYTHONPATH", "")
    try:
        out = subprocess.run([python, WORKER, which, workload, str(shots)], env=env,
                             capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    if out.returncode != 0:
        sys.stderr.write(out.stderr[-2000:])
        return None
    return json.loads(out.stdout.strip().splitlines()[-1])["seconds"]


def fmt(seconds):
    if seconds is None:
        return "      -"
    return f"{seconds:7.3f}" if seconds < 100 else f"{seconds:7.1f}"


@contextlib.contextmanager
def cpu_load(processes):
    """`processes` processes that only spin, for as long as the block lasts."""
    spinners = [subprocess.Popen([sys.executable, "-c", "while True: pass"])
                for _ in range(processes)]
    try:
        yield
    finally:
        for p in spinners:
            p.kill()
        for p in spinners:
            p.wait()


def main():
    busy = os.environ.get("BENCH_BUSY", "")
    table(busy_note="")
    if busy not in ("", "0"):
        processes = os.cpu_count() or 1
        if busy != "1":
            processes = int(busy)
        with cpu_load(processes):
            table(busy_note=f"; beside {processes} spinning processes")


def table(busy_note):
    quick = os.environ.get("BENCH_QUICK", "") not in ("", "0")
    only = [t.strip() for t in os.environ.get("BENCH_ONLY", "").split(",") if t.strip()]
    repeats = int(os.environ.get("BENCH_REPEATS", "3"))
    baseline = os.environ.get("BENCH_BASELINE_DIR", "")
    quimb = os.environ.get("BENCH_QUIMB_PYTHON", "")
    if quimb and not os.path.exists(quimb):
        quimb = ""
    python = sys.executable

    names = [n for n, w in WORKLOADS.items() if (w["quick"] or not quick) and
             (not only or any(t in n for t in only))]
    ours_dir = os.environ.get("BENCH_OURS_DIR", "") or None  # default: the installed module
    systems = [("ours", lambda w, s: run_worker(python, "velorin", w, s, ours_dir))]
    if baseline:
        systems.append(("ref", lambda w, s: run_worker(python, "velorin", w, s, baseline)))
    if quimb:
        systems.append(("quimb", lambda w, s: run_worker(quimb, "quimb", w, s,
                                                         timeout=QUIMB_TIMEOUT)))

    print(f"side by side, whole runs in seconds, median of {repeats}"
          + (f"; reference: {baseline}" if baseline else "; no reference build (BASELINE=...)")
          + busy_note)
    header = f"{'workload':<22} {'shots':>6} " + " ".join(f"{s:>7}" for s, _ in systems)
    if baseline:
        header += f" {'speedup':>8}"
    header += "   first run / shots (ours" + (", ref)" if baseline else ")")
    print(header)
    for name in names:
        shots = WORKLOADS[name]["shots"]
        times = {s: [] for s, _ in systems}
        for _ in range(repeats):
            for s, go in systems:
                if s == "quimb" and times[s]:
                    continue  # far slower: one run, bounded by BENCH_QUIMB_TIMEOUT
                times[s].append(go(name, shots))
        medians = {}
        for s, values in times.items():
            good = [v for v in values if v is not None]
            medians[s] = statistics.median(good) if good and len(good) == len(values) else None
        line = f"{name:<22} {shots:>6} " + " ".join(fmt(medians[s]) for s, _ in systems)
        if baseline:
            ours, ref = medians["ours"], medians["ref"]
            line += f" {ref / ours:7.1f}x" if ours and ref else "        -"
        # Where the time goes: one single-shot run of each build.
        parts = []
        for s, go in systems[: 2 if baseline else 1]:
            first = go(name, 1)
            whole = medians[s]
            if first is None or whole is None:
                parts.append("-")
            else:
                parts.append(f"{first:.3f} / {max(whole - first, 0.0):.3f}")
        line += "   " + " | ".join(parts)
        print(line, flush=True)


if __name__ == "__main__":
    main()
