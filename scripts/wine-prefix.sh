#!/usr/bin/env bash
# wine-prefix.sh start|stop
# start: makes the 32-bit prefix in WINEPREFIX if it is not there yet and
# keeps its wineserver running for the tests; stop: ends that wineserver and
# every Windows process left in the prefix.
set -euo pipefail
: "${WINEPREFIX:?}"
export WINEARCH=win32 WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

case "${1:-}" in
  start)
    # Kept running until stop, so that each program starts quickly. It fails
    # only when a server for this prefix is already up, which is as good.
    wineserver --persistent </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Making the Wine prefix $WINEPREFIX"
      # No Mono or Gecko: nothing here needs them, and their installers would ask.
      WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot --init
    fi
    ;;
  stop)
    wineserver --kill || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
