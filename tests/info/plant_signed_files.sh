#!/usr/bin/env bash
# Plants C:\harvin-signatures in the test prefix: copies of a test program
# signed at test time (no key material is kept) with a root and a signer made
# here, the root added to the prefix's machine Root store:
#   signed.exe     signed by the test signer (its name holds markup)
#   unsigned.exe   the program as built
#   tampered.exe   signed.exe with one byte of its code changed
#   untrusted.exe  signed under a second root that is not planted
#   plant_signed_files.sh PROGRAM ROOT_PLANTER
set -euo pipefail
program=$1 planter=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=${HARVIN_PREFIX:-$root/build/wine/test-prefix}
base=$prefix/drive_c/harvin-signatures
rm -rf "$base"
mkdir -p "$base/keys"
cd "$base/keys"

make_root() {  # NAME COMMON_NAME
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 -subj "/CN=$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
make_signer() {  # NAME ROOT COMMON_NAME
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$3" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days 30 -extfile "$1.ext" \
    -out "$1.pem" 2>/dev/null
  cat "$1.pem" "$2.pem" >"$1.chain"
}
sign() {  # SIGNER OUTPUT
  osslsigncode sign -certs "$1.chain" -key "$1.key" -in "$program" -out "$base/$2" >/dev/null
}

make_root root "Harvin Test Root"
make_signer signer root "Harvin & Test <Signer>"
make_root stranger "Harvin Unplanted Root"
make_signer outsider stranger "Harvin Outsider"
sign signer signed.exe
sign outsider untrusted.exe
cp "$program" "$base/unsigned.exe"
cp "$base/signed.exe" "$base/tampered.exe"
# The first byte of the code section: the digest covers it.
offset=$(/usr/bin/python3 -c 'import pefile,sys; p=pefile.PE(sys.argv[1]); print(p.sections[0].PointerToRawData)' "$program")
printf '\xcc' | dd of="$base/tampered.exe" bs=1 seek="$offset" conv=notrunc status=none
openssl x509 -in root.pem -outform der -out root.der
HARVIN_PREFIX=$prefix "$root/scripts/wine-exec" "$planter" 'C:\harvin-signatures\keys\root.der'
rm -f ./*.key
