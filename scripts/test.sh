#!/usr/bin/env bash
# Installs what is missing, builds natively and for Windows, and runs every
# test: unit tests, command-line tests, and the dialogs under Xvfb (the
# Windows ones under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh all
jobs=$(nproc)
status=0
for preset in native windows; do
  echo "== $preset"
  cmake --preset "$preset" -DPULLDEX_WERROR=ON >/dev/null
  cmake --build "build/$preset" -j "$jobs"
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
    ctest --preset "$preset" -j "$jobs" --timeout 300 || status=1
done
exit $status
