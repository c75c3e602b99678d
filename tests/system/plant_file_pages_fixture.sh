#!/usr/bin/env bash
# Plants in the test prefix what the file pages tests list: a user profile
# with a file of each listed type and others, and trees below both program
# folders. Each holds a link back to a folder above it: made on the Linux
# side, where Wine shows a symbolic link as a folder with the reparse-point
# attribute (Wine's CreateSymbolicLink makes nothing). Times are fixed, for
# the pages show them; Wine takes a folder's creation time from its mtime.
set -euo pipefail
prefix=${HARVIN_PREFIX:-$(cd "$(dirname "$0")/../.." && pwd)/build/wine/test-prefix}
drive=$prefix/drive_c
stamp="2009-12-31 23:59:58 UTC"

profile="$drive/users/Planted & Profile"
rm -rf "$profile"
mkdir -p "$profile/Documents" "$profile/AppData/Roaming/Tools"
for name in Tool.EXE helper.dll script.vbs run.bat Shortcut.lnk REPORT.PDF setup.tmp "R&D.exe" \
            report.pdf.bak notes.txt; do
  printf 'planted' > "$profile/$name"
done
printf 'planted' > "$profile/Documents/readme.txt"
printf 'planted' > "$profile/AppData/Roaming/Tools/deep.exe"
ln -s "$profile" "$profile/Application Data"

tree="$drive/Program Files/Harvin Planted"
rm -rf "$tree"
mkdir -p "$tree/R&D/Level 2/Level 3/Level 4"
ln -s "$tree" "$tree/Loop"
touch -h -d "$stamp" "$tree/Loop"
touch -d "$stamp" "$tree/R&D/Level 2/Level 3/Level 4" "$tree/R&D/Level 2/Level 3" "$tree/R&D/Level 2" "$tree/R&D" \
  "$tree"

x86="$drive/Program Files (x86)/Harvin Planted x86"
rm -rf "$x86"
mkdir -p "$x86/Tools"
touch -d "$stamp" "$x86/Tools" "$x86"
