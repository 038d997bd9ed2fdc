#!/usr/bin/env bash
# Times MA48CD (JOB 1 and JOB 3) in the shared library of earlier commits
# against this tree's, in one process, the libraries taking turns
# (bench/ma48_solve_libs_bench.cpp).  Each commit's library is built from
# `git archive` in a directory outside the repository (kept for the next
# run); this tree's library and the benchmark come from BUILD_DIR.
#
#   scripts/ma48_solve_vs.sh [--all] [--reps=N] [--runs=K] [--shifts=S]
#       [--lib=LABEL=PATH ...] [REV ...] [-- BENCHMARK ARGS]
#
# REV defaults to 14ffa535 (the solve before its state checks).  --all
# takes the whole list of ma48_bench, one process per matrix (the largest
# would not all fit in memory at once); otherwise the small matrices of
# the benchmark's default list run in one process.  --reps (default 21) is
# the number of repetitions of each benchmark.  --lib adds a library built
# elsewhere (a local experiment, say with a check switched off).
#
# Where code and data land in memory moves a small solve's time by several
# per cent, and by more than that where a short loop falls across a 64-byte
# line of code: the reference BLAS's, for one, moves with every change in
# the size of the code linked before it.  --runs (default 1) repeats each
# process; --shifts (default 1) builds every library S times, the whole of
# its code moved by 0, 16, ..., 16(S-1) bytes (an object of that size
# linked first), and runs them side by side.  With either above 1 the
# table printed last takes, for each solve and library, the median of the
# minimum times over the processes and shifts, and the ratios of those
# medians.
#
# Environment: BUILD_DIR (default build), JOBS (default 3), TBL_LIB_CACHE
# (default ${TMPDIR:-/tmp}/tbl-ma48-libs), where the libraries are built.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
jobs=${JOBS:-3}
cache=${TBL_LIB_CACHE:-${TMPDIR:-/tmp}/tbl-ma48-libs}
all=0 reps=21 runs=1 shifts=1 revs=() extra=() more=()
while [ $# -gt 0 ]; do
  case $1 in
    --all) all=1 ;;
    --reps=*) reps=${1#--reps=} ;;
    --runs=*) runs=${1#--runs=} ;;
    --shifts=*) shifts=${1#--shifts=} ;;
    --lib=*) more+=("$1") ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) sed -n '2,30p' "$0"; exit 0 ;;
    *) revs+=("$1") ;;
  esac
  shift
