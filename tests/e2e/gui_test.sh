#!/usr/bin/env bash
# Black-box run of the dialog under X, driven by xdotool: start with a
# project, open a second one through the real Open chooser, export its AVI
# script through the real Save chooser, compare it with the CLI's, close
# with Esc.
# Usage: gui_test.sh fltk|win32 PULLDEX PULLDEX_CLI SAMPLE [SCREENSHOT.png]
set -u
kind=$1
program=$2
cli=$3
sample=$4
screenshot=${5:-}
: "${DISPLAY:?needs an X display (run under xvfb-run)}"
work=$(mktemp -d /tmp/pulldex-gui.XXXXXX)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; echo "0 passed, 1 failed"; exit 1; }

if [ "$kind" = win32 ]; then
  wine=/usr/lib/wine/wine64
  run() { "$wine" "$@"; }
  native() { echo "Z:${1//\//\\}"; }  # a Windows path for a file of ours
  open_title='^Open$'
  save_title='^Save As$'
  # Wine's chooser takes a whole Windows path.
  typed() { native "$1"; }
else
  run() { "$@"; }
  native() { echo "$1"; }
  open_title='^Choose File$'
  save_title='^Choose File$'
  # FLTK's chooser starts in the current folder and completes names as they
  # are typed, which garbles a typed folder: type the bare name.
  typed() { basename "$1"; }
fi

cp "$sample" "$work/first.tpr"
printf '1?026011111111110202020202' >"$work/second.sfs"
run "$cli" strip --sfs "$(native "$work/second.sfs")" "$(native "$work/first.tpr")" -o "$(native "$work/second.tpr")" ||
  fail "could not make the second project"
run "$cli" asc "$(native "$work/second.tpr")" -o "$(native "$work/expected.asc")" || fail "could not make the expected script"

# Waits up to 30 s for a visible window whose name matches, and prints its id.
window() {
  local id
  for _ in $(seq 150); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}
press() {  # focus the window, then send keys to it
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  shift
  sleep 0.3
  xdotool "$@"
}

cd "$work" || fail "no work folder"
run "$program" "$(native "$work/first.tpr")" &
pid=$!
main=$(window '^Pulldex 0\.56 by Brannock \(tessaly\)$') || fail "the dialog did not open"
sleep 1
[ -n "$screenshot" ] && import -window root -crop 420x280+0+0 "$screenshot"

press "$main" key alt+o
chooser=$(window "$open_title") || fail "the Open chooser did not appear"
press "$chooser" type --delay 20 "$(typed "$work/second.tpr")"
xdotool key Return
sleep 1

press "$main" key alt+e
chooser=$(window "$save_title") || fail "the Save chooser did not appear"
sleep 0.5
xdotool key Return
for _ in $(seq 50); do [ -f "$work/second.asc" ] && break; sleep 0.2; done
cmp -s "$work/second.asc" "$work/expected.asc" || fail "the dialog's script differs from the CLI's: $(ls "$work")"

press "$main" key Escape
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "Esc did not end the program"
wait "$pid" || fail "the program exited with $?"
echo "1 passed, 0 failed"
