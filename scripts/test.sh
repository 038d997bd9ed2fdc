#!/usr/bin/env bash
# Installs what the build needs, configures a Release build, builds it and
# runs the whole test suite.  Exits non-zero on any failure.
#
#   scripts/test.sh [cmake options...]
#
# Environment: BUILD_DIR (default build), JOBS (default: the number of
# processors, at most 6).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build_dir" -j"$jobs"
cd "$build_dir"
ctest --output-on-failure -j"$jobs"
