#!/usr/bin/env bash
# Fails when the shared library exports a symbol that is not in the
# committed list, lacks one that is, exports it under another version node,
# or has another soname: hosts link against exactly these.
# Usage: check-symbols.sh <library> <exported-symbols.txt> <soname>
set -euo pipefail
library=$1 list=$2 soname=$3

# "name node" per symbol; one without a version node shows none.
actual=$(nm -D --defined-only "$library" | awk '$2 != "A" { n = split($3, part, "@@"); print part[1], (n > 1 ? part[2] : "none") }' | sort)
if ! diff <(sort "$list") <(echo "$actual") > /dev/null; then
    echo "FAIL: exported symbols differ from $list (< listed only, > exported only):"
    diff <(sort "$list") <(echo "$actual") || true
    exit 1
fi
found=$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')
[ "$found" = "$soname" ] || { echo "FAIL: soname $found, expected $soname"; exit 1; }
echo "PASS: $(echo "$actual" | wc -l) symbols, as listed, under $soname"
