#!/usr/bin/env bash
# Installs what the build needs, configures a Release build, builds it and
# runs the whole test suite.  Exits non-zero on any failure.
#
#   scripts/test.sh [cmake options...]
#
# Environment: BUILD_DIR (default build), JOBS (default: the number of
# processors, at most 6).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
source "$here/install_deps.sh"

build_dir=${BUILD_DIR:-$root/build}
jobs=${JOBS:-$(nproc)}
if [ "$jobs" -gt 6 ]; then jobs=6; fi

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build_dir" -j"$jobs"
cd "$build_dir"
ctest --output-on-failure -j"$jobs"
