#!/usr/bin/env bash
# cli_files.sh TESSELLON EXAMPLES MESHES CASE: command-line cases that need files made on the
# spot or more than one look at the result. Each CASE prints what went wrong and exits 1.
set -u
tessellon=$1 examples=$2 meshes=$3 case=$4
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# fail MESSAGE..., run STATUS ARGS...
source "$(dirname "$0")/support/cli_run.sh"

# A prism whose two caps are faces of N corners.
prism() {
  awk -v n="$1" 'BEGIN {
    print "OFF"; print 2 * n, n + 2, 0
    for (z = 0; z <= 1; z++)
      for (i = 0; i < n; i++) printf "%.9g %.9g %d\n", cos(6.283185307 * i / n), sin(6.283185307 * i / n), z
    printf "%d", n; for (i = n - 1; i >= 0; i--) printf " %d", i; print ""
    printf "%d", n; for (i = 0; i < n; i++) printf " %d", n + i; print ""
    for (i = 0; i < n; i++) print 4, i, (i + 1) % n, n + (i + 1) % n, n + i
  }'
}

# An octahedron of radius 0.4 around the origin, without texture coordinates; "open" leaves
# out its last face, "quads" gives a cube of side 0.6 in quadrilaterals instead.
knife() {
  case $1 in
    octahedron | open)
      printf 'OFF\n6 %d 0\n0.4 0 0\n-0.4 0 0\n0 0.4 0\n0 -0.4 0\n0 0 0.4\n0 0 -0.4\n' \
        "$([ "$1" = open ] && echo 7 || echo 8)"
      printf '3 0 2 4\n3 2 1 4\n3 1 3 4\n3 3 0 4\n3 2 0 5\n3 1 2 5\n3 3 1 5\n'
      [ "$1" = open ] || printf '3 0 3 5\n' ;;
    quads)
      printf 'OFF\n8 6 0\n-.3 -.3 -.3\n.3 -.3 -.3\n-.3 .3 -.3\n.3 .3 -.3\n'
      printf -- '-.3 -.3 .3\n.3 -.3 .3\n-.3 .3 .3\n.3 .3 .3\n'
      printf '4 0 2 3 1\n4 4 5 7 6\n4 0 1 5 4\n4 2 6 7 3\n4 0 4 6 2\n4 1 3 7 5\n' ;;
  esac
}

