"""Writes the type stubs of VelorinLib, or checks the shipped ones against the module.

    python tools/stubs.py python/VelorinLib.pyi           write them
    python tools/stubs.py --check python/VelorinLib.pyi   fail when they differ
"""
import argparse
import difflib
import pathlib
import re
import subprocess
import sys
import tempfile


def generated():
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([sys.executable, "-m", "pybind11_stubgen", "--exit-code", "-o", out,
                        "VelorinLib"], check=True)
        text = (pathlib.Path(out) / "VelorinLib.pyi").read_text()
    return keyword_parameters_positional(text)


def keyword_parameters_positional(text):
    """A parameter named by a Python keyword (u's `lambda`) can only be passed by
    position: it gets a trailing underscore, and the parameters up to it become
    positional-only, as they are in practice."""
    def fix(match):
        head, params, tail = match.group(1), match.group(2), match.group(3)
        names = [p.strip() for p in params.split(",")]
        last = max(i for i, p in enumerate(names) if p.startswith("lambda:"))
        names[last] = names[last].replace("lambda:", "lambda_:", 1)
        names.insert(last + 1, "/")
        return head + ", ".join(names) + tail
    return re.sub(r"(def \w+\()([^)]*\blambda: [^)]*)(\))", fix, text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--check", action="store_true")
    parser.add_argument("path", type=pathlib.Path)
    args = parser.parse_args()
    text = generated()
    if not args.check:
        args.path.write_text(text)
        return 0
    shipped = args.path.read_text() if args.path.exists() else ""
    if shipped == text:
        return 0
    sys.stdout.writelines(difflib.unified_diff(shipped.splitlines(True), text.splitlines(True),
                                               str(args.path), "generated from the module"))
    print(f"\n{args.path} differs from the module's stubs: run `make stubs` and commit it",
          file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
