#!/usr/bin/env bash
# Builds the module of a given commit in build/baseline-<commit>/ for the
# side-by-side timings; prints the folder that holds the module.
set -euo pipefail
commit="$1"
python="$2"
root="$(git rev-parse --show-toplevel)"
sha="$(git -C "$root" rev-parse --short=12 "$commit")"
dir="$root/build/baseline-$sha"
if ! ls "$dir"/build/VelorinLib*.so >/dev/null 2>&1; then
  rm -rf "$dir/src"
  mkdir -p "$dir/src"
  git -C "$root" archive "$sha" | tar -x -C "$dir/src"
  "$(dirname "$python")/cmake" -S "$dir/src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVELORIN_BUILD_TESTS=OFF -Dpybind11_DIR="$("$python" -m pybind11 --cmakedir)" \
    -DPython_EXECUTABLE="$python" >/dev/null
  "$(dirname "$python")/cmake" --build "$dir/build" --target VelorinLib >&2
fi
echo "$dir/build"