case $case in
  ply_large_face)
    # Faces of any size survive a PLY round trip: the counts are uint, not uchar.
    prism 300 >"$dir/prism.off"
    run 0 combine "$dir/prism.off" -o "$dir/prism.ply" --json
    grep -q '^property list uint int vertex_indices$' "$dir/prism.ply" || fail "no uint face list"
    grep -q '^300 ' "$dir/prism.ply" || fail "no face of 300 corners in the file"
    run 0 combine "$dir/prism.ply" --json
    grep -q '"points": 600,' "$dir/out" && grep -q '"faces": 302,' "$dir/out" &&
      grep -q '"islands": 1,' "$dir/out" || fail "read back:" "$(cat "$dir/out")"
    ;;
  bad_output_first)
    # A bad output is refused before the meshes are read or the node runs.
    for out in "$dir/nodir/x.obj" "$dir/x.fbx" "$dir"; do
      run 73 voronoi "$meshes/bunny00.off" --count 2000 -o "$out"
      if grep -q 'Total num' "$dir/err"; then fail "the node ran for $out"; fi
      if [ -s "$dir/out" ]; then fail "a summary for $out"; fi
    done
    run 73 combine "$dir/missing-input.off" -o "$dir/x.3ds"
    ;;
  no_partial_file)
    # A run without a record leaves an existing file as it was, and no temporary file behind.
    echo "keep me" >"$dir/old.obj"
    printf '100 100 100\n' >"$dir/far.txt"
    run 2 voronoi "$examples/two_boxes.obj" --centers "$dir/far.txt" -o "$dir/old.obj" --json
    grep -q '"outcome": "empty"' "$dir/out" || fail "$(cat "$dir/out")"
    grep -q '"output": null' "$dir/out" || fail "an output named: $(cat "$dir/out")"
    [ "$(cat "$dir/old.obj")" = "keep me" ] || fail "the old file was changed"
    run 0 combine "$examples/two_boxes.obj" -o "$dir/new.ply"
    leftovers=$(find "$dir" -name '.*' -type f | wc -l)
    [ "$leftovers" -eq 0 ] || fail "temporary files left: $(ls -a "$dir")"
    ;;
  pass_through)
    # The Boolean node's fallback is its own outcome, reason and exit status.
    run 3 boolean "$meshes/blobby-shuffled.off" "$examples/octahedron_knife.obj" --op union --json
    grep -q '"outcome": "pass-through"' "$dir/out" || fail "$(cat "$dir/out")"
    grep -q '"reason": "ICE BOOLEAN: operand A is not consistently oriented: [0-9]* edges' "$dir/out" ||
      fail "reason: $(cat "$dir/out")"
    ;;
  knife_without_uvs)
    # A knife without UVs leaves A's UVs on the carved mesh (zeros on the cut walls).
    knife octahedron >"$dir/knife.off"
    run 0 continuous "$examples/two_boxes.obj" --knife "$dir/knife.off" \
      --instances "$examples/knife_instances.txt" -o "$dir/carved.obj" --json
    corners=$(grep '^f ' "$dir/carved.obj" | awk '{n += NF - 1} END {print n}')
    grep -q "\"uvw\": $corners," "$dir/out" || fail "uvw is not one per corner ($corners)"
    grep -q '^vt 1 1 0$' "$dir/carved.obj" || fail "A's UV values are missing"
    grep -q '^vt 0 0 0$' "$dir/carved.obj" || fail "no zero UVs on the cut walls"
    ;;
  knife_checks)
    # Quads are triangulated; an open knife, a stray point count are refused by name.
    knife quads >"$dir/cube.off"
    run 0 continuous "$examples/two_boxes.obj" --knife "$dir/cube.off" \
      --instances "$examples/knife_instances.txt" --json
    grep -q '"outcome": "result"' "$dir/out" || fail "$(cat "$dir/out")"
    grep -q '"knives": 3' "$dir/out" || fail "$(cat "$dir/out")"
    knife open >"$dir/open.off"
    run 66 continuous "$examples/two_boxes.obj" --knife "$dir/open.off" \
      --instances "$examples/knife_instances.txt"
    grep -q 'the knife is open (3 boundary edges)' "$dir/err" || fail "$(cat "$dir/err")"
    printf '1 1 1\n1 1 1.2\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n2 2 2\n' >"$dir/seven.txt"
    run 66 continuous "$examples/two_boxes.obj" --knife "$dir/cube.off" --knife-points "$dir/seven.txt"
    grep -q '7 points are not a whole number of knives of 8 points' "$dir/err" || fail "$(cat "$dir/err")"
    ;;
  number_files)
    # Centre and placement files: comments and blank lines skipped, the first bad line named
    # with what it should hold, even when a later line is worse.
    printf '# centres\n\n0 0 0 # one\n1 2\n1 2 x\n' >"$dir/centres.txt"
    run 66 voronoi "$examples/two_boxes.obj" --centers "$dir/centres.txt"
    grep -q "centres.txt: line 4 is not 'x y z'" "$dir/err" || fail "$(cat "$dir/err")"
    printf '0 0 0\n0 0 y\n' >"$dir/centres.txt"
    run 66 voronoi "$examples/two_boxes.obj" --centers "$dir/centres.txt"
    grep -q "centres.txt: line 2 is not 'x y z'" "$dir/err" || fail "$(cat "$dir/err")"
    run 66 voronoi "$examples/two_boxes.obj" --centers "$dir/none.txt"
    grep -q 'none.txt: cannot open the file' "$dir/err" || fail "$(cat "$dir/err")"
    knife=$examples/octahedron_knife.obj
    printf '0 0 0\n# turned\n1 2 3 4\n1 2 x\n' >"$dir/places.txt"
    run 66 continuous "$examples/two_boxes.obj" --knife "$knife" --instances "$dir/places.txt"
    grep -q 'places.txt: line 3 needs 3 numbers (x y z) or 7 (x y z rx ry rz scale)' "$dir/err" ||
      fail "$(cat "$dir/err")"
    printf '0 0 0 0 0 0 1\n0 0 0 0 0 0 -1\n' >"$dir/places.txt"
    run 66 continuous "$examples/two_boxes.obj" --knife "$knife" --instances "$dir/places.txt"
    grep -q 'places.txt: line 2 has a scale of -1.000000; it must be greater than 0' "$dir/err" ||
      fail "$(cat "$dir/err")"
    printf '0 0 x\n' >"$dir/places.txt"
    run 66 continuous "$examples/two_boxes.obj" --knife "$knife" --instances "$dir/places.txt"
    grep -q 'places.txt: line 1 is not numbers' "$dir/err" || fail "$(cat "$dir/err")"
    printf '0 0 0 0 0 0 1\n' >"$dir/points.txt"
    run 66 continuous "$examples/two_boxes.obj" --knife "$knife" --knife-points "$dir/points.txt"
    grep -q 'points.txt: line 1 needs 3 numbers (x y z)$' "$dir/err" || fail "$(cat "$dir/err")"
    ;;
  place_b)
    # B scaled to radius 0.8, turned 45 degrees about z (x and y reach 0.8 cos 45) and sent
    # far away: a union of disjoint solids, B's box where it was sent.
    run 0 boolean "$examples/two_boxes.obj" "$examples/octahedron_knife.obj" --op union \
      --scale-b=2 --rotate-b 0,0,45 --move-b=10,0,0 --json
    tr -d ' \n' <"$dir/out" | grep -q '"islands":3,.*"min":\[0.0,-0.56568545,-0.8\].*"max":\[10.565685,1.0,1.0\]' ||
      fail "$(cat "$dir/out")"
    ;;
  progress)
    # Not a terminal: one line per stage; --quiet: none; a terminal: a bar redrawn in place.
    run 0 voronoi "$examples/two_boxes.obj" --count 20
    for stage in 'Voronoi cells (20)' 'Cutting the mesh (1)' 'Assembling the pieces'; do
      grep -qF "[progress] $stage" "$dir/err" || fail "no line for $stage:" "$(cat "$dir/err")"
    done
    run 0 voronoi "$examples/two_boxes.obj" --count 20 --quiet
    if grep -q progress "$dir/err"; then fail "progress with --quiet"; fi
    script -qec "'$tessellon' voronoi '$meshes/bunny00.off' --count 200" /dev/null >"$dir/tty" ||
      fail "the run on a terminal failed: $(cat "$dir/tty")"
    tr '\r' '\n' <"$dir/tty" | grep -q 'Voronoi cells \[#*\.*\] [0-9]*/200 ' ||
      fail "no bar on the terminal: $(tr '\r' '\n' <"$dir/tty" | head)"
    if grep -q '\[progress\]' "$dir/tty"; then fail "plain lines on a terminal"; fi
    ;;
  cancel)
    # Ctrl-C in the knife loop: the node stops, logs one line, publishes nothing; no file.
    awk 'BEGIN { for (i = 0; i < 5000; i++) printf "%.4f 0.1 0 0 0 0 0.1\n", -0.05 + i / 50000 }' \
      >"$dir/many.txt"
    "$tessellon" continuous "$meshes/bunny00.off" --knife "$examples/octahedron_knife.obj" \
      --instances "$dir/many.txt" -o "$dir/carved.obj" --json >"$dir/out" 2>"$dir/err" &
    pid=$!
    for _ in $(seq 100); do
      grep -q 'progress\] Knives' "$dir/err" && break
      sleep 0.1
    done
    sleep 0.5
    kill -INT "$pid"
    wait "$pid"
    status=$?
    [ "$status" -eq 130 ] || fail "exit status $status, expected 130:" "$(cat "$dir/out" "$dir/err")"
    grep -q '"outcome": "empty"' "$dir/out" && grep -q '"cancelled": true' "$dir/out" &&
      grep -q '"reason": "TSL CONT: Cancelled by the user , stopped"' "$dir/out" ||
      fail "$(cat "$dir/out")"
    [ "$(grep -c '^\[warning\]' "$dir/err")" -eq 1 ] || fail "$(cat "$dir/err")"
    [ -z "$(ls -A "$dir" | grep carved)" ] || fail "files left: $(ls -A "$dir")"
    ;;
  *)
    fail "unknown case $case"
    ;;
esac
