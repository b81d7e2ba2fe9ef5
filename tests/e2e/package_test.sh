#!/usr/bin/env bash
# Builds the installable package from a configured build folder and checks
# it as a user's system would see it.
# Usage: package_test.sh deb|zip BUILD_DIR VERSION
set -u
kind=$1
build=$2
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {  # WHAT COMMAND...
  local what=$1
  shift
  if "$@" >"$work/log" 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; head -c 2000 "$work/log"; fi
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; echo "0 passed, 1 failed"; exit 1; }
if [ "$kind" = deb ]; then
  deb=$work/out/pulldex_${version}_amd64.deb
  check "the package is named pulldex_${version}_amd64.deb" test -f "$deb"
  check "lintian shows no error" lintian --fail-on error "$deb"
  check "the dependencies are computed" sh -c "dpkg-deb -f '$deb' Depends | grep -q 'libc6 (>='"
  root=$work/root
  dpkg -x "$deb" "$root"
  for f in usr/bin/pulldex usr/bin/pulldex-cli usr/share/applications/pulldex.desktop \
           usr/share/mime/packages/pulldex.xml usr/share/icons/hicolor/scalable/apps/pulldex.svg \
           usr/share/man/man1/pulldex-cli.1.gz usr/share/doc/pulldex/copyright; do
    check "the package holds /$f" test -s "$root/$f"
  done
  check "desktop-file-validate is clean" sh -c "out=\$(desktop-file-validate '$root/usr/share/applications/pulldex.desktop' 2>&1); echo \"\$out\"; [ -z \"\$out\" ]"
  check "the desktop entry opens a file with pulldex" grep -qx 'Exec=pulldex %f' "$root/usr/share/applications/pulldex.desktop"
  # The file type as shared-mime-info builds it: *.tpr in any case.
  check "shared-mime-info takes the project type" update-mime-database "$root/usr/share/mime"
  check "*.tpr maps to the project type, any case" \
    grep -qE '^50:application/x-tmpgenc-project:\*\.tpr$' "$root/usr/share/mime/globs2"
  check "the installed CLI runs and reports the version" sh -c "'$root/usr/bin/pulldex-cli' --version | grep -qF '$version'"
  check "the man page renders" sh -c "zcat '$root/usr/share/man/man1/pulldex-cli.1.gz' | grep -q '^\.SH EXIT STATUS'"
else
  zip=$work/out/pulldex-${version}-win64.zip
  check "the download is named pulldex-${version}-win64.zip" test -f "$zip"
  (cd "$work" && cmake -E tar xf "$zip")
  dir=$work/pulldex-${version}-win64
  for f in pulldex.exe pulldex-cli.exe README.txt; do check "the download holds $f" test -s "$dir/$f"; done
  check "the text says how to start both" sh -c "grep -q 'pulldex.exe' '$dir/README.txt' && grep -q 'pulldex-cli --help' '$dir/README.txt'"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
