#!/usr/bin/env bash
# Installs the Debian packages Corvena needs, only those that are missing.
# Usage: tools/deps.sh run|test|bench|look
# (look: what driving the window under Xvfb and taking screenshots needs)
set -euo pipefail
what=${1:-run}

common=(g++ cmake ninja-build pkg-config make binutils
        qtbase5-dev qtbase5-dev-tools libqt5svg5-dev libqt5svg5
        libusb-1.0-0-dev fonts-dejavu-core fonts-dejavu-extra)
# The compiled-in DejaVu faces hold no CJK glyphs: the Chinese interface
# falls back to this font.
cjk=fonts-wqy-microhei
case "$what" in
  run)   pkgs=("${common[@]}" "$cjk" xvfb xauth) ;;
  test)  pkgs=("${common[@]}" "$cjk" umockdev libumockdev-dev python3 xvfb xauth) ;;
  bench) pkgs=("${common[@]}" libbenchmark-dev) ;;
  look)  pkgs=("${common[@]}" "$cjk" xvfb xauth xdotool imagemagick) ;;
  *) echo "usage: $0 run|test|bench|look" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  st=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ "$st" == ii* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
