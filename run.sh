#!/usr/bin/env bash
# Sets this machine up, builds every deliverable into dist/, then runs
# QB507_KPL553.exe under Wine beside the sample setup program in a scratch
# folder and shows the marker it wrote and what the setup program saw.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

scripts/install-prerequisites.sh
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
echo
echo "== dist/"
ls -l dist

export WINEPREFIX=$root/build/windows-x86/wine-prefix WINEARCH=win32 WINEDEBUG=-all
unset DISPLAY
scratch=$(mktemp -d)
trap 'scripts/wine-prefix.sh stop; rm -rf "$scratch"' EXIT
scripts/wine-prefix.sh start

mkdir "$scratch/temp"
cp dist/QB507_KPL553.exe "$scratch/"
cp build/windows-x86/samples/sample_setup_program.exe "$scratch/LinePack_Install.exe"
temp_dir="Z:$(echo "$scratch/temp" | tr / '\\')\\"
wine reg add 'HKCU\Environment' /v TMP /d "$temp_dir" /f >/dev/null

echo
echo "== Running QB507_KPL553.exe in $scratch (temporary directory $temp_dir)"
status=0
(cd "$scratch" && wine QB507_KPL553.exe) || status=$?
echo "exit status: $status"

# The launcher does not wait for the setup program; we do, for a while.
for _ in $(seq 100); do
  [ -s "$scratch/LinePack_Install.log" ] && break
  sleep 0.1
done
echo
echo "== The marker $temp_dir""ActiveDevice.txt"
od -A d -c "$scratch/temp/ActiveDevice.txt"
echo
echo "== What the sample setup program saw"
cat "$scratch/LinePack_Install.log" 2>/dev/null || echo "(it wrote nothing: did it start?)"
