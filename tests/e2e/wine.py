"""Running Windows programs under the build tree's Wine prefix, for tests.

The prefix, WINEDEBUG and the Wine binary come from the environment that
CTest sets (WINEPREFIX, WINEDEBUG, WINE). Windows programs see the temporary
directory that TMP in HKCU\\Environment names, so set_temp_dir() changes it
there; Wine ignores the Unix TMP.
"""
import os
import pathlib
import subprocess
import time

WINE = os.environ.get("WINE", "wine")
RUN_TIMEOUT_SECONDS = 30


def windows_path(path):
    """The Windows name of a Unix path under Wine's Z: drive."""
    return "Z:" + str(pathlib.Path(path).absolute()).replace("/", "\\")


def run(program, *arguments, cwd, timeout=RUN_TIMEOUT_SECONDS):
    """Runs a Windows program to its end and returns its exit status.

    Output goes to files, not pipes: a child the program starts would inherit
    a pipe and keep us waiting for it.
    """
    with open(pathlib.Path(cwd, ".wine_output"), "ab") as output:
        return subprocess.run([WINE, str(program), *arguments], cwd=cwd, stdin=subprocess.DEVNULL,
                              stdout=output, stderr=output, timeout=timeout).returncode


def trace_calls(program, *arguments, cwd):
    """Runs a Windows program with Wine's relay trace on; returns its exit
    status and the trace, one line per call across a DLL boundary."""
    trace = pathlib.Path(cwd, ".relay_trace")
    with open(trace, "wb") as output:
        status = subprocess.run([WINE, str(program), *arguments], cwd=cwd,
                                env={**os.environ, "WINEDEBUG": "+relay"},
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=output, timeout=RUN_TIMEOUT_SECONDS).returncode
    return status, trace.read_text(errors="replace")


def start(program, *arguments, cwd):
    """Starts a Windows program and returns its Popen without waiting."""
    output = open(pathlib.Path(cwd, ".wine_output"), "ab")
    return subprocess.Popen([WINE, str(program), *arguments], cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=output, stderr=output)


def set_temp_dir(windows_dir):
    """Points the temporary directory of Windows programs started from now on at windows_dir."""
    subprocess.run([WINE, "reg", "add", "HKCU\\Environment", "/v", "TMP", "/d", windows_dir, "/f"],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True,
                   timeout=RUN_TIMEOUT_SECONDS)


def wait_for(path, timeout=15.0):
    """Waits until path exists; returns whether it does."""
    deadline = time.monotonic() + timeout
    while not path.exists():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True
