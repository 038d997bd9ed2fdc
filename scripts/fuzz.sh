#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang (libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, each halting on its first report) and runs
# every target for the given number of seconds, at most FUZZ_JOBS (default 3)
# at once.  Each run starts from the stored corpus (tests/fuzz/corpus/<name>)
# and grows a working corpus in build-fuzz/corpus/<name>; a crash leaves its
# input in build-fuzz/findings/<name>.  Afterwards
#   scripts/fuzz.sh merge
# folds the working corpora back into the stored ones, minimised.
#
#   scripts/fuzz.sh [seconds | merge] [target...]     (default 60 s, all)
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz), FUZZ_JOBS, FUZZ_FLAGS (more
# libFuzzer options, such as -entropic=0 for more executions a second).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# clang and its fuzzer and sanitizer runtimes, only here: the test suite
# replays the stored inputs with the ordinary compiler.
fuzz_missing=()
for p in clang libclang-rt-14-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    fuzz_missing+=("$p")
  fi
done
if [ "${#fuzz_missing[@]}" -gt 0 ]; then
  echo "Installing: ${fuzz_missing[*]}"
  fuzz_sudo=""
  if [ "$(id -u)" -ne 0 ]; then fuzz_sudo=sudo; fi
  $fuzz_sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $fuzz_sudo apt-get install -y --no-install-recommends "${fuzz_missing[@]}"
fi

what=${1:-60}
shift || true
fuzz_dir=${FUZZ_BUILD_DIR:-$root/build-fuzz}
fuzz_jobs=${FUZZ_JOBS:-3}
stored=$root/tests/fuzz/corpus
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=($(sed -n 's/^set(TBL_FUZZ_TARGETS \(.*\))$/\1/p' "$root/tests/fuzz/CMakeLists.txt"))
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=Release -DTBL_FUZZ=ON \
  -DTBL_BUILD_BENCH=OFF -DTBL_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$fuzz_dir" --target tbl_fuzz_targets -j"$jobs"

# No allocation stacks while fuzzing: recording one for every allocation
# takes a quarter of the time of the small runs; replaying a finding (the
# replay tests, or the fuzz program on that one file) shows them.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:malloc_context_size=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
if [ "$what" = merge ]; then
  for t in "${targets[@]}"; do
    mkdir -p "$stored/$t" "$fuzz_dir/corpus/$t"
    # A running fuzzer keeps replacing files of its working corpus: merge a
    # snapshot, and replace the stored corpus only once the merge is done.
    snap=$(mktemp -d)
    out=$(mktemp -d)
    cp -r "$fuzz_dir/corpus/$t/." "$snap/"
    if "$fuzz_dir/tests/fuzz/${t}_fuzz" -merge=1 -max_len=384 "$out" "$stored/$t" "$snap" \
         >/dev/null 2>"$fuzz_dir/$t.merge.log"; then
      find "$stored/$t" -type f -delete
      cp -r "$out/." "$stored/$t/"
      echo "$t: $(ls "$stored/$t" | wc -l) inputs, $(cat "$stored/$t"/* 2>/dev/null | wc -c) bytes"
    else
      echo "$t: merge failed, see $fuzz_dir/$t.merge.log"
      status=1
    fi
    rm -rf "$snap" "$out"
  done
  exit $status
fi

run_one() {
  local t=$1
  mkdir -p "$fuzz_dir/corpus/$t" "$fuzz_dir/findings/$t" "$stored/$t"
  # The library's messages go to standard output: keep them out of the log.
  if "$fuzz_dir/tests/fuzz/${t}_fuzz" -max_total_time="$what" -max_len=384 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 ${FUZZ_FLAGS:-} -artifact_prefix="$fuzz_dir/findings/$t/" \
       "$fuzz_dir/corpus/$t" "$stored/$t" >/dev/null 2>"$fuzz_dir/$t.log"; then
    echo "$t: $(grep -E '^stat::number_of_executed_units' "$fuzz_dir/$t.log" | awk '{print $2}') executions," \
         "$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$fuzz_dir/$t.log" | tail -1)"
  else
    echo "$t: FAILED, see $fuzz_dir/$t.log and $fuzz_dir/findings/$t"
    return 1
  fi
}
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$fuzz_jobs" ]; do wait -n || status=1; done
  run_one "$t" &
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || status=1; done
exit $status
