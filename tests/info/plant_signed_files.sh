#!/usr/bin/env bash
# Plants C:\harvin-signatures in the test prefix: copies of a test program
# signed at test time (no key material is kept) under a root made here and
# added to the prefix's machine Root store: signed.exe (its signer's name
# holds markup), unsigned.exe, tampered.exe (signed.exe with one byte of code
# changed) and untrusted.exe (signed under a second root, not planted).
#   plant_signed_files.sh PROGRAM ROOT_PLANTER
set -euo pipefail
program=$1 planter=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=${HARVIN_PREFIX:-$root/build/wine/test-prefix}
base=$prefix/drive_c/harvin-signatures
rm -rf "$base" && mkdir -p "$base/keys" && cd "$base/keys"

certify() {  # NAME COMMON_NAME [ROOT]: a root, or a code signer under ROOT, signing PROGRAM as NAME.exe
  if [ $# = 2 ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 -subj "/CN=$2" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
    return
  fi
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days 30 -extfile "$1.ext" \
    -out "$1.pem" 2>/dev/null
  cat "$1.pem" "$3.pem" >"$1.chain"
  osslsigncode sign -certs "$1.chain" -key "$1.key" -in "$program" -out "$base/$1.exe" >/dev/null
}
certify root "Harvin Test Root"
certify signed "Harvin & Test <Signer>" root
certify stranger "Harvin Unplanted Root"
certify untrusted "Harvin Outsider" stranger
cp "$program" "$base/unsigned.exe"
cp "$base/signed.exe" "$base/tampered.exe"
# The first byte of the code section: the digest covers it.
offset=$(/usr/bin/python3 -c 'import pefile,sys; print(pefile.PE(sys.argv[1]).sections[0].PointerToRawData)' "$program")
printf '\xcc' | dd of="$base/tampered.exe" bs=1 seek="$offset" conv=notrunc status=none
openssl x509 -in root.pem -outform der -out root.der
rm -f ./*.key
HARVIN_PREFIX=$prefix "$root/scripts/wine-exec" "$planter" 'C:\harvin-signatures\keys\root.der'
