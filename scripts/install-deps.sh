#!/usr/bin/env bash
# Installs what the build and the tests need on a bare Debian machine.
set -euo pipefail
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v wine >/dev/null || need+=(wine)
command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v g++ >/dev/null || need+=(g++)
# make fuzz: clang with libFuzzer, which Debian 12 ships in libclang-rt-14-dev.
command -v clang++ >/dev/null || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
command -v ip >/dev/null || need+=(iproute2)
# make installer: NSIS with its amd64 stubs.
command -v makensis >/dev/null || need+=(nsis)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ ${#need[@]} -eq 0 ] && exit 0
echo "Installing: ${need[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
