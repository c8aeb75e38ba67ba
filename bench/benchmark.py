"""Times the deliverables against a do-nothing program under one Wine prefix.

Usage: benchmark.py RUNS DIST_DIR DO_NOTHING_EXE SHELL_ONLY_EXE
Runs each program RUNS times, taking turns so that drift in the machine's
load falls on all of them alike, and prints each one's median wall time,
its ratio to the do-nothing program, and its size. SHELL_ONLY_EXE makes the
launcher's shell request and nothing else: the launchers' own work is what
they take beyond it. Everything runs in a scratch folder with the do-nothing
program as the setup program, so the launchers do their whole job; their
temporary directory is a scratch folder too.
"""
import pathlib
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).parents[1] / "tests" / "e2e"))
import wine  # noqa: E402


def main():
    runs = int(sys.argv[1])
    dist_dir, do_nothing, shell_only = (pathlib.Path(arg).absolute() for arg in sys.argv[2:5])
    programs = [do_nothing, shell_only, *sorted(dist_dir.glob("QB507_*.exe"))]
    with tempfile.TemporaryDirectory() as scratch:
        scratch = pathlib.Path(scratch)
        (scratch / "temp").mkdir()
        shutil.copy(do_nothing, scratch / "LinePack_Install.exe")
        wine.set_temp_dir(wine.windows_path(scratch / "temp") + "\\")
        for program in programs:  # warm the caches once
            wine.run(program, cwd=scratch)

        times = {program: [] for program in programs}
        for _ in range(runs):
            for program in programs:
                started = time.perf_counter()
                status = wine.run(program, cwd=scratch)
                times[program].append(time.perf_counter() - started)
                if status != 0:
                    sys.exit(f"{program.name} exited with {status}")

    baseline = statistics.median(times[do_nothing])
    print(f"{'program':<22}{'median ms':>10}{'ratio':>8}{'bytes':>8}   ({runs} runs each)")
    for program in programs:
        median = statistics.median(times[program])
        print(f"{program.name:<22}{median * 1000:>10.1f}{median / baseline:>8.2f}"
              f"{program.stat().st_size:>8}")


if __name__ == "__main__":
    main()
