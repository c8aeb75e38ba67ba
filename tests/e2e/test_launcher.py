"""The shipped launchers under Wine, seen from outside: the marker they leave,
the setup program they start, and what they do when something is in the way."""
import re
import shutil
import time

import pefile
import pytest

import wine

MODELS = [
    pytest.param("QB507_KPL553.exe", b"KPL-553\r\n", id="KPL-553"),
    pytest.param("QB507_HM682.exe", b"HM-682\r\n", id="HM-682"),
]
MARKER = "ActiveDevice.txt"
SETUP = "LinePack_Install.exe"
STARTF_USESHOWWINDOW = 0x1
SW_SHOW = 5


class Case:
    """One test's folders: `work` is the current folder, holding the setup
    double; `temp` is the temporary directory the launcher is pointed at."""

    def __init__(self, root, tools_dir, with_setup=True):
        self.work = root / "work"
        self.temp = root / "temp"
        self.work.mkdir()
        self.temp.mkdir()
        if with_setup:
            shutil.copy(tools_dir / "setup_double.exe", self.work / SETUP)
        self.use_temp_dir(self.temp)

    @staticmethod
    def use_temp_dir(path):
        wine.set_temp_dir(wine.windows_path(path) + "\\")

    @property
    def marker(self):
        return self.temp / MARKER

    def launch(self, launcher, *arguments):
        """Runs the launcher; returns its exit status and how long it took."""
        started = time.monotonic()
        status = wine.run(launcher, *arguments, cwd=self.work)
        return status, time.monotonic() - started

    def setup_record(self):
        """What the setup double recorded at its start, or None if it never started."""
        path = self.work / "setup_record.txt"
        if not wine.wait_for(path):
            return None
        return dict(line.split("=", 1) for line in path.read_text().splitlines())

    def strays(self, root):
        """Every ActiveDevice.txt under root other than the marker itself."""
        return [path for path in root.rglob(MARKER) if path != self.marker]


@pytest.fixture
def case(tmp_path, tools_dir):
    return Case(tmp_path, tools_dir)


def assert_started_plainly(record, expected_marker_hex=None):
    assert record is not None, "the setup program was not started"
    assert record["argument_count"] == "1", f"command line: {record['command_line']}"
    assert int(record["startup_flags"], 16) & STARTF_USESHOWWINDOW
    assert record["show_window"] == str(SW_SHOW)
    if expected_marker_hex is not None:
        assert record["marker_opened"] == "yes"
        assert record["marker_hex"] == expected_marker_hex


@pytest.mark.parametrize("launcher,line", MODELS)
@pytest.mark.parametrize("arguments", [
    pytest.param((), id="no-arguments"),
    pytest.param(("/?",), id="slash-question"),
    pytest.param(("--help",), id="help"),
    pytest.param(("two words", "C:\\some where\\x.txt"), id="spaces"),
    pytest.param(("x" * 8000,), id="very-long"),
])
def test_writes_its_line_and_starts_the_setup_program(case, dist_dir, launcher, line, arguments):
    status, _ = case.launch(dist_dir / launcher, *arguments)

    assert status == 0
    assert case.marker.read_bytes() == line
    record = case.setup_record()
    assert_started_plainly(record, expected_marker_hex=line.hex())
    assert record["current_directory"] == wine.windows_path(case.work)


LAUNCHER_CALLS = ("SetDefaultDllDirectories", "SetDllDirectoryA", "GetTempPathA", "CreateFileA",
                  "WriteFile", "CloseHandle", "ShellExecuteA")
RELAY_CALL = re.compile(r"Call (?:KERNEL32|shell32)\.(\w+)\((.*)\) ret=([0-9a-f]{8})$")


def calls_from_image(trace, image_path):
    """The launcher's own calls in Wine's relay trace: those of interest whose
    return address lies inside the launcher's image, as (name, arguments)."""
    image = pefile.PE(str(image_path), fast_load=True)
    start = image.OPTIONAL_HEADER.ImageBase
    end = start + image.OPTIONAL_HEADER.SizeOfImage
    calls = []
    for line in trace.splitlines():
        found = RELAY_CALL.search(line)
        if found and found[1] in LAUNCHER_CALLS and start <= int(found[3], 16) < end:
            calls.append((found[1], found[2]))
    return calls


@pytest.mark.parametrize("launcher,line", MODELS)
def test_calls_windows_in_order_with_exact_arguments(case, dist_dir, launcher, line):
    status, trace = wine.trace_calls(dist_dir / launcher, cwd=case.work)
    assert status == 0

    pointer, handle = "[0-9a-f]{8}", "([0-9a-f]{8})"
    marker = re.escape(wine.windows_path(case.marker).replace("\\", "\\\\"))
    expected = [
        ("SetDefaultDllDirectories", "00000800"),
        ("GetTempPathA", f"00000100,{pointer}"),
        ("CreateFileA", f'{pointer} "{marker}",c0000000,00000000,00000000,00000002,00000080,00000000'),
        ("WriteFile", f"{handle},{pointer},{len(line):08x},{pointer},00000000"),
        ("CloseHandle", handle),
        ("ShellExecuteA", f'00000000,{pointer} "open",{pointer} "{SETUP}",{pointer} "",00000000,00000005'),
    ]
    calls = calls_from_image(trace, dist_dir / launcher)
    assert [name for name, _ in calls] == [name for name, _ in expected]
    handles = []
    for (name, arguments), (_, pattern) in zip(calls, expected):
        matched = re.fullmatch(pattern, arguments)
        assert matched, f"{name}({arguments}) does not match {pattern}"
        handles += matched.groups()
    assert handles[0] == handles[1], "CloseHandle closed another handle than WriteFile wrote to"
    assert case.marker.read_bytes() == line


