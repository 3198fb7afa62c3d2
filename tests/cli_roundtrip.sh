#!/usr/bin/env bash
# cli_roundtrip.sh TESSELLON EXAMPLES MESHES VALIDATOR CASE: what the command's files carry
# from run to run (identifiers by name, UVs, pieces), and its GLB checked by the Khronos
# validator (VALIDATOR: tools/gltf-validator/validate.js). Each CASE prints what went wrong and
# exits 1.
set -u
tessellon=$1 examples=$2 meshes=$3 validator=$4 case=$5
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# fail MESSAGE..., run STATUS ARGS...
source "$(dirname "$0")/support/cli_run.sh"

# The summary's identifier table on one line: "inside": -2, "left": 0, ...
identifiers() {
  tr -d '\n ' <"$dir/out" | sed 's/.*"identifiers":{\([^}]*\)}.*/\1/'
}

# obj_faces FILE: one line per face, "material corner-uvs...", in file order: what a round trip
# must keep whatever the points are numbered.
obj_faces() {
  awk '/^vt / { vt[++n] = $2 " " $3 " " $4 }
       /^usemtl / { m = substr($0, 8) }
       /^f / { line = m; for (i = 2; i <= NF; i++) { split($i, c, "/"); line = line " " vt[c[2]] }
               print line }' "$1"
}

# ply_faces FILE: "face_id uvw..." per face.
ply_faces() {
  awk 'body { if (skip > 0) { skip--; next }
              n = $1; line = $(n + 3); for (i = n + 5; i <= NF; i++) line = line " " $i; print line }
       /^element vertex/ { skip = $3 } /^end_header/ { body = 1 }' "$1"
}

# A cube of side 2 at the origin whose faces carry two materials, "steel" first, and UVs.
materials_cube() {
  cat <<'OBJ'
v -1 -1 -1
v 1 -1 -1
v -1 1 -1
v 1 1 -1
v -1 -1 1
v 1 -1 1
v -1 1 1
v 1 1 1
vt 0 0
vt 1 0
vt 1 1
vt 0 1
OBJ
  echo "usemtl $1"
  printf 'f 1/1 3/2 4/3 2/4\nf 5/1 6/2 8/3 7/4\nf 1/1 2/2 6/3 5/4\n'
  echo "usemtl $2"
  printf 'f 3/1 7/2 8/3 4/4\nf 1/1 5/2 7/3 3/4\nf 2/1 4/2 8/3 6/4\n'
}

