#!/usr/bin/env bash
# Pictures of the built application as a user sees it: under an X server with
# a window manager (openbox) and a tray (trayer), from a copy of the bundle in
# a home of its own. Run by scripts/pictures.sh, on an X server of its own.
#
#   screenshots.sh BUNDLE OUTPUT_FOLDER TRAY_LOOKS_PROGRAM
#
# Writes app-settings.png, app-about.png, app-menu-access-warning.png,
# app-menu.png, app-tray-no-access.png, app-tray-off.png and tray-looks.png,
# and fails when one of them is missing or blank. They are taken in a folder
# of their own and only then moved there, so that a run never meets pictures
# half written by another.
set -euo pipefail
bundle=$1
looks=$3
mkdir -p "$2"
out=$(mktemp -d "$2/.taking-XXXXXX")

work=$(mktemp -d)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work" "$out"
}
trap finish EXIT

# Polls the command for up to a minute (a busy machine starts slowly).
wait_for() {
  for _ in $(seq 1200); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.05
  done
  echo "screenshots: timed out waiting for: $*" >&2
  cat "$work/output" >&2 || true
  return 1
}

home=$work/home
runtime=$work/runtime
mkdir -p "$home/Applications" "$runtime"
chmod 700 "$runtime"
cp -a "$bundle" "$home/Applications/"
app=$home/Applications/Quorvelle.app
# An identifier of its own: copies started elsewhere on the machine are left alone.
identifier=com.quorvelle.Quorvelle.screenshots-$$
sed -i "s#<string>com.quorvelle.Quorvelle</string>#<string>$identifier</string>#" "$app/Contents/Info.plist"

# The tray first, the window manager once it shows: trayer started beside a
# running openbox left its panel unmapped in 1 run in 5 on a busy machine,
# and never when it came first (0 in 40).
trayer --edge top --align right --widthtype request --height 28 --SetDockType true \
  --transparent false --tint 0xe8e8e7 --alpha 0 >>"$work/output" 2>&1 &
pids+=($!)
wait_for xdotool search --onlyvisible --class trayer
openbox >>"$work/output" 2>&1 &
pids+=($!)
wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
tray=$(xdotool search --onlyvisible --class trayer | head -n 1)

listening() {
  python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).connect(sys.argv[1])' \
    "$runtime/quorvelle/reopen.sock"
}
window_named() { xdotool search --onlyvisible --name "^$1\$"; }
app_windows() { xdotool search --onlyvisible --class "^Quorvelle$" 2>/dev/null | sort; }

start_app() {
  env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb \
    "$app/Contents/MacOS/Quorvelle" "$@" >>"$work/output" 2>&1 &
  app_pid=$!
  pids+=("$app_pid")
  wait_for listening
  # The icon is in the tray once trayer has taken a window of ours in.
  wait_for tray_holds_icon
}
tray_holds_icon() {
  test "$(xwininfo -id "$tray" -tree | sed -n 's/^ *\([0-9][0-9]*\) child.*/\1/p' | head -n 1)" -ge 1
}
stop_app() {
  kill -TERM "$app_pid"
  wait "$app_pid"
}

# The whole window, with the frame the window manager gives it.
capture_window() { import -frame -window "$(window_named "$1")" "$out/$2"; }
# The tray, enlarged four times.
capture_tray() {
  import -window "$tray" "$work/tray.png"
  convert "$work/tray.png" -filter point -resize 400% "$out/$1"
}
# Clicks the icon and captures the menu that opens, by the window that appears.
capture_menu() {
  windows_before=$(app_windows)
  # The tray grows as it takes icons in: its size is read now.
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
  wait_for new_window
  import -window "$(comm -13 <(echo "$windows_before") <(app_windows) | head -n 1)" "$out/$1"
}
new_window() { test "$(app_windows)" != "$windows_before"; }

# Switched on, without input access (this machine has none to give): the
# settings window opens with its warning, the icon is dimmed, the menu warns.
start_app
wait_for window_named "Quorvelle Preferences"
capture_window "Quorvelle Preferences" app-settings.png
capture_tray app-tray-no-access.png
capture_menu app-menu-access-warning.png
# About... is the fourth entry (separators are skipped).
xdotool key Down Down Down Down Return
wait_for window_named "About Quorvelle"
capture_window "About Quorvelle" app-about.png
stop_app

# Switched off, started at login: no window, the outline icon, no warning.
mkdir -p "$home/.config"
echo '{"enabled": false}' >"$home/.config/$identifier.json"
start_app --launched-at-login
capture_tray app-tray-off.png
capture_menu app-menu.png
stop_app

"$looks" "$out/tray-looks.png"

for picture in app-settings app-about app-menu-access-warning app-menu app-tray-no-access app-tray-off tray-looks; do
  deviation=$(convert "$out/$picture.png" -format '%[fx:standard_deviation]' info:)
  [ "$deviation" != 0 ] || { echo "screenshots: $picture.png is blank" >&2; exit 1; }
done
mv "$out"/*.png "$2/"
echo "screenshots: written to $2"
