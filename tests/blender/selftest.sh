#!/usr/bin/env bash
# Shows check_glb_pivots.py passes a correct GLB and catches each fault that
# make_test_glb.py plants, by the failure message it should print.
# Needs Debian's blender and python3-numpy; BLENDER overrides the binary.
# Exit 0 only when the good file passes and every bad one fails; 77 when
# Blender is missing (the usual "skipped" code).
set -u
here=$(cd "$(dirname "$0")" && pwd)
blender=${BLENDER:-blender}
if ! command -v "$blender" >/dev/null; then
    echo "selftest: $blender not found (apt-get install blender python3-numpy)"; exit 77
fi
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
run() { "$blender" -b --factory-startup --python-exit-code 1 --python "$@" >"$tmp/out" 2>&1; }

run "$here/make_test_glb.py" -- "$tmp" || { cat "$tmp/out"; echo "selftest: building test GLBs failed"; exit 1; }

pass=0 fail=0
# case  expected exit  text the checker must print
while read -r case want text; do
    run "$here/check_glb_pivots.py" -- "$tmp/$case.glb" "$tmp/$case.json"; rc=$?
    if [ "$rc" = "$want" ] && grep -q -- "$text" "$tmp/out"; then
        pass=$((pass + 1)); echo "ok   $case"
    else
        fail=$((fail + 1)); echo "FAIL $case (exit $rc, wanted $want and '$text')"; cat "$tmp/out"
    fi
done <<'CASES'
good           0 4 pieces checked, largest origin error .* 0 failures
moved-centroid 1 FAIL piece_2: origin
origin-at-zero 1 FAIL piece_0: origin (0.0, 0.0, 0.0)
doubled        1 FAIL piece_1_1: world bounds
no-extras      1 FAIL piece_0: no 'centroid' custom property
extra-mesh     1 FAIL stray: mesh object that is not a leaf piece
missing-leaf   1 FAIL piece_2: no mesh object for leaf piece
CASES
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
