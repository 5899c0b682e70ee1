"""VelorinProvider: backends and the accounts of the settings file."""
import fcntl
import json
import os
import random
import re
import signal
import stat
import subprocess
import sys
import time
import traceback

import pytest

import VelorinLib as vl

DEFAULT = {"name": "VelorinDefaultUser", "token": "xxxx-xxxx-xxxx-xxxx"}
URL_PATTERN = re.compile(r"^(https?:\/\/)?([\da-z\.-]+)\.([a-z\.]{2,6})([/\w \.-]*)*\/?$", re.ASCII)


@pytest.fixture(autouse=True)
def folder(tmp_path, monkeypatch):
    """Every test gets a settings base of its own; the folder is made on demand."""
    monkeypatch.setenv("APPDATA", str(tmp_path))
    return tmp_path / "velorin"


def config(folder):
    return (folder / "config.file").read_bytes()


def test_defaults_without_a_settings_file(folder):
    provider = vl.VelorinProvider()
    assert provider.active_account() == DEFAULT
    assert list(provider.active_account()) == ["name", "token"]
    assert provider.saved_accounts() == {}
    assert provider.delete_account("nobody") is True
    assert not folder.exists()


def test_account_life_cycle(folder):
    provider = vl.VelorinProvider()
    assert provider.save_account("t1", "u1", "i1", "lab") is None
    assert config(folder) == b"lab,t1,u1,i1\n"
    assert stat.S_IMODE(folder.stat().st_mode) == 0o700
    assert stat.S_IMODE((folder / "config.file").stat().st_mode) == 0o600
    assert not (folder / "temp.file").exists()
    assert provider.active_account() == DEFAULT  # the provider's own account stays
    assert vl.VelorinProvider().active_account() == {"name": "lab", "token": "t1"}
    assert provider.saved_accounts() == {"lab": "t1"}

    provider.save_account(token="t2", name="lab")
    assert config(folder) == b"lab,t2,,\n"
    provider.save_account(token="t3", name="lab", overwrite=False)
    assert config(folder) == b"lab,t2,,\nlab,t3,,\n"
    assert provider.saved_accounts() == {"lab": "t3"}

    provider.save_account("tb", name="bob")
    provider.save_account("tbb", name="bobby")
    assert provider.saved_accounts() == {"lab": "t3", "bob": "tb", "bobby": "tbb"}
    assert provider.delete_account("bob") is True  # whole names: bobby stays
    assert provider.saved_accounts() == {"lab": "t3", "bobby": "tbb"}
    assert provider.delete_account(name="lab") is True
    assert config(folder) == b"bobby,tbb,,\n"
    before = (folder / "config.file").stat().st_mtime_ns
    assert provider.delete_account("nobody") is True
    assert (folder / "config.file").stat().st_mtime_ns == before


def test_empty_names_touch_only_empty_named_lines(folder):
    provider = vl.VelorinProvider()
    provider.save_account("ta", name="alice")
    provider.save_account("te1")
    provider.save_account("te2")  # overwrite: replaces the first empty-named line only
    assert config(folder) == b"alice,ta,,\n,te2,,\n"
    assert provider.saved_accounts() == {"alice": "ta", "": "te2"}
    assert provider.delete_account() is True
    assert config(folder) == b"alice,ta,,\n"


def test_arguments_come_before_the_file(folder):
    vl.VelorinProvider().save_account("filetoken", "https://file.example.com", "inst", "fileuser")
    assert vl.VelorinProvider(name="me").active_account() == {"name": "me", "token": "filetoken"}
    assert vl.VelorinProvider(token="tok").active_account() == {"name": "fileuser", "token": "tok"}
    # verify, proxies and instance change nothing
    provider = vl.VelorinProvider("a", "", "b", "c", {"http": "x"}, True)
    assert provider.active_account() == {"name": "b", "token": "a"}


@pytest.mark.parametrize(
    "url",
    [
        "example.com",
        "http://example.com",
        "https://sub.example.co.uk/path/to/x_y-z.html",
        "https://a.bc/",
        "a.b.c.d.e.f.gh/with space/",
        "1-2.3.ab",
        "http://x.yz" + "/a" * 900,
    ],
)
def test_urls_that_match(url):
    assert vl.VelorinProvider(url=url).active_account() == DEFAULT


