#!/usr/bin/env bash
# Installs the Debian packages that are missing, for building (build) or
# also for: the tests (test), the Windows builds (windows-i686,
# windows-x86_64), the Wine tests (wine), the fuzz targets (fuzz), the
# benchmarks (bench), a distribution's folder and zip (dist). Needs root
# when anything is missing.
#   tools/install-deps.sh [build|test|windows-i686|windows-x86_64|wine|fuzz|bench|dist]
set -euo pipefail

build_packages=(cmake g++ make libutf8proc-dev)
test_packages=(libgtest-dev python3 default-jdk-headless libjlha-java lhasa liblnk-utils mandoc
               desktop-file-utils libglib2.0-bin)
fuzz_packages=(clang libclang-rt-dev)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo

# Wine with its 32-bit loader, which needs Debian's i386 architecture, Xvfb
# for the display that Wine's console window needs, icoutils, whose
# wrestool reads the Windows programs' resources back, and the locales the
# Wine tests run under: Japanese, where Wine's ANSI code
# page is 932, and English, where it is 1252. Wine names Unix files in the
# locale's character set, so a locale that is not there leaves it ASCII.
wine32_packages=()
if [ "${1:-}" = wine ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    wine32_packages=(wine32:i386)
fi
# Generates the locales given as locale.gen lines ("ja_JP.UTF-8 UTF-8")
# that the system does not have yet.
ensure_locales() {
    local missing=0 line name
    for line in "$@"; do
        name=${line%% *}
        locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-' | grep -qx "$(echo "$name" | tr 'A-Z' 'a-z' | tr -d '-')" && continue
        missing=1
        $sudo sed -i "s/^# *\($line\)\$/\1/" /etc/locale.gen
        grep -qx "$line" /etc/locale.gen || echo "$line" | $sudo tee -a /etc/locale.gen >/dev/null
    done
    [ "$missing" = 0 ] || $sudo locale-gen >/dev/null
}

packages=("${build_packages[@]}")
case "${1:-build}" in
    test) packages+=("${test_packages[@]}" locales) ;;
    windows-i686) packages+=(g++-mingw-w64-i686-win32) ;;
    windows-x86_64) packages+=(g++-mingw-w64-x86-64-win32) ;;
    wine) packages+=(wine wine64 "${wine32_packages[@]}" locales xvfb xauth icoutils) ;;
    fuzz) packages+=("${fuzz_packages[@]}") ;;
    bench) packages+=(python3 default-jdk-headless libjlha-java lhasa time) ;;
    dist) packages+=(python3 binutils) ;;
    build) ;;
    *) echo "usage: $0 [build|test|windows-i686|windows-x86_64|wine|fuzz|bench|dist]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The console tests convert from EUC-JP too.
case "${1:-build}" in
    test) ensure_locales "ja_JP.EUC-JP EUC-JP" ;;
    wine) ensure_locales "ja_JP.UTF-8 UTF-8" "en_US.UTF-8 UTF-8" ;;
esac
