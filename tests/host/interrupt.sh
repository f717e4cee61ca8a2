#!/bin/sh
# interrupt.sh OCTAVE-COMMAND...: runs an Octave session that reads its
# commands from a pipe, starts a long ternFrameLock and a long ternFade in
# it, sends SIGINT to the session during each, and checks (through
# tern_interrupt_case.m) that each call ends early, that the host's
# generator is left as it was and that the session goes on working.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/in"
"$@" < "$work/in" > "$work/out" 2>&1 &
session=$!
exec 3> "$work/in"

# waits (at most $2 seconds) until the session's output has a line matching $1
await() {
  waited=0
  while ! grep -q "$1" "$work/out"; do
    if ! kill -0 "$session" 2>/dev/null || [ "$waited" -ge "$(( $2 * 10 ))" ]; then
      echo "interrupt.sh: no '$1' from the session; its output:"
      cat "$work/out"
      kill "$session" 2>/dev/null
      exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

for module in ternFrameLock ternFade; do
  echo "tern_interrupt_case('$module', 'prepare');" >&3
  await "prepared $module" 120
  echo "tern_interrupt_case('$module', 'run');" >&3
  await "running $module" 60
  sleep 0.5
  kill -INT "$session"
  echo "tern_interrupt_case('$module', 'check');" >&3
  await "checked $module\\|error:" 120
  if grep -q "error:" "$work/out"; then
    cat "$work/out"
    kill "$session" 2>/dev/null
    exit 1
  fi
done
echo "exit(0);" >&3
exec 3>&-
wait "$session"
status=$?
cat "$work/out"
[ "$status" -eq 0 ] || { echo "interrupt.sh: the session ended with status $status"; exit 1; }
echo "interrupt.sh: all checks passed"
