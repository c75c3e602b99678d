#!/bin/sh
# Compares the MD5 digests our code wrote (digests.md5, md5sum's own format)
# with md5sum's for the same files.
set -eu
dir=$1
cd "$dir"
test -s digests.md5
lines=$(wc -l < digests.md5)
test "$lines" -ge 5 || { echo "expected at least 5 digests, got $lines"; exit 1; }
md5sum --strict -c digests.md5
