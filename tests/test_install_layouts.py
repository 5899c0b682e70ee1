"""Where the installed module finds its OpenBLAS: through the Python package
scipy_openblas32, wherever the interpreter finds it, in every way pip lays
packages out; or an ImportError naming the package to install. Never a
library from a folder the package did not report."""
import glob
import os
import subprocess
import sys
import sysconfig
import textwrap
from pathlib import Path

import pytest

import VelorinLib

ROOT = Path(__file__).resolve().parent.parent
PACKAGE_HINT = "pip install scipy-openblas32"

pytestmark = pytest.mark.skipif(
    bool(os.environ.get("VELORIN_EXPECT_BUILD")),
    reason="installs the wheel of the normal build; the sanitized build is not a wheel")

# What the child prints: where the library came from, or the import's error.
PROBE = textwrap.dedent("""
    try:
        import VelorinLib
    except ImportError as e:
        print("ImportError:", e)
        raise SystemExit(0)
    maps = [l.split()[-1] for l in open("/proc/self/maps") if "libscipy_openblas.so" in l]
    print("module:", VelorinLib.__file__)
    print("library:", sorted(set(maps)))
    qc = VelorinLib.QuantumCircuit(2)
    qc.h(0)
    qc.cx(0, 1)
    print("state:", VelorinLib.BackendV2().run(qc, shots=1, mode="sync").result().get_statevector())
""")


def test_the_librarys_pool_starts_with_one_thread(tmp_path):
    # Importing the package loads its library; a pool of every core would
    # then wait on all of them between the engine's small calls.
    for first in ("", "import scipy_openblas32\n"):
        script = first + textwrap.dedent("""
            import ctypes, os
            import VelorinLib
            import scipy_openblas32 as s
            lib = ctypes.CDLL(os.path.join(s.get_lib_dir(), s.get_library(fullname=True)))
            print(lib.scipy_openblas_get_num_threads(), os.environ.get("OPENBLAS_NUM_THREADS"))
        """)
        assert run([sys.executable, "-c", script]).stdout.split() == ["1", "None"]


def run(command, env=None, check=True):
    full = dict(os.environ)
    for name in ("PYTHONPATH", "PYTHONUSERBASE", "LD_LIBRARY_PATH", "PYTHONNOUSERSITE",
                 "OPENBLAS_NUM_THREADS", "OMP_THREAD_LIMIT"):
        full.pop(name, None)
    full.update(env or {})
    done = subprocess.run(command, env=full, capture_output=True, text=True, timeout=600)
    if check and done.returncode != 0:
        raise AssertionError(f"{command} failed:\n{done.stdout}\n{done.stderr}")
    return done


@pytest.fixture(scope="module")
def wheels(tmp_path_factory):
    """The wheel of this build (from the folder `make` builds in, so nothing
    recompiles) and the scipy-openblas32 wheel of the installed version."""
    out = tmp_path_factory.mktemp("wheels")
    run([sys.executable, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "-q",
         "-C", "build-dir=build/make/{wheel_tag}", "-w", str(out), str(ROOT)])
    import scipy_openblas32
    from importlib.metadata import version
    run([sys.executable, "-m", "pip", "download", "--no-deps", "-q", "-d", str(out),
         f"scipy-openblas32=={version('scipy-openblas32')}"])
    velorin = glob.glob(str(out / "velorinlib-*.whl"))
    blas = glob.glob(str(out / "scipy_openblas32-*.whl"))
    assert len(velorin) == 1 and len(blas) == 1, os.listdir(out)
    return {"velorin": velorin[0], "blas": blas[0]}


def base_python():
    # The interpreter the module was built for, outside any virtual environment.
    return getattr(sys, "_base_executable", sys.executable)


def make_venv(path, system_site_packages=False):
    command = [base_python(), "-m", "venv", "--without-pip", str(path)]
    if system_site_packages:
        command.insert(3, "--system-site-packages")
    run(command)
    return path / "bin" / "python"


def pip_install(python, *arguments, env=None):
    run([sys.executable, "-m", "pip", "--python", str(python), "install", "--no-deps",
         "--no-index", "-q", *arguments], env=env)


def site_packages(python, env=None):
    return run([str(python), "-c", "import sysconfig; print(sysconfig.get_path('purelib'))"],
               env=env).stdout.strip()


def probe(python, env=None):
    return run([str(python), "-c", PROBE], env=env).stdout


def expect_library_from(output, folder):
    assert "library:" in output, output
    assert f"['{folder}/scipy_openblas32/lib/libscipy_openblas.so']" in output, output
    assert "state: [(0.7071067811865476+0j), 0j, 0j, (0.7071067811865476+0j)]" in output, output


def test_plain_venv_loads_the_package_beside_it(tmp_path, wheels):
    python = make_venv(tmp_path / "venv")
    pip_install(python, wheels["blas"], wheels["velorin"])
    expect_library_from(probe(python), site_packages(python))


