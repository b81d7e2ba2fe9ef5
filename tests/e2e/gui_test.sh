#!/usr/bin/env bash
# Black-box run of the dialog under X, driven by xdotool: start without and
# with a project, open a second one through the real Open chooser, strip it
# in place, import a frame-setting file, export the AVI script and the
# frame-setting file beside it through the real choosers, compare each with
# what the CLI writes, and close with Esc. Both projects are named 日本語-é.tpr
# (two scripts), in two folders.
# Usage: gui_test.sh fltk|win32 PULLDEX PULLDEX_CLI SAMPLE [SCREENSHOT.png]
set -u
kind=$1
program=$2
cli=$3
sample=$4
screenshot=${5:-}
: "${DISPLAY:?needs an X display (run under xvfb-run)}"
work=$(mktemp -d /tmp/pulldex-gui.XXXXXX)
# The program runs under a subshell of `run`: its children go too, or they
# would hold the test's output open.
pid=
trap '[ -n "$pid" ] && { pkill -P "$pid"; kill "$pid"; } 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  [ -n "${PULLDEX_GUI_FAILSHOT:-}" ] && import -window root "$PULLDEX_GUI_FAILSHOT"
  echo "0 passed, 1 failed"
  exit 1
}

if [ "$kind" = win32 ]; then
  wine=${PULLDEX_WINE:-wine64}
  run() { "$wine" "$@"; }
  native() { echo "Z:${1//\//\\}"; }  # a Windows path for a file of ours
  open_title='^Open$'
  save_title='^Save As$'
  # Wine focuses its question whether to replace a file, titled as the chooser.
  answer_yes() {
    xdotool search --onlyvisible --name '^Save As$' >/dev/null 2>&1 && xdotool key Return
  }
  # Return to a chooser that is still closing would land in the dialog.
  late_question() { :; }
  # Wine's chooser takes a whole Windows path; a proposed name is replaced
  # by selecting it all.
  typed() { native "$1"; }
  replace_name() { xdotool key End shift+Home; enter "$(native "$here/$2")"; }
else
  run() { "$@"; }
  native() { echo "$1"; }
  # Titled as the platform's own choosers are.
  open_title='^Open$'
  save_title='^Save As$'
  # FLTK's question whether to replace a file has no title and, without a
  # window manager, no focus.
  answer_yes() {
    local id
    for id in $(xdotool search --onlyvisible --class '^FLTK$' 2>/dev/null); do
      [ -z "$(xdotool getwindowname "$id" 2>/dev/null)" ] && { press "$id" key Return; return 0; }
    done
    return 0
  }
  late_question() { answer_yes; }
  # FLTK's chooser starts in the current folder and completes names as they
  # are entered, which garbles an entered folder: enter the bare name, after
  # deleting the proposed one.
  typed() { basename "$1"; }
  replace_name() {
    xdotool key End
    for _ in $(seq ${#1}); do xdotool key BackSpace; done
    enter "$2"
  }
fi

name='日本語-é'
# Names go in by the clipboard. xdotool types a character the keyboard lacks
# by mapping a spare key to it for an instant, and a busy program that reads
# the map late loses the character; a paste carries every one.
command -v xclip >/dev/null || fail "needs xclip"
enter() {  # TEXT, pasted where the focus is
  local tries=5
  until printf %s "$1" | xclip -selection clipboard >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ $tries -gt 0 ] || fail "xclip could not take the clipboard"
    sleep 0.5
  done
  xdotool key ctrl+v
}
mkdir "$work/one" "$work/two"
here=$work/two  # the second project, its outputs, and the folder the dialog starts in
cp "$sample" "$work/sample.tpr"
sample_native=$(native "$work/sample.tpr")
printf '1?026011111111110202020202' >"$here/second.sfs"
printf '1000200030004000500060001' >"$here/third.sfs"
cli_do() { run "$cli" "$@" || fail "pulldex-cli $*"; }
# The first project: the sample with other frame settings. The second: the
# sample itself, whose copy frames the in-place strip removes.
cli_do strip --sfs "$(native "$here/second.sfs")" "$sample_native" -o "$(native "$work/one/$name.tpr")"
cli_do asc "$(native "$work/one/$name.tpr")" -o "$(native "$here/first.asc")"
cp "$sample" "$here/$name.tpr"
cli_do strip "$(native "$here/$name.tpr")" -o "$(native "$here/expected.tpr")"
cli_do asc --sfs "$(native "$here/third.sfs")" "$(native "$here/$name.tpr")" -o "$(native "$here/expected.asc")"
cli_do sfs --sfs "$(native "$here/third.sfs")" "$(native "$here/$name.tpr")" -o "$(native "$here/expected.sfs")"
cmp -s "$here/$name.tpr" "$here/expected.tpr" && fail "the second project has no copy frames to strip"

# Tries CHECK every fifth of a second, STEPS times at most, until it holds.
poll() {  # STEPS CHECK...
  local steps=$1
  shift
  for _ in $(seq "$steps"); do "$@" && return 0; sleep 0.2; done
  return 1
}
shown() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 | grep .; }
hidden() { ! shown "$1" >/dev/null; }
# Waits up to 30 s (or STEPS fifths of a second) for a visible window whose
# name matches, and prints its id.
window() { poll "${2:-150}" shown "$1"; }  # NAME [STEPS]
gone() { poll 150 hidden "$1"; }
focus() {
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  sleep 0.3
}
press() {  # focus the window, then send keys to it
  focus "$1"
  shift
  xdotool "$@"
}

