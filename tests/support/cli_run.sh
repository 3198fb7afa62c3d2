# Sourced by the command-line shell tests; needs $tessellon and $dir set.

fail() {
  printf '%s\n' "$*"
  exit 1
}

# run STATUS ARGS...: runs the command, keeps standard output in $dir/out and standard error in
# $dir/err, and fails unless it exits with STATUS.
run() {
  local want=$1
  shift
  "$tessellon" "$@" >"$dir/out" 2>"$dir/err"
  local got=$?
  [ "$got" -eq "$want" ] || fail "exit status $got, expected $want: $*" "$(cat "$dir/out" "$dir/err")"
}
