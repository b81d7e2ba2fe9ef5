# Sourced by the end-to-end tests: a scratch folder to work in, removed at
# the end, and the counters of checks that passed and failed.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
passed=0
failed=0
ok() { passed=$((passed + 1)); }
bad() { failed=$((failed + 1)); echo "FAIL: $*"; }
# ffmpeg quietly, replacing its outputs; a test that needs it and finds none
# passes as skipped.
ff() { ffmpeg -nostdin -loglevel error -y "$@"; }
needs_ffmpeg() {
  command -v ffmpeg >/dev/null && return 0
  echo "skipped: no ffmpeg"
  echo "0 passed, 0 failed"
  exit 0
}
