#!/usr/bin/env bash
# Compares the live version texts of the probe program with what reg.exe
# reads from HKLM\Software\Microsoft\Windows NT\CurrentVersion in the same
# prefix.   check_version_registry.sh <source root> <probe.exe>
set -euo pipefail
root=$1
probe=$2
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'

# The data of one REG_SZ value ("    Name    REG_SZ    data" lines).
reg_value() {
  "$root/scripts/wine-exec" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
    sed -nE "s/^ +$1 +REG_[A-Z_]+ {0,4}//p" | head -n1
}

version=$(reg_value CurrentVersion)
build=$(reg_value CurrentBuildNumber)
csd=$(reg_value CSDVersion || true)
[ -n "$version" ] && [ -n "$build" ] || { echo "reg query gave no version ($version / $build)"; exit 1; }

mapfile -t lines < <("$root/scripts/wine-exec" "$probe" | tr -d '\r')
detail=${lines[0]:-}
name=${lines[1]:-}
service_pack=${lines[2]:-}

shown_csd=$csd
[ -n "${csd// /}" ] || shown_csd=plain
expected="($shown_csd)  [$version.$build]"

status=0
if [ "$detail" != "$expected" ]; then
  echo "detail text:   '$detail'"
  echo "from registry: '$expected'"
  status=1
fi
if [ "$service_pack" != "$csd" ]; then
  echo "service pack text '$service_pack' differs from CSDVersion '$csd'"
  status=1
fi
if [ "$version" = 6.1 ] && [[ "$name" != "Windows 7"* && "$name" != "Windows Server 2008 R2"* ]]; then
  echo "name '$name' for version 6.1"
  status=1
fi
[ $status = 0 ] && echo "version texts match the registry: $detail / $name"
exit $status
