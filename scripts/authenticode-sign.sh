#!/usr/bin/env bash
# Signs Windows programs with Authenticode (osslsigncode), in place.
#
#   scripts/authenticode-sign.sh CERT.pem KEY.pem FILE.exe...
#
# CERT.pem is the code-signing certificate (with its chain, PEM), KEY.pem its
# private key. Each file is signed into a temporary copy that replaces it only
# when signing succeeded. The build calls it when DVK_AUTHENTICODE_CERT and
# DVK_AUTHENTICODE_KEY are set; the test run calls it with a throwaway
# self-signed certificate (scripts/authenticode-test.sh).
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 CERT.pem KEY.pem FILE.exe..." >&2
  exit 2
fi
cert=$1
key=$2
shift 2
for exe in "$@"; do
  osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Dravlek Update" \
    -in "$exe" -out "$exe.signing" >/dev/null
  mv -f "$exe.signing" "$exe"
done