cd "$here" || fail "no work folder"
# Without an argument: the dialog opens, and Esc ends it.
run "$program" &
pid=$!
main=$(window '^Pulldex 0\.56 by Brannock \(tessaly\)$') || fail "the dialog did not open without an argument"
sleep 0.5
press "$main" key Escape
wait "$pid" || fail "the program exited with $? after Esc"

run "$program" "$(native "$work/one/$name.tpr")" &
pid=$!
main=$(window '^Pulldex 0\.56 by Brannock \(tessaly\)$') || fail "the dialog did not open"
sleep 1
[ -n "$screenshot" ] && import -window root -crop 420x280+0+0 "$screenshot"

# Waits up to 20 s for FILE to hold the bytes of EXPECTED, answering a
# question whether to replace it that came late.
matches() { cmp -s "$1" "$2" || { late_question; false; }; }
compare() {  # FILE EXPECTED WHAT
  poll 100 matches "$1" "$2" && return 0
  fail "$3: the dialog's $1 differs from the CLI's $2: $(ls "$(dirname "$1")")"
}
# Runs a command by its Alt key; in its chooser, the proposed name becomes
# NAME (or stays, without one), and a question whether to replace a file is
# answered yes.
command() {  # KEY TITLE [NAME]
  # A key the busy dialog has not yet taken is pressed again.
  chooser=
  for _ in 1 2 3; do
    press "$main" key "$1"
    chooser=$(window "$2" 50) && break
  done
  [ -n "$chooser" ] || fail "no chooser for $1"
  focus "$chooser"
  [ -n "${3:-}" ] && replace_name "$name.tpr" "$3"
  xdotool key Return
  sleep 1
  answer_yes
  gone "$2" || fail "the chooser for $1 stayed open"
}

# The project of the command line loaded: its script, beside it in one/.
command alt+e "$save_title"
compare "$work/one/$name.asc" first.asc "the script of the command line's project"

# The second project, through the Open chooser, whose field holds no name
# to replace.
press "$main" key alt+o
chooser=$(window "$open_title") || fail "the Open chooser did not appear"
focus "$chooser"
enter "$(typed "$here/$name.tpr")"
xdotool key Return
gone "$open_title" || fail "the Open chooser stayed open"

# Without copy frames, in place, from the loaded list.
command alt+r "$save_title"
compare "$here/$name.tpr" expected.tpr "the project stripped in place"
# An import, which the later commands use; the Open chooser reads the file.
command alt+i "$open_title" third.sfs
command alt+e "$save_title"
compare "$here/$name.asc" expected.asc "the script"
command alt+x "$save_title" "$name.sfs"
compare "$here/$name.sfs" expected.sfs "the frame-setting file"

press "$main" key Escape
ended() { ! kill -0 "$pid" 2>/dev/null; }
poll 50 ended || fail "Esc did not end the program"
wait "$pid" || fail "the program exited with $?"
echo "1 passed, 0 failed"