@pytest.mark.parametrize(
    "url",
    [
        "plainwords",
        "localhost",
        "ftp://example.com",
        "http//example.com",
        "https://Example.com",
        ".com",
        "example.c",
        "example.com?q=1",
        "example.com\n",
        "exa\x00mple.com",
        "exämple.com",
        "http://x.yz" + "/a" * 1100,  # longer than the cap
        "a" * 100000 + "!",  # a text that sends a backtracking matcher astray
    ],
)
def test_urls_that_are_refused(url):
    with pytest.raises(RuntimeError, match="^The url provided is invalid$"):
        vl.VelorinProvider(url=url)


def test_url_check_agrees_with_the_pattern_on_random_texts():
    rng = random.Random(12)
    alphabet = "htps:/.-a_zA9 b.c.\n,é"
    pieces = ["http://", "https://", ".com", ".", "ab", "/", "x-y", "..", ":"]
    agreed = 0
    for _ in range(3000):
        if rng.random() < 0.5:
            text = "".join(rng.choice(alphabet) for _ in range(rng.randint(1, 12)))
        else:
            text = "".join(rng.choice(pieces) for _ in range(rng.randint(1, 5)))
        expected = URL_PATTERN.fullmatch(text) is not None and "\n" not in text
        try:
            vl.VelorinProvider(url=text)
            accepted = True
        except RuntimeError:
            accepted = False
        assert accepted == expected, repr(text)
        agreed += accepted
    assert agreed > 100  # the texts reach both answers


def test_backends_and_get_backend():
    provider = vl.VelorinProvider()
    assert provider.backends("anything", filters=3) == ["tamrel_velorin"]
    first = provider.get_backend("tamrel_velorin")
    second = provider.get_backend("tamrel_velorin", instance="ignored")
    assert isinstance(first, vl.BackendV2) and first is not second
    assert first.name == "tamrel_velorin"
    del provider  # the backend outlives its provider
    qc = vl.QuantumCircuit(1)
    qc.x(0)
    qc.measure_all()
    assert first.run(qc, mode="sync", shots=3).result().get_counts() == {"1": 3}


@pytest.mark.parametrize("name", ["TAMREL_VELORIN", "tamrel_velorin ", "", "tamrel"])
def test_unknown_backend(name):
    with pytest.raises(RuntimeError, match="^Backend not found$"):
        vl.VelorinProvider().get_backend(name)


@pytest.mark.parametrize(
    "call",
    [
        lambda p: p.backends(),
        lambda p: p.get_backend(name="tamrel_velorin"),
        lambda p: p.get_backend(),
        lambda p: p.save_account(proxies=[]),
        lambda p: p.delete_account(3),
        lambda p: vl.VelorinProvider(proxies="x"),
        lambda p: vl.VelorinProvider(name=None),
    ],
)
def test_argument_mismatches(call):
    with pytest.raises(TypeError):
        call(vl.VelorinProvider())


def test_docstrings_and_argument_names():
    P = vl.VelorinProvider
    assert "token: str = '', url: str = '', name: str = '', instance: str = ''" in P.__init__.__doc__
    assert "proxies: dict = {}, verify: bool = False" in P.__init__.__doc__
    assert P.backends.__doc__.rstrip().endswith("Get the list of supported backends")
    assert P.get_backend.__doc__.count("Get the backend") == 2
    assert P.active_account.__doc__.rstrip().endswith("Provides the details of the current active account")
    assert "name: str = ''" in P.delete_account.__doc__
    assert P.delete_account.__doc__.rstrip().endswith("Deletes a given account")
    assert ("token: str = '', url: str = '', instance: str = '', name: str = '', proxies: dict = {}, "
            "verify: bool = False, overwrite: bool = True") in P.save_account.__doc__
    assert "defaults: bool = False, name: str = ''" in P.saved_accounts.__doc__
    assert vl.VelorinProvider().saved_accounts(True, "x") == {}


