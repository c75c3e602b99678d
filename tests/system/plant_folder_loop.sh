#!/usr/bin/env bash
# Plants C:\harvin-folderloop in the test prefix: a folder holding a file and
# a symbolic link back to the folder itself, which Wine shows as a folder
# with the reparse-point attribute.
set -euo pipefail
prefix=${HARVIN_PREFIX:-$(cd "$(dirname "$0")/../.." && pwd)/build/wine/test-prefix}
base=$prefix/drive_c/harvin-folderloop
rm -rf "$base"
mkdir -p "$base/tree"
echo own > "$base/tree/own.txt"
ln -s "$base/tree" "$base/tree/loop"
