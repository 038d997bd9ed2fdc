#!/usr/bin/env bash
# Installs what the build needs, builds the library and its example host
# programs, and runs them.
#
# Environment: BUILD_DIR (default build), JOBS (default: the number of
# processors, at most 6).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# Each example: the program (under examples/ in the build) and its arguments,
# on matrices shipped in tests/data/matrices.
m=$root/tests/data/matrices
examples=(
  "dense_solve 600"
  "ma57_solve $m/bcsstk01.mtx"
  "ma57_solve $m/tumorAntiAngiogenesis_2.mtx"
  "ma57_solve $m/kkt_cont050.mtx"
  "ma57_solve $m/bcsstk16.mtx"
  "ma57_solve $m/zenios.mtx"
  "ma48_solve $m/west0067.mtx $m/lp_afiro.mtx $m/west0479.mtx $m/rajat19.mtx $m/Pd.mtx $m/bayer10.mtx"
  "za38_solve $m/west0067.mtx $m/west0497.mtx $m/impcol_a.mtx $m/rajat19.mtx $m/Pd.mtx $m/bayer10.mtx $m/add32.mtx $m/gre_1107.mtx"
  "dfo_solve $build_dir/examples"
  "nls_solve rosenbrock 100000"
  "nls_solve bvp 2000"
  "sqp_solve"
)

programs=()
for entry in "${examples[@]}"; do
  read -r program _ <<<"$entry"
  [[ " ${programs[*]} " == *" $program "* ]] || programs+=("$program")
done
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DTBL_BUILD_EXAMPLES=ON
cmake --build "$build_dir" -j"$jobs" --target "${programs[@]}"

for entry in "${examples[@]}"; do
  read -r program args <<<"$entry"
  echo
  echo "== $program $args"
  # shellcheck disable=SC2086
  "$build_dir/examples/$program" $args
done
