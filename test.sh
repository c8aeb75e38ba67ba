#!/usr/bin/env bash
# Sets this machine up, builds, and runs every test: the job's unit tests on
# this machine, then the deliverables under Wine, their images and the
# shipping checks. Ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-prerequisites.sh
trap 'WINEPREFIX=$PWD/build/windows-x86/wine-prefix scripts/wine-prefix.sh stop' EXIT

cmake --preset host-tests
cmake --build --preset host-tests
ctest --preset host-tests

cmake --preset windows-x86
cmake --build --preset windows-x86
ctest --preset windows-x86