@pytest.mark.parametrize("field", ["token", "url", "instance", "name"])
@pytest.mark.parametrize("bad", [",", "\n", "\r", "\x00", "a,b\nc"])
def test_fields_that_would_break_the_line_are_refused(folder, field, bad):
    provider = vl.VelorinProvider()
    provider.save_account("t", name="keep")
    with pytest.raises(ValueError):
        provider.save_account(**{"name": "x", field: "in" + bad + "side"})
    assert config(folder) == b"keep,t,,\n"


def test_quotes_and_other_scripts_read_back_the_same(folder):
    name = 'Zoë "the" O\'Brien 名前 🚀'
    token = "tök'en\"\t;|"
    provider = vl.VelorinProvider()
    provider.save_account(token, "https://example.com/ä", "inst€", name)
    provider.save_account("other", name="plain")
    assert provider.saved_accounts() == {name: token, "plain": "other"}
    assert vl.VelorinProvider().active_account() == {"name": name, "token": token}
    provider.delete_account(name)
    assert provider.saved_accounts() == {"plain": "other"}
    # the constructor takes such texts as given; only the file's lines are constrained
    odd = vl.VelorinProvider(token="a,b\n", name="x\x00y")
    assert odd.active_account() == {"name": "x\x00y", "token": "a,b\n"}


def test_a_file_edited_by_hand(folder):
    folder.mkdir()
    (folder / "config.file").write_bytes(
        b"\r\n\nfirst,tokA\r\nsecond\r\n,tokE,u\r\nthird,tokC,url,inst,extra\n  \nlast,tokL"
    )
    provider = vl.VelorinProvider()
    assert provider.active_account() == {"name": "first", "token": "tokA"}
    assert provider.saved_accounts() == {
        "first": "tokA",
        "second": "",
        "": "tokE",
        "third": "tokC",
        "  ": "",
        "last": "tokL",
    }
    assert provider.delete_account("second")
    # the rest is kept line for line, with plain line feeds
    assert config(folder) == b"\n\nfirst,tokA\n,tokE,u\nthird,tokC,url,inst,extra\n  \nlast,tokL\n"
    (folder / "config.file").write_bytes(b"lonely")
    assert vl.VelorinProvider().active_account() == {"name": "lonely", "token": DEFAULT["token"]}


def test_bytes_that_are_not_utf8_read_as_replacement_characters(folder):
    folder.mkdir()
    raw = b"bad\xff\xfeme,t\xc3ok\n\xe2\x82,\xf0\x9f\x9a\n\xc3\xa9t\xc3\xa9,\xed\xa0\x80\r\n"
    (folder / "config.file").write_bytes(raw)
    provider = vl.VelorinProvider()
    expected = {
        "bad\ufffd\ufffdme": "t\ufffdok",
        "\ufffd": "\ufffd",  # a cut sequence is one replacement character
        "\u00e9t\u00e9": "\ufffd\ufffd\ufffd",  # an encoded surrogate is three
    }
    # the same as the interpreter's own decoder
    assert expected == dict(line.split(",") for line in raw.decode("utf-8", "replace").splitlines())
    assert provider.active_account() == {"name": "bad\ufffd\ufffdme", "token": "t\ufffdok"}
    assert provider.saved_accounts() == expected
    assert config(folder) == raw  # reading leaves every byte in place
    # a rewrite keeps the lines it does not touch byte for byte
    provider.save_account("t2", name="new")
    assert config(folder) == raw.replace(b"\r\n", b"\n") + b"new,t2,,\n"
    provider.delete_account("new")
    assert config(folder) == raw.replace(b"\r\n", b"\n")


def test_a_failed_rewrite_keeps_the_old_file(folder):
    provider = vl.VelorinProvider()
    provider.save_account("t1", name="lab")
    provider.save_account("t2", name="bob")
    old = config(folder)
    (folder / "temp.file").mkdir()  # the temporary file cannot be made, not even by root
    with pytest.raises(RuntimeError):
        provider.save_account("t3", name="lab")
    with pytest.raises(RuntimeError):
        provider.save_account("t4", name="new", overwrite=False)
    with pytest.raises(RuntimeError):
        provider.delete_account("bob")
    assert config(folder) == old
    assert provider.saved_accounts() == {"lab": "t1", "bob": "t2"}
    (folder / "temp.file").rmdir()
    provider.save_account("t3", name="lab")
    assert provider.saved_accounts() == {"bob": "t2", "lab": "t3"}


