#!/usr/bin/env bash
# Installs the Debian packages that are missing, for building (build) or
# also for the tests (test), or for the fuzz targets (fuzz). Needs root when anything is missing.
set -euo pipefail

build_packages=(cmake g++ make)
test_packages=(libgtest-dev python3 default-jdk-headless libjlha-java lhasa liblnk-utils)
fuzz_packages=(clang libclang-rt-dev)

packages=("${build_packages[@]}")
if [ "${1:-build}" = test ]; then
    packages+=("${test_packages[@]}")
fi
if [ "${1:-build}" = fuzz ]; then
    packages+=("${fuzz_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
