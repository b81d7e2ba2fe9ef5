#!/usr/bin/env bash
# Black-box run of the dialog under X, driven by xdotool: start without and
# with a project, open a second one through the real Open chooser, write a
# project without copy frames, import a frame-setting file, export the AVI
# script and the frame-setting file through the real choosers, compare each
# with what the CLI writes, and close with Esc.
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
  wine=${PULLDEX_WINE:-wine64}
  run() { "$wine" "$@"; }
  native() { echo "Z:${1//\//\\}"; }  # a Windows path for a file of ours
  open_title='^Open$'
  save_title='^Save As$'
  # Wine's chooser takes a whole Windows path; a proposed name is replaced
  # by selecting it all.
  typed() { native "$1"; }
  replace_name() { xdotool key End shift+Home; xdotool type --delay 20 "$(native "$work/$2")"; }
else
  run() { "$@"; }
  native() { echo "$1"; }
  open_title='^Choose File$'
  save_title='^Choose File$'
  # FLTK's chooser starts in the current folder and completes names as they
  # are typed, which garbles a typed folder: type the bare name, after
  # deleting the proposed one.
  typed() { basename "$1"; }
  replace_name() {
    xdotool key End
    for _ in $(seq ${#1}); do xdotool key BackSpace; done
    xdotool type --delay 20 "$2"
  }
fi

cp "$sample" "$work/first.tpr"
printf '1?026011111111110202020202' >"$work/second.sfs"
printf '1000200030004000500060001' >"$work/third.sfs"
cli_do() { run "$cli" "$@" || fail "pulldex-cli $*"; }
cli_do strip --sfs "$(native "$work/second.sfs")" "$(native "$work/first.tpr")" -o "$(native "$work/second.tpr")"
cli_do strip "$(native "$work/second.tpr")" -o "$(native "$work/expected.tpr")"
cli_do asc --sfs "$(native "$work/third.sfs")" "$(native "$work/second.tpr")" -o "$(native "$work/expected.asc")"
cli_do sfs --sfs "$(native "$work/third.sfs")" "$(native "$work/second.tpr")" -o "$(native "$work/expected.sfs")"

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
# Without an argument: the dialog opens, and Esc ends it.
run "$program" &
pid=$!
main=$(window '^Pulldex 0\.56 by Brannock \(tessaly\)$') || fail "the dialog did not open without an argument"
sleep 0.5
press "$main" key Escape
wait "$pid" || fail "the program exited with $? after Esc"

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

# Runs a command by its Alt key; in its chooser, the proposed name becomes
# NAME (or stays, without one). Waits for OUTPUT and compares it with EXPECTED.
command() {  # KEY TITLE OUTPUT EXPECTED [NAME]
  press "$main" key "$1"
  chooser=$(window "$2") || fail "no chooser for $1"
  sleep 0.5
  [ -n "${5:-}" ] && replace_name second.tpr "$5"
  xdotool key Return
  for _ in $(seq 50); do [ -f "$work/$3" ] && break; sleep 0.2; done
  sleep 0.3
  cmp -s "$work/$3" "$work/$4" || fail "$1: the dialog's $3 differs from the CLI's $4: $(ls "$work")"
}
# Without copy frames, from the loaded list.
command alt+r "$save_title" dialog.tpr expected.tpr dialog.tpr
# An import, which the later commands use; the Open chooser reads the file.
press "$main" key alt+i
chooser=$(window "$open_title") || fail "no chooser for the import"
sleep 0.5
replace_name second.tpr third.sfs
xdotool key Return
sleep 1
command alt+e "$save_title" second.asc expected.asc
command alt+x "$save_title" dialog.sfs expected.sfs dialog.sfs

press "$main" key Escape
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "Esc did not end the program"
wait "$pid" || fail "the program exited with $?"
echo "1 passed, 0 failed"