def test_a_folder_in_place_of_the_settings_file(folder):
    (folder / "config.file").mkdir(parents=True)
    provider = vl.VelorinProvider()
    assert provider.active_account() == DEFAULT
    assert provider.saved_accounts() == {}
    with pytest.raises(RuntimeError):
        provider.save_account("t", name="x")
    with pytest.raises(RuntimeError):
        provider.delete_account("x")
    assert (folder / "config.file").is_dir()


@pytest.mark.skipif(os.geteuid() == 0, reason="permission bits do not stop root")
def test_a_read_only_folder(folder):
    provider = vl.VelorinProvider()
    provider.save_account("t1", name="lab")
    folder.chmod(0o500)
    try:
        with pytest.raises(RuntimeError):
            provider.save_account("t2", name="lab")
        assert config(folder) == b"lab,t1,,\n"
    finally:
        folder.chmod(0o700)


def test_leftovers_at_the_temporary_path(folder, tmp_path):
    folder.mkdir()
    (folder / "temp.file").write_bytes(b"half a rewrite")
    vl.VelorinProvider().save_account("t", name="a")
    assert config(folder) == b"a,t,,\n" and not (folder / "temp.file").exists()
    outside = tmp_path / "outside"
    outside.write_bytes(b"untouched")
    (folder / "temp.file").symlink_to(outside)
    vl.VelorinProvider().save_account("t", name="b")
    assert outside.read_bytes() == b"untouched"
    assert config(folder) == b"a,t,,\nb,t,,\n"


def test_where_the_settings_folder_is(tmp_path, monkeypatch):
    xdg, home = tmp_path / "xdg", tmp_path / "home"
    monkeypatch.setenv("APPDATA", "")
    monkeypatch.setenv("XDG_CONFIG_HOME", str(xdg))
    monkeypatch.setenv("HOME", str(home))
    vl.VelorinProvider().save_account("t", name="x")
    assert (xdg / "velorin" / "config.file").read_bytes() == b"x,t,,\n"
    monkeypatch.delenv("XDG_CONFIG_HOME")
    monkeypatch.delenv("APPDATA")
    vl.VelorinProvider().save_account("t", name="y")
    assert (home / ".config" / "velorin" / "config.file").read_bytes() == b"y,t,,\n"
    assert stat.S_IMODE((home / ".config").stat().st_mode) == 0o700
    assert vl.VelorinProvider().saved_accounts() == {"y": "t"}


SAVER = r"""
import json, sys
import VelorinLib as vl
prefix, deleting = sys.argv[1], sys.argv[2] == "delete"
print("ready", flush=True)
sys.stdin.readline()
provider = vl.VelorinProvider()
saved, deleted, errors = [], [], []
for i in range(100):
    name = f"{prefix}{i}"
    try:
        provider.save_account("tok-" + name, name=name)
        saved.append(name)
        if deleting and i % 2 == 0:
            assert provider.delete_account(name) is True
            deleted.append(name)
    except Exception as error:
        errors.append(repr(error))
print(json.dumps({"saved": saved, "deleted": deleted, "errors": errors}))
"""


