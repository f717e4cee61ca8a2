#!/bin/sh
# memcheck.sh LOG COMMAND...: runs COMMAND (octave-cli with a host test
# script) under valgrind and fails when valgrind reports an invalid access,
# a use of uninitialised memory or a lost block that our code caused: the
# first frame of the report outside the allocator, the C and C++ runtime
# libraries lies in one of our modules. Octave's own reports (Octave keeps
# some memory of failed calls) are not ours to judge.
log=$1
shift
valgrind --keep-debuginfo=yes --leak-check=full --show-leak-kinds=definite,indirect --num-callers=60 \
  --log-file="$log" "$@"
status=$?
# Valgrind cannot run a program whose libraries use an instruction it does
# not know on this processor (libhwy, loaded with Octave, reads the time
# stamp counter with rdtscp on some AMD processors): nothing was checked,
# so the test is skipped (status 77), unless the instruction is in one of
# our modules.
if grep -q "valgrind: Unrecognised instruction" "$log"; then
  where=$(grep -A1 "valgrind: Unrecognised instruction" "$log" | tail -1)
  case "$where" in
    *.mex*|*tern::*) echo "valgrind stopped at an instruction of our modules: $where"; exit 1 ;;
  esac
  echo "valgrind cannot run octave-cli on this processor ($where); not checked"
  exit 77
fi
[ "$status" -eq 0 ] || exit 1
awk '
  function finish() { if (kind && ours) { print head; bad++ } kind = 0; ours = 0; decided = 0; head = "" }
  /^==[0-9]+== *$/ { finish(); next }
  head == "" {
    head = $0
    kind = ($0 ~ /Invalid|uninitialised|Conditional jump|Mismatched|definitely lost|indirectly lost/)
    next
  }
  !decided && /^==[0-9]+== +(at|by) / {
    if ($0 ~ /vgpreload|libstdc\+\+|libc\.so|libc_|libgcc/) next
    ours = ($0 ~ /\.mex\)|tern::/)
    decided = 1
  }
  END { finish(); if (bad) { print bad " report(s) caused by our modules; see '"$log"'"; exit 1 } }
' "$log"