@pytest.mark.parametrize("launcher,line", MODELS)
def test_truncates_a_longer_marker(case, dist_dir, launcher, line):
    case.marker.write_bytes(b"AN-OLDER-AND-MUCH-LONGER-MODEL-LINE\r\nsecond line\r\n")

    assert case.launch(dist_dir / launcher)[0] == 0
    assert case.marker.read_bytes() == line


def test_the_later_run_leaves_its_line(case, dist_dir):
    assert case.launch(dist_dir / "QB507_KPL553.exe")[0] == 0
    assert case.marker.read_bytes() == b"KPL-553\r\n"
    assert case.launch(dist_dir / "QB507_HM682.exe")[0] == 0
    assert case.marker.read_bytes() == b"HM-682\r\n"


@pytest.mark.parametrize("launcher,line", MODELS)
def test_without_a_setup_program_the_marker_is_still_written(tmp_path, tools_dir, dist_dir,
                                                             launcher, line):
    case = Case(tmp_path, tools_dir, with_setup=False)

    status, _ = case.launch(dist_dir / launcher)  # wine.run fails the test on a hang

    assert status == 0
    assert case.marker.read_bytes() == line


@pytest.mark.parametrize("launcher,line", MODELS)
def test_a_marker_held_by_another_process_is_left_alone(case, tools_dir, dist_dir, launcher, line):
    held_content = b"HELD-BY-SOMEONE-ELSE\r\n"
    case.marker.write_bytes(held_content)
    ready, release = case.work / "holder_ready", case.work / "holder_release"
    holder = wine.start(tools_dir / "hold_file.exe", wine.windows_path(case.marker),
                        wine.windows_path(ready), wine.windows_path(release), cwd=case.work)
    try:
        assert wine.wait_for(ready), "the holder did not open the marker"

        status, _ = case.launch(dist_dir / launcher)

        assert status == 0
        record = case.setup_record()
        assert_started_plainly(record)
        assert record["marker_opened"] == "no"  # still held: the launcher could not have written it
    finally:
        release.touch()
        holder.wait(timeout=wine.RUN_TIMEOUT_SECONDS)
    assert holder.returncode == 0
    assert case.marker.read_bytes() == held_content


def _missing(case):
    return case.temp / "no such folder"


def _deep_path(case, length):
    """A folder whose Windows path (with its final backslash) is `length` characters long."""
    path = case.temp
    while len(wine.windows_path(path)) + 1 < length:
        room = length - len(wine.windows_path(path)) - 2
        path = path / ("d" * min(room, 100))
    path.mkdir(parents=True)
    assert len(wine.windows_path(path)) + 1 == length
    return path


@pytest.mark.parametrize("launcher,line", MODELS)
@pytest.mark.parametrize("temp_dir", [
    pytest.param(_missing, id="missing"),
    pytest.param(lambda case: _deep_path(case, 256), id="one-byte-over-the-buffer"),
    pytest.param(lambda case: _deep_path(case, 259), id="fits-MAX_PATH-not-the-buffer"),
    pytest.param(lambda case: _deep_path(case, 320), id="far-too-long"),
])
def test_an_unusable_temp_dir_writes_no_marker_anywhere(case, dist_dir, launcher, line, temp_dir):
    case.use_temp_dir(temp_dir(case))

    status, _ = case.launch(dist_dir / launcher)

    assert status == 0
    assert_started_plainly(case.setup_record())
    assert case.strays(case.work.parent) == []
    assert not case.marker.exists()


@pytest.mark.parametrize("launcher,line", MODELS)
def test_a_folder_in_the_marker_place_stays(case, dist_dir, launcher, line):
    case.marker.mkdir()
    (case.marker / "inside.txt").write_bytes(b"kept")

    status, _ = case.launch(dist_dir / launcher)

    assert status == 0
    assert_started_plainly(case.setup_record())
    assert case.marker.is_dir()
    assert [p.name for p in case.marker.iterdir()] == ["inside.txt"]
    assert case.strays(case.work.parent) == []


@pytest.mark.parametrize("launcher,line", MODELS)
def test_does_not_wait_for_the_setup_program(case, dist_dir, launcher, line):
    linger_seconds = 8
    (case.work / "linger_seconds.txt").write_text(str(linger_seconds))
    done = case.work / "setup_done.txt"

    status, elapsed = case.launch(dist_dir / launcher)

    assert status == 0
    assert not done.exists(), "the setup program had already finished when the launcher returned"
    assert elapsed < linger_seconds
    assert_started_plainly(case.setup_record(), expected_marker_hex=line.hex())
    assert wine.wait_for(done, timeout=linger_seconds + 15), "the setup program never finished"
