#!/usr/bin/env bash
# Installs the Debian packages Pulldex needs that are missing.
# Usage: install-deps.sh native|all|shots (shots: all, and the small window
# manager that frames the screenshots of docs/)
set -euo pipefail
# fluid: FLTK's CMake package names it, and configure fails without it.
native=(g++ cmake ninja-build libgtest-dev libcli11-dev libfltk1.3-dev fluid rapidjson-dev libstb-dev)
all=("${native[@]}" g++-mingw-w64-x86-64 wine64 xvfb xauth xdotool imagemagick x11-utils xclip python3 clang
     libclang-rt-14-dev hyperfine dpkg-dev lintian desktop-file-utils shared-mime-info strace acl attr
     chromium mkvtoolnix ffmpeg mjpegtools fonts-ipafont-gothic file)
case "${1:-all}" in
  native) wanted=("${native[@]}") ;;
  all) wanted=("${all[@]}") ;;
  shots) wanted=("${all[@]}" twm) ;;
  *) echo "usage: $0 native|all|shots" >&2; exit 2 ;;
esac
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
