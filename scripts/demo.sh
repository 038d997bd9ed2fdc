#!/usr/bin/env bash
# Installs what the build needs, builds the library and its example host
# programs, and runs them.
#
# Environment: BUILD_DIR (default build), JOBS (default: the number of
# processors, at most 6).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# Each example: the program (under examples/ in the build) and its arguments.
examples=(
  "dense_solve 600"
  "ma57_solve $root/tests/data/bcsstk01.mtx"
  "ma57_solve $root/tests/data/tumorAntiAngiogenesis_2.mtx"
  "ma48_solve $root/tests/data/west0067.mtx $root/tests/data/lp_afiro.mtx"
  "za38_solve $root/tests/data/west0067.mtx $root/tests/data/west0497.mtx $root/tests/data/impcol_a.mtx"
  "dfo_solve $build_dir/examples"
  "nls_solve rosenbrock 100000"
  "nls_solve bvp 2000"
  "sqp_solve"
)
# Larger runs when the shared matrix collection sits beside the repository.
shared=$root/../shared/matrices
if [ -d "$shared" ]; then
  examples+=("ma57_solve $shared/kkt_cont050.mtx" "ma57_solve $shared/bcsstk16.mtx" "ma57_solve $shared/zenios.mtx")
  examples+=("ma48_solve $shared/west0479.mtx $shared/rajat19.mtx $shared/Pd.mtx $shared/bayer10.mtx")
  examples+=("za38_solve $shared/rajat19.mtx $shared/Pd.mtx $shared/bayer10.mtx $shared/add32.mtx $shared/gre_1107.mtx")
fi

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