def test_target_folder_on_pythonpath_uses_the_environments_package(tmp_path, wheels):
    python = make_venv(tmp_path / "venv")
    pip_install(python, wheels["blas"])
    target = tmp_path / "target"
    pip_install(python, "--target", str(target), wheels["velorin"])
    output = probe(python, env={"PYTHONPATH": str(target)})
    assert f"module: {target}/VelorinLib" in output, output
    expect_library_from(output, site_packages(python))


def test_user_install_uses_the_package_of_the_interpreters_environment(tmp_path, wheels):
    # The module in a scratch user site, the library in the environment's own
    # site-packages: a venv that sees user sites does that.
    python = make_venv(tmp_path / "venv", system_site_packages=True)
    pip_install(python, wheels["blas"])
    env = {"PYTHONUSERBASE": str(tmp_path / "user")}
    pip_install(python, "--user", wheels["velorin"], env=env)
    output = probe(python, env=env)
    assert f"module: {tmp_path / 'user'}" in output, output
    expect_library_from(output, site_packages(python))


def test_system_site_packages_venv_uses_the_package_outside_it(tmp_path, wheels):
    # The module in the venv, the library only where the base interpreter
    # looks (its user site).
    python = make_venv(tmp_path / "venv", system_site_packages=True)
    env = {"PYTHONUSERBASE": str(tmp_path / "user")}
    pip_install(python, "--user", wheels["blas"], env=env)
    pip_install(python, wheels["velorin"])
    user_site = run([str(python), "-c", "import site; print(site.getusersitepackages())"],
                    env=env).stdout.strip()
    output = probe(python, env=env)
    assert f"module: {site_packages(python)}/VelorinLib" in output, output
    expect_library_from(output, user_site)


def compile_library(path, marker):
    """A shared library whose constructor leaves `marker` behind: proof that
    someone opened it."""
    path.parent.mkdir(parents=True, exist_ok=True)
    source = path.with_suffix(".c")
    source.write_text(textwrap.dedent(f"""
        #include <stdio.h>
        __attribute__((constructor)) static void planted(void) {{
          FILE* f = fopen("{marker}", "w");
          if (f) fclose(f);
        }}
        int scipy_unrelated(void) {{ return 0; }}
    """))
    run(["cc", "-shared", "-fPIC", "-o", str(path), str(source)])


def test_without_the_package_the_import_refuses_and_opens_nothing_planted(tmp_path, wheels):
    python = make_venv(tmp_path / "venv")
    pip_install(python, wheels["velorin"])
    site = Path(site_packages(python))
    marker = tmp_path / "opened"
    # Where a loader that guessed would look: beside the module, a folder
    # named like an isolated build's, the loader's path and the working folder.
    planted = [site / "scipy_openblas32" / "lib" / "libscipy_openblas.so",
               tmp_path / "pip-build-env-x" / "overlay" / "scipy_openblas32" / "lib" /
               "libscipy_openblas.so",
               tmp_path / "ld" / "libscipy_openblas.so",
               tmp_path / "cwd" / "libscipy_openblas.so"]
    for path in planted:
        compile_library(path, marker)
    done = run([str(python), "-c", PROBE], env={"LD_LIBRARY_PATH": str(tmp_path / "ld")})
    assert "ImportError:" in done.stdout and PACKAGE_HINT in done.stdout, done.stdout
    assert not marker.exists()
    done = subprocess.run([str(python), "-c", PROBE], cwd=tmp_path / "cwd", capture_output=True,
                          text=True, timeout=120)
    assert "ImportError:" in done.stdout and PACKAGE_HINT in done.stdout, done.stdout
    assert not marker.exists()


def test_a_library_that_lacks_a_symbol_is_refused(tmp_path, wheels):
    python = make_venv(tmp_path / "venv")
    pip_install(python, wheels["velorin"])
    site = Path(site_packages(python))
    package = site / "scipy_openblas32"
    compile_library(package / "lib" / "libscipy_openblas.so", tmp_path / "opened")
    (package / "__init__.py").write_text(textwrap.dedent("""
        import os
        def get_lib_dir():
            return os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib")
        def get_library(fullname=False):
            return "libscipy_openblas.so" if fullname else "scipy_openblas"
    """))
    output = probe(python)
    assert "ImportError:" in output and PACKAGE_HINT in output, output
    assert "lacks the symbol scipy_LAPACKE_zgesdd_work" in output, output


def test_the_module_holds_no_path_of_its_build():
    data = Path(VelorinLib.__file__).read_bytes()
    import scipy_openblas32
    assert scipy_openblas32.get_lib_dir().encode() not in data
    assert b"pip-build-env" not in data
    assert b"/overlay/" not in data


def test_the_wheel_carries_its_licence(wheels):
    import zipfile
    with zipfile.ZipFile(wheels["velorin"]) as wheel:
        names = wheel.namelist()
        metadata = wheel.read(next(n for n in names if n.endswith(".dist-info/METADATA"))).decode()
        licence = wheel.read(next(n for n in names if n.endswith("/licenses/LICENSE"))).decode()
    assert "License-Expression: Apache-2.0" in metadata
    assert "Apache License" in licence and "Version 2.0, January 2004" in licence
