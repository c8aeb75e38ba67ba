#!/usr/bin/env bash
# bench/run.sh [RUNS]  (default 40)
# Builds the deliverables, then times them against a do-nothing program and
# one that only makes the shell request, under the build tree's Wine prefix
# with its wineserver kept running.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-40}

scripts/install-prerequisites.sh
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 >/dev/null

export WINEPREFIX=$PWD/build/windows-x86/wine-prefix WINEARCH=win32 WINEDEBUG=-all
unset DISPLAY
trap 'scripts/wine-prefix.sh stop' EXIT
scripts/wine-prefix.sh start

echo "$(nproc) cores, $(uname -m), $(wine --version), $(date -u +%Y-%m-%d)"
/usr/bin/python3 bench/benchmark.py "$runs" dist \
  build/windows-x86/bench/do_nothing.exe build/windows-x86/bench/shell_only.exe
