#!/usr/bin/env bash
# ship-deliverables.sh MANIFEST DIST_DIR
# Places the executables that MANIFEST lists in DIST_DIR under their shipping
# names, signed with Authenticode when MANIFEST names a PKCS#12 file, and
# writes DIST_DIR/SHA256SUMS for exactly those. MANIFEST lines:
#   pkcs12=PATH            optional; the password comes from CODESIGN_PASSWORD
#   timestamp_url=URL      optional
#   deliverable=BUILT<TAB>NAME
# A deliverable is placed again only when it was rebuilt or the settings
# changed. The password reaches osslsigncode through a pipe, never its
# arguments, a file or the log. A file appears in DIST_DIR whole or not at
# all, and SHA256SUMS only once every deliverable is in place.
set -euo pipefail

manifest=$1
dist=$2
pkcs12=
timestamp_url=
built=()
names=()
while IFS= read -r line; do
  case $line in
    pkcs12=*) pkcs12=${line#pkcs12=} ;;
    timestamp_url=*) timestamp_url=${line#timestamp_url=} ;;
    deliverable=*)
      entry=${line#deliverable=}
      built+=("${entry%%$'\t'*}")
      names+=("${entry#*$'\t'}")
      ;;
  esac
done <"$manifest"

mkdir -p "$dist"
log=$(mktemp)
trap 'rm -f "$log" "$dist"/*.partial' EXIT

up_to_date() {  # DESTINATION BUILT
  [ "$1" -nt "$2" ] && [ "$1" -nt "$manifest" ] && { [ -z "$pkcs12" ] || [ "$1" -nt "$pkcs12" ]; }
}

sign() {  # BUILT OUTPUT NAME
  if [ -z "${CODESIGN_PASSWORD+set}" ]; then
    echo "error: cannot sign $3: set CODESIGN_PASSWORD to the password of $pkcs12" >&2
    return 1
  fi
  if [ ! -r "$pkcs12" ]; then
    echo "error: cannot sign $3: cannot read the certificate $pkcs12" >&2
    return 1
  fi
  local command=(osslsigncode sign -pkcs12 "$pkcs12" -readpass /dev/stdin -h sha256
                 -in "$1" -out "$2")
  if [ -n "$timestamp_url" ]; then
    command+=(-ts "$timestamp_url")
  fi
  if ! printf '%s' "$CODESIGN_PASSWORD" | "${command[@]}" >"$log" 2>&1; then
    echo "error: signing $3 with $pkcs12 failed: wrong password, or not a PKCS#12 file with a code-signing key and certificate. osslsigncode said:" >&2
    sed 's/^/  /' "$log" >&2
    return 1
  fi
}

# Whatever is to be placed again goes first, so that a failure part way
# leaves no outdated or unsigned copy beside the new ones.
pending=()
for i in "${!names[@]}"; do
  up_to_date "$dist/${names[$i]}" "${built[$i]}" || pending+=("$i")
done
if [ ${#pending[@]} -gt 0 ]; then
  rm -f "$dist/SHA256SUMS"
  for i in "${pending[@]}"; do rm -f "$dist/${names[$i]}"; done
fi

for i in "${pending[@]}"; do
  destination="$dist/${names[$i]}"
  if [ -n "$pkcs12" ]; then
    sign "${built[$i]}" "$destination.partial" "${names[$i]}" || {
      echo "error: nothing placed for ${names[$i]} in $dist" >&2
      exit 1
    }
  else
    cp "${built[$i]}" "$destination.partial"
  fi
  mv -f "$destination.partial" "$destination"
  echo "Placed ${names[$i]}${pkcs12:+ (signed)} in $dist"
done

# Deliverables of models no longer built would otherwise ship unlisted.
for stale in "$dist"/QB507_*.exe; do
  [ -e "$stale" ] || continue
  printf '%s\n' "${names[@]}" | grep -qxF -- "$(basename "$stale")" || rm -f "$stale"
done

if [ ! -e "$dist/SHA256SUMS" ]; then
  (cd "$dist" && sha256sum -- "${names[@]}" >SHA256SUMS.partial && mv SHA256SUMS.partial SHA256SUMS)
fi
