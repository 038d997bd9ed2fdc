#!/usr/bin/env bash
# Checks that a host builds against an installed library alone: installs the
# build into a prefix in a temporary folder, copies the C example host
# examples/dense_solve.c into another temporary folder, compiles and links it
# there with the prefix's header and library only, runs it, and checks what
# it prints.  Both folders are removed on exit.  The build must exist
# (scripts/test.sh or scripts/demo.sh makes it).  Exits non-zero on any
# failure, with a "check_install:" line on standard error that names it.
#
# Environment: BUILD_DIR (default build), CC (default cc).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

if [ ! -f "$build_dir/libTesselBasicLib.so" ]; then
  echo "check_install: no $build_dir/libTesselBasicLib.so; build first (scripts/test.sh)" >&2
  exit 1
fi

prefix=$(mktemp -d)
host_dir=$(mktemp -d)
trap 'rm -rf "$prefix" "$host_dir"' EXIT
# A step that fails without a message of its own (the install, the copy, the
# compiler) is named too, so that a failed run never ends in silence.
trap 'echo "check_install: failed (status $?) at line $LINENO: $BASH_COMMAND" >&2' ERR

cmake --install "$build_dir" --prefix "$prefix"

# The header and the shared library, and nothing else.
installed=$(cd "$prefix" && find . -type f -o -type l | sort | tr '\n' ' ')
if [ "$installed" != "./include/TesselBasicLib.h ./lib/libTesselBasicLib.so " ]; then
  echo "check_install: the prefix holds $installed" >&2
  exit 1
fi

cp "$root/examples/dense_solve.c" "$host_dir/"
cd "$host_dir"
${CC:-cc} -std=c11 -Wall -Wextra -O2 -I"$prefix/include" dense_solve.c -o dense_solve \
  -L"$prefix/lib" -lTesselBasicLib -lm -Wl,-rpath,"$prefix/lib"

# The program must load the installed library, not the one in the build.
loaded=$(ldd ./dense_solve | awk '$1 == "libTesselBasicLib.so" {print $3}')
if [ "$loaded" != "$prefix/lib/libTesselBasicLib.so" ]; then
  echo "check_install: dense_solve loads '$loaded', not $prefix/lib/libTesselBasicLib.so" >&2
  exit 1
fi

if ! ./dense_solve 300 | tee output.txt; then
  echo "check_install: dense_solve, built against the prefix, exited with a failure" >&2
  exit 1
fi
# The program's own status covers INFO and the residuals; the three ways must
# also each have printed their line.
solved=$(grep -c ' info = 0 ' output.txt || true)
if [ "$solved" -ne 3 ]; then
  echo "check_install: $solved of the 3 solves report info = 0" >&2
  exit 1
fi
echo "check_install: a C host built against the installed prefix alone solved its system 3 ways"
