#!/usr/bin/env bash
# Plants C:\harvin-linktest in the test prefix: a tree holding a file of its
# own and a symbolic link to a folder outside the tree, and a report tree
# with such a link for the archive's walk.
set -euo pipefail
prefix=${HARVIN_PREFIX:-$(cd "$(dirname "$0")/../.." && pwd)/build/wine/test-prefix}
base=$prefix/drive_c/harvin-linktest
rm -rf "$base"
mkdir -p "$base/tree" "$base/outside"
echo keep > "$base/outside/keep.txt"
echo own > "$base/tree/own.txt"
ln -s "$base/outside" "$base/tree/link"
# A tree base whose "SupportData" is itself a link to a folder elsewhere.
mkdir -p "$base/rootbase" "$base/behind"
echo keep > "$base/behind/keep.txt"
ln -s "$base/behind" "$base/rootbase/SupportData"
mkdir -p "$base/packed/SupportData"
echo own > "$base/packed/SupportData/own.txt"
ln -s "$base/outside" "$base/packed/SupportData/link"
