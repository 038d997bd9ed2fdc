# Sourced by test.sh, demo.sh and .ci/run: installs the packages that the
# build, the tests and the demo need when any of them is missing, and sets
#   root       the repository,
#   build_dir  the Release build (BUILD_DIR, default build/),
#   jobs       the parallel build and test jobs (JOBS, default the number of
#              processors, at most 6).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
jobs=${JOBS:-$(nproc)}
if [ "$jobs" -gt 6 ]; then jobs=6; fi

tbl_packages=(g++ cmake gfortran libblas-dev liblapack-dev libminpack1 minpack-dev
              libgtest-dev libgmock-dev googletest libbenchmark-dev)
tbl_missing=()
for p in "${tbl_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    tbl_missing+=("$p")
  fi
done
if [ "${#tbl_missing[@]}" -gt 0 ]; then
  echo "Installing: ${tbl_missing[*]}"
  tbl_sudo=""
  if [ "$(id -u)" -ne 0 ]; then tbl_sudo=sudo; fi
  $tbl_sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $tbl_sudo apt-get install -y --no-install-recommends "${tbl_missing[@]}"
fi
unset tbl_packages tbl_missing tbl_sudo p