@pytest.mark.parametrize("second", ["save", "delete"])
def test_two_processes_rewriting_the_accounts_at_once(folder, second):
    children = [
        subprocess.Popen(
            [sys.executable, "-c", SAVER, prefix, work],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        for prefix, work in (("a", "save"), ("b", second))
    ]
    try:
        for child in children:
            assert child.stdout.readline().strip() == "ready", child.stderr.read()
        for child in children:  # both start rewriting together
            child.stdin.write("go\n")
            child.stdin.flush()
        reports = []
        for child in children:
            out, err = child.communicate(timeout=120)
            assert child.returncode == 0, err
            reports.append(json.loads(out))
    finally:
        for child in children:
            if child.poll() is None:
                child.kill()
                child.communicate()
    assert [report["errors"] for report in reports] == [[], []]
    assert len(reports[0]["saved"]) == len(reports[1]["saved"]) == 100
    kept = [name for report in reports for name in report["saved"] if name not in report["deleted"]]
    accounts = vl.VelorinProvider().saved_accounts()
    assert sorted(accounts) == sorted(kept)
    assert all(token == "tok-" + name for name, token in accounts.items())
    assert len(kept) == (200 if second == "save" else 150)
    assert not (folder / "temp.file").exists()


TOKEN = "s3cr3t-t0k3n-n0t-f0r-l0gs"
P = vl.VelorinProvider


@pytest.mark.parametrize(
    "call, wrong",
    [
        # the constructor
        (lambda p: P(token=TOKEN, proxies="x"), ["proxies: dict = {}", "proxies=str"]),
        (lambda p: P(token=TOKEN, verify="yes"), ["verify: bool = False", "verify=str"]),
        (lambda p: P(TOKEN, "", "", "", [], False), ["proxies: dict", "str, str, str, str, list, bool"]),
        (lambda p: P(token=TOKEN, verfiy=True), ["verify: bool", "verfiy=bool"]),
        (lambda p: P(TOKEN, "", "", "", {}, False, "extra"), ["bool, str"]),
        (lambda p: P(token=TOKEN + "\ud800"), ["token: str = ''", "token=str"]),  # cannot be encoded
        # saving an account
        (lambda p: p.save_account(token=TOKEN, proxies=None), ["proxies: dict = {}", "proxies=NoneType"]),
        (lambda p: p.save_account(token=TOKEN, verify="no"), ["verify: bool = False", "verify=str"]),
        (lambda p: p.save_account(token=TOKEN, name="lab", overwrite="no"),
         ["overwrite: bool = True", "overwrite=str"]),
        (lambda p: p.save_account(TOKEN, "", "", "lab", {}, "no", True), ["dict, str, bool"]),
        (lambda p: p.save_account(TOKEN, overwrit=False), ["overwrite: bool", "overwrit=bool"]),
        (lambda p: P.save_account(None, token=TOKEN), ["self: VelorinLib.VelorinProvider", "NoneType"]),
        # a token handed by mistake to an item that takes none
        (lambda p: p.saved_accounts(token=TOKEN), ["defaults: bool", "token=str"]),
        (lambda p: p.delete_account(TOKEN, True), ["name: str", "str, bool"]),
        (lambda p: p.get_backend(token=TOKEN), ["2. (self", "token=str"]),
        (lambda p: p.active_account(TOKEN), ["(self: VelorinLib.VelorinProvider) -> dict", "VelorinProvider, str"]),
    ],
)
def test_argument_errors_never_show_a_token(folder, call, wrong):
    provider = vl.VelorinProvider()
    with pytest.raises(TypeError) as caught:
        call(provider)
    error = caught.value
    text = "".join(traceback.format_exception(type(error), error, error.__traceback__))
    assert TOKEN not in text and TOKEN not in repr(error)
    # still says what was accepted and what was given
    assert "incompatible" in str(error) and "Invoked with" in str(error)
    for part in wrong:
        assert part in str(error)
    assert not folder.exists()  # nothing was saved


def test_a_provider_shows_no_token(capsys):
    provider = vl.VelorinProvider(token=TOKEN)
    provider.save_account(TOKEN, name="lab")
    print(provider, repr(provider), vl.VelorinProvider())
    assert TOKEN not in capsys.readouterr().out
    assert provider.active_account()["token"] == TOKEN  # asked for, it is given


def child_with_settings(body, folder):
    """A child interpreter sharing the test's settings folder, Ctrl-C at its default."""
    script = "import signal\nsignal.signal(signal.SIGINT, signal.default_int_handler)\n" + body
    return subprocess.Popen(
        [sys.executable, "-c", script],
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        env=dict(os.environ, APPDATA=str(folder.parent)),
    )


def hold_the_lock(folder):
    folder.mkdir(exist_ok=True)
    held = open(folder / "config.lock", "w")
    fcntl.flock(held, fcntl.LOCK_EX)
    return held


def test_a_save_waits_for_the_lock_and_lets_other_threads_run(folder):
    held = hold_the_lock(folder)
    child = child_with_settings(
        """
import threading, VelorinLib as vl
saver = threading.Thread(target=lambda: vl.VelorinProvider().save_account("t", name="late"))
saver.start()
saver.join(1.0)  # this thread runs while the saver waits
print("waiting" if saver.is_alive() else "saved", flush=True)
input()
saver.join()
print(vl.VelorinProvider().saved_accounts())
""",
        folder,
    )
    try:
        assert child.stdout.readline().strip() == "waiting", child.stderr.read()
        assert not (folder / "config.file").exists()
        held.close()  # releases the lock
        out, err = child.communicate("\n", timeout=60)
    finally:
        held.close()
        if child.poll() is None:
            child.kill()
            child.communicate()
    assert (out, err, child.returncode) == ("{'late': 't'}\n", "", 0)


def test_ctrl_c_ends_a_wait_for_the_lock(folder):
    vl.VelorinProvider().save_account("t", name="kept")
    held = hold_the_lock(folder)
    child = child_with_settings(
        """
import VelorinLib as vl
provider = vl.VelorinProvider()
try:
    print("ready", flush=True)
    provider.save_account("t", name="never")
except KeyboardInterrupt:
    print("interrupted", flush=True)
""",
        folder,
    )
    try:
        assert child.stdout.readline().strip() == "ready", child.stderr.read()
        time.sleep(1.0)  # into the wait
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=60)
    finally:
        held.close()
        if child.poll() is None:
            child.kill()
            child.communicate()
    assert (out, err, child.returncode) == ("interrupted\n", "", 0)
    assert config(folder) == b"kept,t,,\n"


