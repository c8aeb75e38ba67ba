#!/usr/bin/env bash
# ship-deliverable.sh BUILT DESTINATION
# Places one built executable at DESTINATION, signed with Authenticode when
# CODESIGN_PKCS12 names a certificate (CODESIGN_TIMESTAMP_URL optional). The
# password is read from CODESIGN_PASSWORD and reaches osslsigncode through a
# pipe, never through its arguments, a file or the log. DESTINATION appears
# whole or not at all: a failed signing leaves no file there.
set -euo pipefail

built=$1
destination=$2
partial="$destination.partial"
log=$(mktemp)
trap 'rm -f "$partial" "$log"' EXIT

rm -f "$destination"
mkdir -p "$(dirname "$destination")"

if [ -z "${CODESIGN_PKCS12:-}" ]; then
  cp "$built" "$partial"
else
  name=$(basename "$destination")
  if [ -z "${CODESIGN_PASSWORD+set}" ]; then
    echo "error: cannot sign $name: set CODESIGN_PASSWORD to the password of $CODESIGN_PKCS12" >&2
    exit 1
  fi
  if [ ! -r "$CODESIGN_PKCS12" ]; then
    echo "error: cannot sign $name: cannot read the certificate $CODESIGN_PKCS12" >&2
    exit 1
  fi
  sign=(osslsigncode sign -pkcs12 "$CODESIGN_PKCS12" -readpass /dev/stdin -h sha256
        -in "$built" -out "$partial")
  if [ -n "${CODESIGN_TIMESTAMP_URL:-}" ]; then
    sign+=(-ts "$CODESIGN_TIMESTAMP_URL")
  fi
  if ! printf '%s' "$CODESIGN_PASSWORD" | "${sign[@]}" >"$log" 2>&1; then
    echo "error: signing $name with $CODESIGN_PKCS12 failed (wrong password, or not a PKCS#12 file with a key and certificate); nothing placed in $(dirname "$destination"). osslsigncode said:" >&2
    sed 's/^/  /' "$log" >&2
    exit 1
  fi
fi
mv -f "$partial" "$destination"
