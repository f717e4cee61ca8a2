#!/usr/bin/env bash
# Installs the Debian packages that are missing, and only those.
#   tools/install-deps.sh run    what building and running `tern` needs
#   tools/install-deps.sh test   that, plus the test suites, benchmarks, the Octave host and
#                                the Python module (pybind11, numpy; scipy, pandas, matplotlib
#                                for its tests and example)
set -euo pipefail

run_pkgs=(cmake make g++ libcli11-dev libmatio-dev nlohmann-json3-dev gnuplot-nox)
test_pkgs=(libgtest-dev libbenchmark-dev octave liboctave-dev valgrind clang libclang-rt-14-dev libliquid-dev libfec-dev
           clang-format clang-tidy python3-dev pybind11-dev python3-numpy python3-pytest python3-scipy python3-pandas python3-matplotlib)

want=("${run_pkgs[@]}")
[ "${1:-run}" = "test" ] && want+=("${test_pkgs[@]}")

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
