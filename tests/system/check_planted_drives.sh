#!/usr/bin/env bash
# Runs the planted-drive cases of the drives page test in a prefix of their
# own, so no other test sees the drives: a floppy A:, an empty CD-ROM D:, a
# fixed E: with a volume label, a network G: with no connection behind it,
# a RAM disk R: and H:, whose root folder does not exist. Wine reads drive
# types only when its server starts, so the server is started after planting.
# The prefix and the drive folders are removed again at the end.
#   check_planted_drives.sh <source root> <drives_page_test.exe> <work folder>
set -euo pipefail
root=$1
test_program=$2
work=$3
source "$root/scripts/lib/wine.sh"
prefix=$work/prefix
drives=$work/drives

cleanup() {
  wine_stop_server "$prefix"
  rm -rf "$work"
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$drives"/{a,d,e,g,r}
wine_fresh_prefix "$prefix"

printf '%s' 'Harvin & <Data> 100%' >"$drives/e/.windows-label"
printf '%s' '1A2B3C4D' >"$drives/e/.windows-serial"
for letter in a d e g r; do
  ln -sfn "$drives/$letter" "$prefix/dosdevices/$letter:"
done
ln -sfn "$drives/h-does-not-exist" "$prefix/dosdevices/h:"
cat >"$work/drives.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Wine\Drives]
"a:"="floppy"
"d:"="cdrom"
"e:"="hd"
"g:"="network"
"h:"="hd"
"r:"="ramdisk"
REG
wine_env "$prefix" "$WINE64" regedit /S "Z:${work//\//\\}\\drives.reg" >/dev/null 2>&1
wine_stop_server "$prefix"
wine_start_server "$prefix"

# A filter that selects nothing passes too: the case must have run.
HARVIN_PREFIX=$prefix "$root/scripts/wine-exec" "$test_program" --gtest_filter='PlantedDrivesTest.*' | tee "$work/output.txt"
grep -q '^\[       OK \] PlantedDrivesTest\.' "$work/output.txt" || { echo "the planted-drive case did not run"; exit 1; }
