#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   native       unit, command-line and dialog tests (Xvfb)
#   native-asan  unit and command-line tests under ASan and UBSan
#   fuzz         a short, fixed-count run of each fuzzer
#   windows      unit, command-line and dialog tests under Wine (Xvfb)
# after a syntax check of the project's own shell scripts.
set -euo pipefail
cd "$(dirname "$0")/.."
# the scripts CI and users run: a syntax error shows here, not at their end
for script in .ci/run scripts/*.sh bench/run; do bash -n "$script"; done
bash scripts/install-deps.sh all
jobs=$(nproc)
failed=()
# -noreset: by default the server resets when its last client leaves and
# refuses the next one that comes meanwhile ("Can't open display").
xvfb() { xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" "$@"; }
for preset in native native-asan fuzz windows; do
  echo "== $preset"
  cmake --preset "$preset" -DPULLDEX_WERROR=ON >/dev/null
  case $preset in
    fuzz)
      cmake --build "build/$preset" -j "$jobs" --target make_seeds load_fuzzer sfs_fuzzer outputs_fuzzer text_fuzzer d2v_fuzzer
      ctest --preset "$preset" -R '^fuzz_' --timeout 300 || failed+=("$preset")
      ;;
    *)
      cmake --build "build/$preset" -j "$jobs"
      xvfb ctest --preset "$preset" -j "$jobs" --timeout 300 || failed+=("$preset")
      ;;
  esac
done
[ ${#failed[@]} -eq 0 ] && exit 0
# The failures last, with the end of each one's output, so that a log's tail
# tells what failed.
echo "== failed tests"
for preset in "${failed[@]}"; do
  temporary=build/$preset/Testing/Temporary
  while IFS=: read -r _ name; do
    echo "-- $preset: $name"
    awk -v name="$name" '$0 ~ "^[0-9]+/[0-9]+ Testing: " name "$" { on = 1; next }
      on && /^<end of output>$/ { exit }
      on' "$temporary/LastTest.log" | tail -n 12
  done <"$temporary/LastTestsFailed.log"
done
exit 1
