#!/usr/bin/env bash
# Plants C:\harvin-large in the test prefix: big.bin, a sparse file of 4 GiB
# of zeros followed by "HARVIN" (it takes no room on disk), and big.crc with
# the CRC-32 of those bytes as zlib computes it.
set -euo pipefail
prefix=${HARVIN_PREFIX:-$(cd "$(dirname "$0")/../.." && pwd)/build/wine/test-prefix}
base=$prefix/drive_c/harvin-large
rm -rf "$base"
mkdir -p "$base"
truncate -s 4G "$base/big.bin"
printf 'HARVIN' >> "$base/big.bin"
python3 - > "$base/big.crc" <<'PY'
import zlib
crc = 0
zeros = bytes(64 << 20)
for _ in range((4 << 30) // len(zeros)):
    crc = zlib.crc32(zeros, crc)
print(f"{zlib.crc32(b'HARVIN', crc):08X}")
PY
