#!/usr/bin/env bash
# Drives the real binary the way a new user would, from an empty data
# directory, under a virtual X server, and saves a screenshot of every step.
#
#   tools/walkthrough.sh [output-dir]      (default: /tmp/lumora-walkthrough)
#
# Needs a built tree (scripts/run or scripts/test) and installs xvfb, xdotool
# and imagemagick when they are missing. Each screenshot is cropped to the
# main window. Exits non-zero when a step cannot be carried out.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-/tmp/lumora-walkthrough}"
bin="$root/build/bin/lumora-notes"
[[ -x "$bin" ]] || { echo "walkthrough: $bin is missing; run scripts/run or scripts/test first" >&2; exit 1; }

need=()
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v xdotool >/dev/null || need+=(xdotool)
command -v import >/dev/null || need+=(imagemagick)
if ((${#need[@]})); then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# Inside the virtual display: the steps themselves.
if [[ "${1:-}" != "--inside" ]]; then
  rm -rf "$out" && mkdir -p "$out"
  exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" --inside "$out"
fi
out="$2"
data="$out/data"
mkdir -p "$data"
export NOTES_DATA_DIR="$data"
# Settings (window geometry) stay inside the walk-through too.
export XDG_CONFIG_HOME="$out/config"
# The update check must not reach the internet.
export LUMORA_UPDATE_URL="http://127.0.0.1:9/"

app_pid=""
step=0

start_app() {
  "$bin" >"$out/app.log" 2>&1 &
  app_pid=$!
  for _ in $(seq 1 100); do
    win=$(xdotool search --sync --limit 1 --onlyvisible --pid "$app_pid" --name '^Lumora Notes$' 2>/dev/null || true)
    [[ -n "$win" ]] && break
    sleep 0.1
  done
  [[ -n "$win" ]] || { echo "walkthrough: the main window did not appear" >&2; exit 1; }
  xdotool windowsize "$win" 1280 820 windowmove "$win" 0 0
  # No window manager on the virtual display: give the window the keyboard.
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 1
}

# Screenshot of the whole screen cropped to the main window.
shot() {
  step=$((step + 1))
  local name
  name=$(printf '%02d-%s.png' "$step" "$1")
  sleep "${2:-0.6}"
  eval "$(xdotool getwindowgeometry --shell "$win")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$name"
  echo "  $name"
}

# Screenshot of the topmost window (a dialog or a menu over the main window).
shot_screen() {
  step=$((step + 1))
  local name
  name=$(printf '%02d-%s.png' "$step" "$1")
  sleep "${2:-0.6}"
  import -window root -crop 1400x900+0+0 +repage "$out/$name"
  echo "  $name"
}

key() { xdotool key --clearmodifiers "$@"; sleep 0.25; }
# Without a window manager a closed dialog leaves no active window behind.
refocus() { xdotool windowfocus --sync "$win" 2>/dev/null || true; sleep 0.3; }
type_text() { xdotool type --delay 15 "$1"; sleep 0.2; }

# Window-relative click.
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.4; }

echo "walkthrough: screenshots in $out"
start_app
shot first-run 1.5

# A new note, typed and formatted from the Format menu.
key ctrl+n
type_text "Groceries for the weekend"
key Home shift+End
key alt+o
shot_screen format-menu
# Heading 1 is the sixth entry of the Format menu.
key Down Down Down Down Down Return
key End Return
type_text "Fresh basil and ripe tomatoes from the market"
key Return
shot new-note 1.5

# Search as you type.
key F3
type_text "basil"
shot search 1
key ctrl+a BackSpace

# A notebook: the last sidebar row (the third while there are none) creates one.
click 100 114
shot_screen new-notebook-dialog
type_text "Home"
key Return
shot notebook 1

# Move the open note there.
refocus
key ctrl+m
shot_screen move-dialog
key Down Return
shot moved 1

# A checklist in the open note, then the three windows of the View menu.
refocus
# Into the editor, below the text.
click 800 400
key ctrl+End Return
key ctrl+shift+9
type_text "Buy basil"
key Return
type_text "Call the market about tomatoes"
key Return
type_text "Water the herbs"
key Home
shot checklist 1.5
# A second note, trashed, so the Trash window has something to show.
key ctrl+n
type_text "Old shopping list"
key Return
type_text "Flour, eggs, basil"
sleep 1.5
# Move to Trash asks first (No is the default); Y answers Yes.
key ctrl+d
sleep 0.8
# No window manager: the question gets the keyboard only when given it.
ask=$(xdotool search --sync --limit 1 --onlyvisible --name '^Move to Trash' 2>/dev/null || true)
[[ -n "$ask" ]] && xdotool windowfocus --sync "$ask" 2>/dev/null
shot_screen trash-question 0.3
key alt+y
refocus
windows_tour() {
  local theme="$1" w
  key ctrl+alt+t
  w=$(xdotool search --sync --limit 1 --onlyvisible --name '^To-Dos' 2>/dev/null || true)
  [[ -n "$w" ]] && xdotool windowmove "$w" 60 60
  shot_screen "todos-$theme" 1
  [[ -n "$w" ]] && xdotool windowmove "$w" 1700 0
  refocus
  key ctrl+shift+f
  w=$(xdotool search --sync --limit 1 --onlyvisible --name '^Search' 2>/dev/null || true)
  [[ -n "$w" ]] && xdotool windowmove "$w" 60 60 && xdotool windowfocus --sync "$w" 2>/dev/null || true
  key ctrl+a
  type_text "basil"
  shot_screen "search-window-$theme" 1.2
  [[ -n "$w" ]] && xdotool windowmove "$w" 1700 0
  refocus
  key ctrl+alt+d
  w=$(xdotool search --sync --limit 1 --onlyvisible --name '^Trash' 2>/dev/null || true)
  [[ -n "$w" ]] && xdotool windowmove "$w" 60 60
  shot_screen "trash-window-$theme" 1
  [[ -n "$w" ]] && xdotool windowmove "$w" 1700 0
  refocus
}
windows_tour light

# Settings: switch to the dark theme.
refocus
key ctrl+comma
prefs=$(xdotool search --sync --limit 1 --onlyvisible --name '^Preferences$')
xdotool windowfocus --sync "$prefs" 2>/dev/null || true
shot_screen settings
# The theme box on the Appearance page: System, Light, Dark.
xdotool mousemove --window "$prefs" 250 81 click 1
sleep 0.4
key Down Down Return
shot_screen settings-dark 1
key Escape
refocus
shot dark-theme 1
windows_tour dark

# Quit and start again: the note, the notebook and the theme come back.
key ctrl+q
for _ in $(seq 1 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then
  echo "walkthrough: Quit did not end the app" >&2
  kill "$app_pid"
  exit 1
fi
start_app
shot restart 1.5
key ctrl+q
wait "$app_pid" || true
echo "walkthrough: done"
