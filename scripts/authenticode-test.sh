#!/usr/bin/env bash
# Signs copies of the given programs with a throwaway self-signed certificate
# and checks each signature against that certificate.
#
#   scripts/authenticode-test.sh FILE.exe...
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Dravlek Update test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
for exe in "$@"; do
  copy="$work/$(basename "$exe")"
  cp "$exe" "$copy"
  "$here/authenticode-sign.sh" "$work/cert.pem" "$work/key.pem" "$copy"
  if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$copy" >"$work/verify.log" 2>&1; then
    cat "$work/verify.log" >&2
    echo "authenticode-test: $(basename "$exe"): the signature does not verify" >&2
    exit 1
  fi
  if cmp -s "$exe" "$copy"; then
    echo "authenticode-test: $(basename "$exe"): unchanged by signing" >&2
    exit 1
  fi
  # A verify that passes everything would prove nothing: one byte changed must fail it.
  size=$(stat -c %s "$copy")
  printf '\x5a' | dd of="$copy" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$copy" >/dev/null 2>&1; then
    echo "authenticode-test: $(basename "$exe"): a changed program still verifies" >&2
    exit 1
  fi
  echo "authenticode-test: $(basename "$exe"): signed and verified; a changed copy fails"
done
