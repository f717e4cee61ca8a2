#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in their own build directory and runs every
# target for a bounded time, one after the other.
#
#   fuzz/run.sh [--total SECONDS | --each SECONDS] [--merge] [target ...]
#
#   --total S   share S seconds among the targets (default 210)
#   --each S    give every target S seconds
#   --runs N    also stop a target after N executions
#   --merge     afterwards, fold the new inputs that reach new code into the
#               kept corpus fuzz/corpus/<target> (for developers, not CI)
#   target      setup, send, shape, ... (default: every fuzz_*.cpp)
#
# Limits of every run: 2048 MB resident, 1024 MB per allocation (the targets
# themselves refuse single allocations above 256 MB with std::bad_alloc, which
# the cores must report as an out-of-memory failure), 10 s per input.
# Crashing inputs are kept in $BUILD/artifacts; the script fails if any
# target reports a finding.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="${TERN_FUZZ_BUILD:-$root/build-fuzz}"
total=210
each=""
runs=""
merge=0
targets=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --total) total="$2"; shift 2 ;;
    --each) each="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --merge) merge=1; shift ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [[ ${#targets[@]} -eq 0 ]]; then
  for f in "$here"/fuzz_*.cpp; do
    n="$(basename "$f" .cpp)"
    targets+=("${n#fuzz_}")
  done
fi

if ! command -v clang++ >/dev/null; then
  echo "fuzz/run.sh: clang++ is needed (Debian package clang)" >&2
  exit 1
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DTERN_FUZZ=ON -DTERN_MEX=OFF -DTERN_TESTS=OFF -DTERN_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g" >/dev/null
names=()
for t in "${targets[@]}"; do names+=("fuzz_$t"); done
cmake --build "$build" --target "${names[@]}" -j "${JOBS:-2}"

if [[ -z "$each" ]]; then
  each=$(( total / ${#targets[@]} ))
  (( each >= 5 )) || each=5
fi
mkdir -p "$build/artifacts"
# Short allocation stacks and a small quarantine: twice the executions per second.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1:malloc_context_size=8:quarantine_size_mb=32}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=()
for t in "${targets[@]}"; do
  kept="$here/corpus/$t"
  work="$build/corpus/$t"
  mkdir -p "$kept" "$work"
  limit=(-max_total_time="$each")
  [[ -n "$runs" ]] && limit+=(-runs="$runs")
  echo "== fuzz_$t: ${limit[*]}"
  # New inputs go to the scratch corpus; the kept one is only read.
  if nice -n 10 "$build/fuzz/fuzz_$t" "${limit[@]}" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
       -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" "$work" "$kept" \
       >"$build/fuzz_$t.log" 2>&1; then
    grep -E "^stat::number_of_executed_units|^Done" "$build/fuzz_$t.log" | tail -2 || true
  else
    echo "fuzz_$t: FINDING (see $build/fuzz_$t.log and $build/artifacts)"
    tail -40 "$build/fuzz_$t.log"
    failed+=("$t")
  fi
  if (( merge )); then
    # Only inputs that reach new edges are kept (hit counts do not count).
    nice -n 10 "$build/fuzz/fuzz_$t" -merge=1 -use_counters=0 -max_len=4096 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -timeout=10 "$kept" "$work" >"$build/fuzz_$t.merge.log" 2>&1 || true
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz/run.sh: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz/run.sh: no findings in ${targets[*]}"
