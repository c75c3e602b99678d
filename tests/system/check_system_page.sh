#!/usr/bin/env bash
# Runs the probe program to write the system information page, then compares
# its operating system block and product id line with what reg.exe reads from
# HKLM\Software\Microsoft\Windows NT\CurrentVersion in the same prefix.
#   check_system_page.sh <source root> <system_page_probe.exe> <output folder>
set -euo pipefail
export LC_ALL=C
root=$1
probe=$2
out=$3
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'

rm -rf "$out"
mkdir -p "$out"
"$root/scripts/wine-exec" "$probe" "Z:${out//\//\\}" >/dev/null 2>&1
page=$out/SystemInformations.html
[ -s "$page" ] || { echo "the probe wrote no page"; exit 1; }

# The data of one REG_SZ value ("    Name    REG_SZ    data" lines); $2 is the view.
reg_value() {
  "$root/scripts/wine-exec" reg query "$key" /v "$1" "$2" 2>/dev/null | tr -d '\r' |
    sed -nE "s/^ +$1 +REG_[A-Z_]+ {0,4}//p" | head -n1
}
# The text after a label of the page, without the line's markup at the end.
page_value() {
  tr -d '\r' <"$page" | grep -a -F -- "$1" | head -n1 | sed -e "s/^.*$1//" -e 's/<BR>$//' -e 's/<\/div>$//'
}

version=$(reg_value CurrentVersion /reg:64)
build=$(reg_value CurrentBuildNumber /reg:64)
csd=$(reg_value CSDVersion /reg:64 || true)
product=$(reg_value ProductName /reg:64)
product_id=$(reg_value ProductId /reg:32 || true)
[ -n "$version" ] && [ -n "$build" ] && [ -n "$product" ] ||
  { echo "reg query gave no version ($version / $build / $product)"; exit 1; }

platform=$(page_value 'Operating system platform --------------> ')
shown_version=$(page_value 'Operating system version ---------------> ')
enhanced=$(page_value 'Enhanced version information -----------> ')
registry_line=$(page_value 'Version information from registry ------> ')
shown_id=$(page_value 'Product identification number ----------> ')

status=0
fail() { echo "$1"; status=1; }

shown_csd=$csd
[ -n "${csd// /}" ] || shown_csd=plain
[ "$shown_version" = "($shown_csd)  [$version.$build]" ] ||
  fail "version line '$shown_version', registry says ($shown_csd)  [$version.$build]"

expected_enhanced=$csd
[ -n "$csd" ] || expected_enhanced='[No enhanced information available]'
[ "$enhanced" = "$expected_enhanced" ] || fail "enhanced line '$enhanced', CSDVersion '$csd'"

# "Microsoft Windows 7" names what the page calls "Windows 7 x64 - <edition>".
name=${product#Microsoft }
[[ "$platform" == "$name"* ]] || fail "platform line '$platform' does not start with '$name' (ProductName '$product')"
platform_name=${platform%% - *}
[ "$registry_line" = "$platform_name ($csd)  [$version.$build]" ] ||
  fail "registry version line '$registry_line', expected '$platform_name ($csd)  [$version.$build]'"

# The product id comes from the 32-bit view: empty when it has none.
expected_id=$product_id
[ -z "$product_id" ] || [ -n "${product_id// /}" ] || expected_id='[no information available]'
[ "$shown_id" = "$expected_id" ] || fail "product id line '$shown_id', 32-bit view has '$product_id'"

[ $status = 0 ] && echo "system page matches the registry: $platform / $shown_version"
exit $status
