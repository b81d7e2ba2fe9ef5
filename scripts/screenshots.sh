#!/usr/bin/env bash
# Refreshes the dialog screenshots in docs/: each dialog with a project loaded,
# framed by a small window manager under Xvfb; the Windows one under Wine with
# its light theme, so that the controls show their visual styles.
# Usage: screenshots.sh (after building the native and windows presets)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh shots
for exe in build/native/pulldex build/windows/pulldex.exe; do
  [ -x "$exe" ] || { echo "build the native and windows presets first ($exe is missing)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/pulldex-shots.XXXXXX)
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
Xvfb :93 -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill "$app" "$wm" "$xvfb" 2>/dev/null; "$wineserver" -k 2>/dev/null; rm -rf "$work" "${videos:-}"' EXIT
export DISPLAY=:93
sleep 1
# New windows are placed without asking, at the place they ask for. The X
# server's built-in font serves the title bars.
printf 'RandomPlacement\nUsePPosition "on"\nNoGrabServer\nDecorateTransients\n' >"$work/twmrc"
for f in TitleFont ResizeFont MenuFont IconFont IconManagerFont; do echo "$f \"fixed\"" >>"$work/twmrc"; done
twm -f "$work/twmrc" >/dev/null 2>&1 &
wm=$!
# A short path, so that the path field shows it whole.
videos=$(mktemp -d /tmp/Videos.XXXX)
cp examples/sample.tpr "$videos/movie.tpr"

# Saves the dialog, with its frame, once it is up.
shoot() {  # OUTPUT.png COMMAND...
  local out=$1 id frame x y w h
  shift
  "$@" &
  app=$!
  for _ in $(seq 150); do
    id=$(xdotool search --onlyvisible --name '^Pulldex ' 2>/dev/null | head -n 1) && [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "no dialog for $out" >&2; exit 1; }
  sleep 2
  # The window manager's frame around the dialog: its ancestor below the root.
  local rootId parent
  rootId=$(xwininfo -root | awk '/Window id:/ {print $4}')
  frame=$id
  while parent=$(xwininfo -id "$frame" -tree | awk '/Parent window id:/ {print $4}') && [ -n "$parent" ] &&
    [ "$parent" != "$rootId" ]; do
    frame=$parent
  done
  frame=$(xwininfo -id "$frame")
  x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$frame")
  y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$frame")
  w=$(awk '/Width:/ {print $2}' <<<"$frame")
  h=$(awk '/Height:/ {print $2}' <<<"$frame")
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$root/$out"
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  echo "wrote $out (${w}x${h})"
}

shoot docs/dialog-linux.png build/native/pulldex "$videos/movie.tpr"

"$wine" wineboot >/dev/null 2>&1
key='HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager'
"$wine" reg add "$key" /v DllName /t REG_SZ /d 'C:\windows\resources\themes\light\light.msstyles' /f >/dev/null 2>&1
"$wine" reg add "$key" /v ThemeActive /t REG_SZ /d 1 /f >/dev/null 2>&1
bash scripts/wine-fonts.sh "$wine" >/dev/null 2>&1
"$wineserver" -w
shoot docs/dialog-windows.png "$wine" build/windows/pulldex.exe "Z:${videos//\//\\}\\movie.tpr"
