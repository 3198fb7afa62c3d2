#!/usr/bin/env bash
# cli_expect.sh STATUS REGEX COMMAND...: runs COMMAND and passes when it exits with STATUS and
# its standard output and error together match the extended REGEX.
set -u
want=$1 regex=$2
shift 2
out=$("$@" 2>&1)
got=$?
if [ "$got" -ne "$want" ]; then
  printf 'exit status %s, expected %s\n%s\n' "$got" "$want" "$out"
  exit 1
fi
if ! printf '%s' "$out" | tr '\n' ' ' | grep -Eq -- "$regex"; then
  printf 'output does not match /%s/:\n%s\n' "$regex" "$out"
  exit 1
fi