done
[ ${#revs[@]} -gt 0 ] || revs=(14ffa535)
mkdir -p "$cache"

# Configures and builds the shared library from SRC in DIR, its code moved
# by SHIFT bytes.
build_library() {
  local src=$1 dir=$2 shift=$3 pad=()
  if [ "$shift" -gt 0 ]; then
    printf '\t.text\n\t.p2align 4\ntbl_layout_shift:\n\t.skip %d, 0xcc\n' "$shift" >"$cache/shift$shift.s"
    cc -c "$cache/shift$shift.s" -o "$cache/shift$shift.o"
    pad=("-DCMAKE_SHARED_LINKER_FLAGS=$cache/shift$shift.o")
  fi
  cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTBL_BUILD_TESTS=OFF -DTBL_BUILD_BENCH=OFF \
    -DTBL_BUILD_EXAMPLES=OFF "${pad[@]}" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log" >&2; exit 1; }
  cmake --build "$dir" -j"$jobs" --target TesselBasicLib >"$dir.build.log" 2>&1 || { tail -30 "$dir.build.log" >&2; exit 1; }
}

# The shared library of commit REV moved by SHIFT bytes; prints its path.
library_of() {
  local sha dir
  sha=$(git -C "$root" rev-parse --short=8 "$1^{commit}")
  dir=$cache/$sha
  if [ ! -d "$dir/src" ]; then
    mkdir -p "$dir/src"
    git -C "$root" archive "$sha" | tar -x -C "$dir/src"
  fi
  if [ "$2" = 0 ]; then dir=$dir/build; else dir=$dir/build-shift$2; fi
  if [ ! -f "$dir/libTesselBasicLib.so" ]; then
    echo "building the library of $1 ($sha), shifted by $2, in $dir" >&2
    build_library "$cache/$sha/src" "$dir" "$2"
  fi
  echo "$dir/libTesselBasicLib.so"
}

# This tree's library moved by SHIFT bytes (always rebuilt); prints its path.
tree_library() {
  if [ "$1" = 0 ]; then
    cmake --build "$build_dir" -j"$jobs" --target TesselBasicLib >/dev/null
    echo "$build_dir/libTesselBasicLib.so"
  else
    echo "building this tree's library, shifted by $1" >&2
    build_library "$root" "$cache/tree-shift$1" "$1"
    echo "$cache/tree-shift$1/libTesselBasicLib.so"
  fi
}

# Library labels: the commit (or "tree"), with @SHIFT when shifted.
libs=()
for ((s = 0; s < shifts; ++s)); do
  at=""
  [ "$shifts" = 1 ] || at="@$((16 * s))"
  for rev in "${revs[@]}"; do libs+=("--lib=$rev$at=$(library_of "$rev" $((16 * s)))"); done
  [ "$s" -gt 0 ] || libs+=("${more[@]}")
  libs+=("--lib=tree$at=$(tree_library $((16 * s)))")
done
cmake --build "$build_dir" -j"$jobs" --target ma48_solve_libs_bench >/dev/null

bench=$build_dir/bench/ma48_solve_libs_bench
run() {
  "$bench" "${libs[@]}" "$@" --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_min_time=0.02 "${extra[@]}"
}
# The table of one process: from its heading on.
table() { "$@" | sed -n '/^us per solve/,$p'; }
if [ "$all" = 1 ]; then
  sets=($("$bench" --matrices=all --list-matrices))
else
  sets=(issue)
fi
tables=$(mktemp)
trap 'rm -f "$tables"' EXIT
for ((k = 1; k <= runs; ++k)); do
  for m in "${sets[@]}"; do
    if [ "$runs" = 1 ] && [ "$shifts" = 1 ]; then table run --matrices="$m"; else table run --matrices="$m" >>"$tables"; fi
  done
done
if [ "$runs" -gt 1 ] || [ "$shifts" -gt 1 ]; then
  # Each row: the name, then MIN/ MEDIAN for each library, then the ratios.
  awk -v nlib=$((${#libs[@]})) -v runs="$runs" -v shifts="$shifts" '
    function median(list,   v, n, i, j, t) {
      n = split(list, v, " ")
      for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
      return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    /^matrix\/job/ {
      if (!head) {
        head = 1
        for (l = 1; l <= nlib; ++l) {
          b = $(2 * l); sub("@.*", "", b); base[l] = b
          if (!(b in known)) { known[b] = 1; label[++nbase] = b }
        }
      }
      next
    }
    /\/job[0-9]/ {
      if (!($1 in seen)) { seen[$1] = 1; order[++rows] = $1 }
      for (l = 1; l <= nlib; ++l) { t = $(2 * l); sub("/", "", t); mins[$1, base[l]] = mins[$1, base[l]] " " t }
    }
    END {
      printf "\nmedian over %d processes and %d shifts of the minimum us per solve; ratios to %s\n", runs, shifts, label[1]
      printf "%-28s", "matrix/job"
      for (l = 1; l <= nbase; ++l) printf " %12s", label[l]
      for (l = 2; l <= nbase; ++l) printf " %12s", label[l] "/" label[1]
      printf "\n"
      for (r = 1; r <= rows; ++r) {
        printf "%-28s", order[r]
        for (l = 1; l <= nbase; ++l) { m[l] = median(mins[order[r], label[l]]); printf " %12.2f", m[l] }
        for (l = 2; l <= nbase; ++l) printf " %12.3f", m[l] / m[1]
        printf "\n"
      }
    }' "$tables"
fi
