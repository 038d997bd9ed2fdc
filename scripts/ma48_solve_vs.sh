#!/usr/bin/env bash
# Times MA48CD (JOB 1 and JOB 3) in the shared library of earlier commits
# against this tree's, in one process, the libraries taking turns
# (bench/ma48_solve_libs_bench.cpp).  Each commit's library is built from
# `git archive` in a directory outside the repository (kept for the next
# run); this tree's library and the benchmark come from BUILD_DIR.
#
#   scripts/ma48_solve_vs.sh [--all] [--reps=N] [REV ...] [-- BENCHMARK ARGS]
#
# REV defaults to 14ffa535 (the solve before its state checks).  --all
# takes the whole list of ma48_bench, one process per matrix (the largest
# would not all fit in memory at once); otherwise the small matrices of
# the benchmark's default list run in one process.  --reps (default 21) is
# the number of repetitions of each benchmark.
#
# Environment: BUILD_DIR (default build), JOBS (default 3), TBL_LIB_CACHE
# (default ${TMPDIR:-/tmp}/tbl-ma48-libs), where the commits are built.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
jobs=${JOBS:-3}
cache=${TBL_LIB_CACHE:-${TMPDIR:-/tmp}/tbl-ma48-libs}
all=0 reps=21 revs=() extra=()
while [ $# -gt 0 ]; do
  case $1 in
    --all) all=1 ;;
    --reps=*) reps=${1#--reps=} ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    *) revs+=("$1") ;;
  esac
  shift
done
[ ${#revs[@]} -gt 0 ] || revs=(14ffa535)

# The shared library of commit REV; prints its path.
library_of() {
  local sha dir
  sha=$(git -C "$root" rev-parse --short=8 "$1^{commit}")
  dir=$cache/$sha
  if [ ! -f "$dir/build/libTesselBasicLib.so" ]; then
    echo "building the library of $1 ($sha) in $dir" >&2
    rm -rf "$dir"
    mkdir -p "$dir/src"
    git -C "$root" archive "$sha" | tar -x -C "$dir/src"
    cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DTBL_BUILD_TESTS=OFF -DTBL_BUILD_BENCH=OFF \
      -DTBL_BUILD_EXAMPLES=OFF >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log" >&2; exit 1; }
    cmake --build "$dir/build" -j"$jobs" --target TesselBasicLib >"$dir/build.log" 2>&1 ||
      { tail -30 "$dir/build.log" >&2; exit 1; }
  fi
  echo "$dir/build/libTesselBasicLib.so"
}

libs=()
for rev in "${revs[@]}"; do libs+=("--lib=$rev=$(library_of "$rev")"); done
cmake --build "$build_dir" -j"$jobs" --target TesselBasicLib ma48_solve_libs_bench >/dev/null
libs+=("--lib=tree=$build_dir/libTesselBasicLib.so")

bench=$build_dir/bench/ma48_solve_libs_bench
run() {
  "$bench" "${libs[@]}" "$@" --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_min_time=0.02 "${extra[@]}"
}
if [ "$all" = 1 ]; then
  for m in $("$bench" --matrices=all --list-matrices); do
    run --matrices="$m" | sed -n '/^us per solve/,$p'
  done
else
  run
fi
