"""Building for shipping: the DEVICE_MODELS list, reproducible output with
checksums, and optional signing. Each test builds its own copy of the sources."""
import os
import pathlib
import secrets
import shutil
import subprocess

import pytest

import wine

SOURCE_DIR = pathlib.Path(os.environ.get("SOURCE_DIR", pathlib.Path(__file__).parents[2]))
CMAKE = os.environ.get("CMAKE", "cmake")
RULE = "Each model must be 1 to 64 printable ASCII characters"


def copy_sources(destination):
    shutil.copytree(SOURCE_DIR, destination,
                    ignore=shutil.ignore_patterns(".git", "build", "dist", "__pycache__"))
    return destination


def configure(source, *options, env=None):
    return subprocess.run([CMAKE, "--preset", "windows-x86", *options], cwd=source, env=env,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)


def build(source, env=None):
    return subprocess.run([CMAKE, "--build", "--preset", "windows-x86", "--target", "dist"],
                          cwd=source, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                          text=True)


def message(result):
    """What CMake printed, with its line wrapping undone."""
    return " ".join((result.stdout + result.stderr).split())


def configure_and_build(source, *options):
    for step in (configure(source, *options), build(source)):
        assert step.returncode == 0, step.stdout + step.stderr


@pytest.mark.parametrize("models,named", [
    pytest.param("", "DEVICE_MODELS is empty", id="empty-list"),
    pytest.param("KPL-553;;HM-682", "has an empty entry", id="empty-entry"),
    pytest.param("KPL-553;", "has an empty entry", id="trailing-separator"),
    pytest.param("KPL\t553", "has the byte 0x09, outside printable ASCII", id="tab"),
    pytest.param("KPL-553\n", "has the byte 0x0a", id="line-feed"),
    pytest.param("KPL-55\u00e9", "has the byte 0xc3", id="non-ascii"),
    *[pytest.param(f"KP{c}553", f"\"KP{c}553\" has the character {c},", id=f"char-{c}")
      for c in '"\\<>:/|?*'],
    pytest.param("M" * 65, f"\"{'M' * 65}\" is 65 characters long", id="65-characters"),
    pytest.param("KPL-553;HM-682;KPL-553", "\"KPL-553\" is listed twice", id="duplicate"),
    pytest.param("KPL-553;KPL553", "\"KPL553\" gives QB507_KPL553.exe, the same executable name "
                 "as model \"KPL-553\"", id="same-executable"),
    pytest.param("HM-682;H M682", "\"H M682\" gives QB507_HM682.exe", id="same-after-spaces"),
    pytest.param("KPL-553;kpl-553", "\"kpl-553\" gives QB507_kpl553.exe", id="differs-in-case"),
])
def test_a_bad_model_list_is_refused_at_configure_time(tmp_path, models, named):
    result = configure(SOURCE_DIR, f"-DDEVICE_MODELS={models}", "-B", str(tmp_path / "build"))

    assert result.returncode != 0
    assert named in message(result)
    assert RULE in message(result)
    assert not (tmp_path / "build" / "build.ninja").exists()


def test_two_clean_builds_at_different_paths_are_identical(tmp_path):
    first = copy_sources(tmp_path / "a")
    second = copy_sources(tmp_path / "somewhere" / "much" / "deeper" / "b")
    for source in (first, second):
        configure_and_build(source)

    deliverables = sorted(p.name for p in (first / "dist").iterdir())
    assert deliverables == ["QB507_HM682.exe", "QB507_KPL553.exe", "SHA256SUMS"]
    for name in deliverables:
        assert (first / "dist" / name).read_bytes() == (second / "dist" / name).read_bytes(), name
    check = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=first / "dist",
                           capture_output=True, text=True)
    assert check.returncode == 0, check.stdout + check.stderr
    assert check.stdout.splitlines() == ["QB507_KPL553.exe: OK", "QB507_HM682.exe: OK"]


def test_a_third_model_builds_and_writes_its_own_line(tmp_path, dist_dir):
    model = "X9 Pro #2 (R&D)"
    source = copy_sources(tmp_path / "source")
    configure_and_build(source, f"-DDEVICE_MODELS=KPL-553;HM-682;{model}")

    third = source / "dist" / "QB507_X9Pro#2(R&D).exe"
    assert sorted(p.name for p in (source / "dist").iterdir()) == sorted(
        ["QB507_KPL553.exe", "QB507_HM682.exe", third.name, "SHA256SUMS"])
    for name in ("QB507_KPL553.exe", "QB507_HM682.exe"):  # the shipped two are untouched
        assert (source / "dist" / name).read_bytes() == (dist_dir / name).read_bytes(), name

    temp = tmp_path / "temp"
    temp.mkdir()
    wine.set_temp_dir(wine.windows_path(temp) + "\\")
    assert wine.run(third, cwd=tmp_path) == 0
    assert (temp / "ActiveDevice.txt").read_bytes() == model.encode() + b"\r\n"


@pytest.fixture(scope="module")
def certificate(tmp_path_factory):
    """A throwaway self-signed code-signing certificate: (PKCS#12 file, its password, PEM)."""
    folder = tmp_path_factory.mktemp("certificate")
    password = secrets.token_hex(16)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Launcher Test Signing", "-addext", "keyUsage=digitalSignature",
                    "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", folder / "key.pem", "-out", folder / "cert.pem"],
                   check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", folder / "key.pem",
                    "-in", folder / "cert.pem", "-out", folder / "cert.p12",
                    "-passout", "env:P12_PASSWORD"],
                   env={**os.environ, "P12_PASSWORD": password}, check=True, capture_output=True)
    return folder / "cert.p12", password, folder / "cert.pem"


def test_a_missing_certificate_is_refused_at_configure_time(tmp_path):
    result = configure(SOURCE_DIR, f"-DCODESIGN_PKCS12={tmp_path}/nowhere.p12",
                       "-B", str(tmp_path / "build"))
    assert result.returncode != 0
    assert f"CODESIGN_PKCS12: there is no file \"{tmp_path}/nowhere.p12\"" in message(result)


def test_signing(tmp_path, certificate):
    pkcs12, password, pem = certificate
    source = copy_sources(tmp_path / "source")
    dist = source / "dist"
    assert configure(source, f"-DCODESIGN_PKCS12={pkcs12}").returncode == 0

    for wrong in ({}, {"CODESIGN_PASSWORD": "wrong"}):
        env = {k: v for k, v in os.environ.items() if k != "CODESIGN_PASSWORD"} | wrong
        failed = build(source, env=env)
        assert failed.returncode != 0
        assert ("error: cannot sign QB507_KPL553.exe: set CODESIGN_PASSWORD" if not wrong
                else "error: signing QB507_KPL553.exe with") in message(failed)
        assert list(dist.iterdir()) == [], "a failed signing left files in dist/"

    signed = build(source, env={**os.environ, "CODESIGN_PASSWORD": password})
    assert signed.returncode == 0, signed.stdout + signed.stderr
    for name in ("QB507_KPL553.exe", "QB507_HM682.exe"):
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", pem, "-in", dist / name],
                                capture_output=True, text=True)
        assert verify.returncode == 0, verify.stdout + verify.stderr
    assert subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=dist,
                          capture_output=True).returncode == 0

    assert password not in message(signed)
    leaks = subprocess.run(["grep", "-rlF", password, str(source)], capture_output=True, text=True)
    assert leaks.stdout == "", f"the password was written to: {leaks.stdout}"