@pytest.mark.parametrize("relative", [True, False], ids=["relative link", "absolute link"])
@pytest.mark.parametrize("hops", [1, 2])
def test_a_settings_file_that_is_a_symbolic_link(folder, tmp_path, relative, hops):
    # Saved through the link: the link stays, its destination gets the accounts.
    dotfiles = tmp_path / "dotfiles"
    dotfiles.mkdir()
    destination = dotfiles / "velorin.conf"
    destination.write_bytes(b"lab,t1,,\n")
    folder.mkdir()
    link = folder / "config.file"
    chain = [link] + [dotfiles / f"hop{i}" for i in range(1, hops)] + [destination]
    for here, there in zip(chain, chain[1:]):
        here.symlink_to(os.path.relpath(there, here.parent) if relative else there)
    provider = vl.VelorinProvider()
    assert provider.active_account() == {"name": "lab", "token": "t1"}
    provider.save_account("t2", name="bob")
    assert all(path.is_symlink() for path in chain[:-1])
    assert destination.read_bytes() == b"lab,t1,,\nbob,t2,,\n"
    provider.delete_account("lab")
    assert link.is_symlink() and destination.read_bytes() == b"bob,t2,,\n"
    assert vl.VelorinProvider().saved_accounts() == {"bob": "t2"}
    # No temporary file is left on either side.
    assert sorted(p.name for p in folder.iterdir()) == ["config.file", "config.lock"]
    assert sorted(p.name for p in dotfiles.iterdir()) == sorted(p.name for p in chain[1:])


def test_a_symbolic_link_to_a_settings_file_not_yet_made(folder, tmp_path):
    folder.mkdir()
    destination = tmp_path / "elsewhere" / "accounts"
    destination.parent.mkdir()
    (folder / "config.file").symlink_to(destination)
    vl.VelorinProvider().save_account("t", name="a")
    assert (folder / "config.file").is_symlink()
    assert destination.read_bytes() == b"a,t,,\n"


def test_a_symbolic_link_loop_in_place_of_the_settings_file(folder):
    folder.mkdir()
    (folder / "config.file").symlink_to(folder / "other")
    (folder / "other").symlink_to(folder / "config.file")
    with pytest.raises(RuntimeError):
        vl.VelorinProvider().save_account("t", name="a")
    assert (folder / "config.file").is_symlink() and (folder / "other").is_symlink()
