#!/usr/bin/env bash
# cli_chain.sh TESSELLON MESH STEPS SEED: a chain of Booleans through the command line, each
# step's PLY output the next step's input, an octahedron knife placed at random (from SEED)
# inside the current result's box each time, alternately subtracted and added. Fails when a step
# passes A through, publishes no record, or exits other than 0.
set -u
tessellon=$1 mesh=$2 steps=$3 seed=$4
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
current=$mesh
# The box from a summary: "bounds": {"min": [x, y, z], "centre": [...], "max": [x, y, z]}.
box() {
  tr -d ' \n' | sed 's/.*"bounds":{"min":\[\([^]]*\)\],"centre":\[[^]]*\],"max":\[\([^]]*\)\]}.*/\1,\2/; s/,/ /g'
}
bounds=$("$tessellon" combine "$mesh" --json 2>/dev/null | box)
for ((i = 1; i <= steps; i++)); do
  read -r lx ly lz hx hy hz <<<"$bounds"
  awk -v s="$seed" -v i="$i" -v lx="$lx" -v ly="$ly" -v lz="$lz" -v hx="$hx" -v hy="$hy" \
    -v hz="$hz" 'BEGIN {
      srand(s * 1000 + i);
      cx = lx + (hx - lx) * (0.2 + 0.6 * rand()); cy = ly + (hy - ly) * (0.2 + 0.6 * rand());
      cz = lz + (hz - lz) * (0.2 + 0.6 * rand());
      r = 0.2 * ((hx - lx) + (hy - ly) + (hz - lz)) / 3 * (0.5 + rand());
      a = rand(); c = cos(a); d = sin(a);
      print "OFF"; print "6 8 0";
      printf "%.9g %.9g %.9g\n", cx + r * c, cy + r * d, cz;
      printf "%.9g %.9g %.9g\n", cx - r * c, cy - r * d, cz;
      printf "%.9g %.9g %.9g\n", cx - r * d, cy + r * c, cz;
      printf "%.9g %.9g %.9g\n", cx + r * d, cy - r * c, cz;
      printf "%.9g %.9g %.9g\n", cx, cy, cz + r;
      printf "%.9g %.9g %.9g\n", cx, cy, cz - r;
      print "3 0 2 4"; print "3 2 1 4"; print "3 1 3 4"; print "3 3 0 4";
      print "3 2 0 5"; print "3 1 2 5"; print "3 3 1 5"; print "3 0 3 5";
    }' > "$dir/knife$i.off"
  op=a-minus-b
  [ $((i % 3)) -eq 0 ] && op=union
  out=$("$tessellon" boolean "$current" "$dir/knife$i.off" --op "$op" -o "$dir/step$i.ply" --json 2>&1)
  status=$?
  if [ "$status" -ne 0 ] || ! printf '%s' "$out" | grep -q '"outcome": "result"'; then
    printf 'step %d (%s, exit %d):\n%s\n' "$i" "$op" "$status" "$out"
    exit 1
  fi
  bounds=$(printf '%s' "$out" | grep -v '^\[' | box)
  current=$dir/step$i.ply
done
printf '%d steps, every one a result\n' "$steps"
