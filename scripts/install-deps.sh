#!/usr/bin/env bash
# Installs the Debian packages the project needs; a fresh machine has none of them.
# Usage: scripts/install-deps.sh [core] [service] [desktop] [windows]   (no argument: all of them)
set -euo pipefail

core=(cmake ninja-build g++ make pkg-config git python3 clang-format
      googletest libgtest-dev libgmock-dev libcli11-dev
      libpugixml-dev nlohmann-json3-dev libssl-dev locales-all time)
service=(libcpp-httplib-dev libsqlite3-dev libpqxx-dev postgresql chromium iproute2)
desktop=(qt6-base-dev qt6-webengine-dev qt6-webchannel-dev libgl-dev xvfb xauth xdotool
         fonts-noto-cjk fonts-dejavu-core)
# wine32 (from the i386 architecture) runs the shipped 32-bit program and its tests as a 32-bit
# program on 64-bit Windows, the way most users run it.
windows=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 wine32:i386 icoutils zip)

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(core service desktop windows)
wanted=()
for g in "${groups[@]}"; do
  case "$g" in
    core) wanted+=("${core[@]}") ;;
    service) wanted+=("${service[@]}") ;;
    desktop) wanted+=("${desktop[@]}") ;;
    windows) wanted+=("${windows[@]}") ;;
    *) echo "install-deps: unknown group '$g' (core, service, desktop, windows)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "install-deps: installing ${missing[*]}"
case " ${missing[*]} " in
  *:i386\ *) dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
esac
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