case $case in
  obj_round_trip)
    # Boolean to OBJ, then the file into every verb: names, UVs and cut faces come back.
    run 0 boolean "$examples/two_boxes.obj" "$examples/octahedron_knife.obj" --op a-minus-b \
      --move-b 1,1,1 -o "$dir/notched.obj" --json
    first=$(identifiers)
    [ "$first" = '"inside":-2,"left":0,"right":1,"octahedron_knife":2' ] || fail "identifiers: $first"
    [ -f "$dir/notched.mtl" ] || fail "no .mtl beside the OBJ"
    grep -q '^mtllib notched.mtl$' "$dir/notched.obj" || fail "no mtllib line"
    # The walls of the notch are the knife's own faces, under its file's name.
    for m in left right octahedron_knife; do
      grep -q "^usemtl $m\$" "$dir/notched.obj" || fail "no faces under $m"
    done
    for m in left right octahedron_knife inside; do
      grep -q "^newmtl $m\$" "$dir/notched.mtl" || fail "no material $m in the .mtl"
    done
    # The same faces, materials and UVs after a pass through the Combiner.
    run 0 combine "$dir/notched.obj" -o "$dir/again.obj" --json
    [ "$(identifiers)" = "$first" ] || fail "identifiers read back: $(identifiers)"
    diff <(obj_faces "$dir/notched.obj") <(obj_faces "$dir/again.obj") >"$dir/diff" ||
      fail "faces changed in the round trip:" "$(head "$dir/diff")"
    # Another Boolean on the result: every earlier name keeps its number, its UVs stay.
    run 0 boolean "$dir/notched.obj" "$examples/octahedron_knife.obj" --op a-minus-b \
      --move-b 2.5,0.5,0.5 -o "$dir/twice.obj" --json
    [ "$(identifiers)" = "$first" ] || fail "identifiers after a second Boolean: $(identifiers)"
    corners=$(grep '^f ' "$dir/twice.obj" | awk '{n += NF - 1} END {print n}')
    grep -q "\"uvw\": $corners," "$dir/out" || fail "uvw is not one per corner ($corners)"
    grep -q '^usemtl octahedron_knife$' "$dir/twice.obj" || fail "the knife's walls lost their name"
    grep -q '^vt 1 1 0$' "$dir/twice.obj" || fail "the boxes' own UVs are gone"
    run 0 voronoi "$dir/notched.obj" --count 6 --seed 4 -o "$dir/pieces.obj" --json
    [ "$(identifiers)" = "$first" ] || fail "identifiers in voronoi: $(identifiers)"
    # The Voronoi node's inner faces have no identifier: the inner name.
    for m in left right octahedron_knife inside; do
      grep -q "^usemtl $m\$" "$dir/pieces.obj" || fail "voronoi lost $m"
    done
    run 0 continuous "$dir/notched.obj" --knife "$examples/octahedron_knife.obj" \
      --instances "$examples/knife_instances.txt" -o "$dir/carved.obj" --json
    [ "$(identifiers)" = "$first" ] || fail "identifiers in continuous: $(identifiers)"
    grep -q '^usemtl left$' "$dir/carved.obj" && grep -q '^usemtl inside$' "$dir/carved.obj" ||
      fail "continuous lost a name"
    ;;
  ply_round_trip)
    # The same through PLY: face_id with its names in comments, island, per-corner uvw.
    run 0 boolean "$examples/two_boxes.obj" "$examples/octahedron_knife.obj" --op a-minus-b \
      --move-b 1,1,1 -o "$dir/notched.ply" --json
    first=$(identifiers)
    grep -q '^comment identifier 2 octahedron_knife$' "$dir/notched.ply" &&
      grep -q '^comment identifier 1 right$' "$dir/notched.ply" || fail "no identifier names"
    run 0 combine "$dir/notched.ply" -o "$dir/again.ply" --json
    [ "$(identifiers)" = "$first" ] || fail "identifiers read back: $(identifiers)"
    diff <(ply_faces "$dir/notched.ply") <(ply_faces "$dir/again.ply") >"$dir/diff" ||
      fail "face_id or uvw changed:" "$(head "$dir/diff")"
    grep -q '"islands": 2,' "$dir/out" || fail "islands: $(cat "$dir/out")"
    run 0 boolean "$dir/notched.ply" "$examples/octahedron_knife.obj" --op union \
      --move-b 2.5,0.5,1 -o "$dir/twice.obj" --json
    [ "$(identifiers)" = "$first" ] || fail "identifiers after a second Boolean: $(identifiers)"
    for m in left right octahedron_knife; do
      grep -q "^usemtl $m\$" "$dir/twice.obj" || fail "no faces under $m"
    done
    run 0 voronoi "$dir/notched.ply" --count 5 --seed 2 -o "$dir/pieces.ply" --json
    [ "$(identifiers)" = "$first" ] || fail "identifiers in voronoi: $(identifiers)"
    # Its inner faces (-2) are cut faces again when read back.
    run 0 combine "$dir/pieces.ply" --filter-id inside --json
    grep -q '"faces": 0,' "$dir/out" && fail "no cut face in the pieces read back"
    run 0 continuous "$dir/notched.ply" --knife "$examples/octahedron_knife.obj" \
      --instances "$examples/knife_instances.txt" -o "$dir/carved.ply" --json
    [ "$(identifiers)" = "$first" ] || fail "identifiers in continuous: $(identifiers)"
    ;;
  shared_names)
    # A material in A and in B is one identifier; the cut faces can take another name, and
    # faces read under that name are cut faces again.
    materials_cube steel wood >"$dir/a.obj"
    materials_cube glass steel >"$dir/b.obj"
    run 0 boolean "$dir/a.obj" "$dir/b.obj" --op union --move-b 1,0.5,0.25 --inner-name seam \
      -o "$dir/u.obj" --json
    [ "$(identifiers)" = '"seam":-2,"steel":0,"wood":1,"glass":2' ] || fail "$(identifiers)"
    [ "$(grep -c '^newmtl steel$' "$dir/u.mtl")" -eq 1 ] || fail "steel twice in the .mtl"
    run 0 boolean "$dir/u.obj" "$dir/a.obj" --op union --move-b 0,-2,0 --inner-name seam --json
    [ "$(identifiers)" = '"seam":-2,"steel":0,"wood":1,"glass":2' ] || fail "$(identifiers)"
    materials_cube steel seam >"$dir/c.obj"
    run 0 combine "$dir/c.obj" --inner-name seam --filter-id -2 --json
    grep -q '"faces": 3,' "$dir/out" || fail "faces under the inner name are not cut faces"
    [ "$(identifiers)" = '"seam":-2,"steel":0' ] || fail "$(identifiers)"
    run 64 combine "$dir/u.obj" --filter-id brass
    grep -q "no identifier named 'brass'" "$dir/err" || fail "$(cat "$dir/err")"
    ;;
  solids)
    # B wholly inside A: A minus B is one solid with a cavity, one object, unless asked.
    run 0 boolean "$examples/two_boxes.obj" "$examples/octahedron_knife.obj" --op a-minus-b \
      --move-b 0.5,0.5,0.5 --scale-b 0.5 -o "$dir/hollow.obj" --json
    grep -q '"pieces": 2,' "$dir/out" || fail "$(cat "$dir/out")"
    [ "$(grep -c '^o ' "$dir/hollow.obj")" -eq 2 ] || fail "objects: $(grep '^o ' "$dir/hollow.obj")"
    run 0 boolean "$examples/two_boxes.obj" "$examples/octahedron_knife.obj" --op a-minus-b \
      --move-b 0.5,0.5,0.5 --scale-b 0.5 --pieces islands -o "$dir/apart.obj" --json
    grep -q '"pieces": 3,' "$dir/out" || fail "$(cat "$dir/out")"
    [ "$(grep -c '^o ' "$dir/apart.obj")" -eq 3 ] || fail "objects: $(grep '^o ' "$dir/apart.obj")"
    ;;
  glb_bunny)
    # The fractured bunny as GLB: valid for the Khronos validator, a node per piece, the cut
    # faces under their own material.
    [ -f "$(dirname "$validator")/node_modules/gltf-validator/package.json" ] ||
      fail "the glTF validator is not installed (scripts/install-deps installs it)"
    run 0 voronoi "$meshes/bunny00.off" --count 50 --seed 3 --explode 0.3 -o "$dir/bunny.glb" --json
    pieces=$(tr -d '\n ' <"$dir/out" | sed 's/.*"pieces":\([0-9]*\).*/\1/')
    [ "$pieces" -ge 45 ] || fail "only $pieces pieces"
    node "$validator" "$dir/bunny.glb" >"$dir/report" || fail "validator:" "$(head -20 "$dir/report")"
    grep -q '^errors 0 ' "$dir/report" || fail "$(head -20 "$dir/report")"
    node -e '
      const b = require("fs").readFileSync(process.argv[1]);
      const j = JSON.parse(b.toString("utf8", 20, 20 + b.readUInt32LE(12)));
      const names = j.nodes.map((n) => n.name);
      const mats = j.materials.map((m) => m.name);
      const prims = j.meshes.flatMap((m) => m.primitives);
      const ok = prims.every((p) => "TEXCOORD_0" in p.attributes && "_FACE_ID" in p.attributes &&
                                    "NORMAL" in p.attributes);
      console.log(names.length, new Set(names).size, mats.sort().join(","), ok,
                  prims.filter((p) => mats[p.material] === "inside").length);
    ' "$dir/bunny.glb" >"$dir/facts" || fail "cannot read the GLB: $(cat "$dir/facts")"
    read -r nodes distinct materials attributes inside <"$dir/facts"
    [ "$nodes" -eq "$pieces" ] && [ "$distinct" -eq "$pieces" ] || fail "nodes: $(cat "$dir/facts")"
    [ "$materials" = "bunny00,inside" ] || fail "materials: $materials"
    [ "$attributes" = true ] || fail "a primitive lacks TEXCOORD_0, NORMAL or _FACE_ID"
    ;;
  preview_file)
    # A picture of the asked size, next to the result; a bad picture path fails before the run.
    run 0 continuous "$examples/two_boxes.obj" --knife "$examples/octahedron_knife.obj" \
      --instances "$examples/knife_instances.txt" --preview "$dir/carved.png" \
      --preview-size 320x200 --json
    grep -q "\"preview\": \"$dir/carved.png\"" "$dir/out" || fail "$(cat "$dir/out")"
    [ "$(head -c 8 "$dir/carved.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
      fail "not a PNG"
    size=$(od -An -tu1 -j16 -N8 "$dir/carved.png" | awk '{print $3 * 256 + $4, $7 * 256 + $8}')
    [ "$size" = "320 200" ] || fail "size $size"
    run 73 combine "$examples/two_boxes.obj" --preview "$dir/x.jpg"
    grep -q "unknown output format '.jpg' (expected .png)" "$dir/err" || fail "$(cat "$dir/err")"
    run 64 combine "$examples/two_boxes.obj" --preview "$dir/x.png" --preview-size 10x10
    ;;
  *)
    fail "unknown case $case"
    ;;
esac
