#!/usr/bin/env bash
# A two-level fracture of the bunny written as GLB with its manifest, imported into Blender:
# every piece's object must have its origin at the piece's centroid.
#   fracture_pivots.sh TESSELLON MESH [more tessellon options]
# Exit 77 (skipped) when Blender is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tessellon=$1 mesh=$2
blender=${BLENDER:-blender}
if ! command -v "$blender" >/dev/null; then
  echo "fracture_pivots: $blender not found (scripts/install-deps installs it)"; exit 77
fi
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
"$tessellon" voronoi "$mesh" --count 40 --impact -0.45,-0.08,0.16 --impact-count 30 --levels 2 \
  --level-count 6 --min-volume 0.05% -o "$tmp/pieces.glb" --manifest "$tmp/pieces.json" -q \
  "${@:3}" >/dev/null 2>"$tmp/err" || { cat "$tmp/err"; echo "fracture_pivots: tessellon failed"; exit 1; }
"$blender" -b --factory-startup --python-exit-code 1 --python "$here/check_glb_pivots.py" -- \
  "$tmp/pieces.glb" "$tmp/pieces.json" >"$tmp/out" 2>&1
rc=$?
grep -E "check_glb_pivots|FAIL|Error" "$tmp/out"
exit $rc
