# Installs the packages that the build, the tests and the demo need, when
# any of them is missing.  Sourced by test.sh and demo.sh.
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
