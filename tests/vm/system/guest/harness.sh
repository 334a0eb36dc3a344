#!/bin/sh
# The guest side of the acceptance scenarios, run as root once the system is
# up. What a scenario needs is here, so that one is a few lines: keys typed on
# the USB keyboard through the host, what the test user's X client received,
# commands run in the user's session, waits on conditions. scenarios.sh holds
# the scenarios; the host names the ones to run on the kernel command line.
share=/mnt/host user=tester home=/home/tester run=/run/user/1000
# The second user, whose console session on tty3 runs no Quorvelle.
visitor=visitor visitor_run=/run/user/1001
exec 3<>/dev/ttyS0
stty -F /dev/ttyS0 raw -echo
say() { echo "$*" >&3; }

# A scenario is a function, run in a subshell that stops at the first failed
# step (one step a line: a failure inside an && list does not stop it); the
# step's reason (or the command that failed) ends up in the verdict.
scenario() {
  say "@@START $1"
  rm -f /run/why
  (set -ex; "$1") 2>/run/trace
  if [ $? = 0 ]; then say "@@PASS $1"; else say "@@FAIL $1: $(cat /run/why 2>/dev/null || tail -n 1 /run/trace)" && evidence; fi
}
# For the console log of a failed scenario: its last steps, the service's and
# the application's last lines.
evidence() {
  { tail -n 8 /run/trace; journalctl -q -u quorvelle-engine.service -n 12 -o short-unix
    echo "since the scenario's mark:" && service_log
    echo "the application's last lines:" && journalctl -q -t quorvelle -n 12 -o short-unix; } 2>&1 |
    sed 's/^/  | /' >&3
}
fail() { echo "$*" >/run/why; return 1; }
info() { say "@@INFO $*"; }

# Polls CONDITION (shell text) until it holds or SECONDS pass. Not faster
# than every 0.3 s by default: polling steals the emulated processor's time.
wait_for() {
  local deadline=$(($(date +%s) + ${2:-20}))  # a condition may wait_for too
  until eval "$1"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep "${3:-0.3}"
  done
}

# Keys pressed by the host: qcode:d (down), :u (up), :t (tap), on the newest
# USB keyboard on the display, or with display= on the PS/2 keyboard.
keys() {
  mark
  ask_host REQ "${gap:-40} $(for key; do printf '%s ' "$key@${display-vga0}"; done)"
}
# A QMP command run by the host: qmp COMMAND JSON-ARGUMENTS.
qmp() { ask_host QMP "$*"; }
requests=0
ask_host() {
  requests=$((requests + 1))
  say "@@$1 $requests $2"
  while read -r line <&3; do
    case "$line" in *"@@ACK $requests"*) return 0 ;; esac
  done
}

# What the X client (or, with client=wayland, the Wayland one) received since
# the last keys: +KEYSYM:STATE for a press, -KEYSYM:STATE for a release,
# modifier keys left out (STATE shows them). With client=console, the codes of
# the characters the second user's console session read.
client=x
client_log() {
  case "$client" in
    console) echo "$visitor_run/console.log" ;;
    *) echo "$run/$client.log" ;;
  esac
}
mark() { from=$(($(wc -l <"$(client_log)") + 1)); }
typed() { received | grep -v -E '^.(Shift|Control|Alt|Super|Meta)_' | tr '\n' ' '; }
received() {
  case "$client" in
    x) tail -n "+$from" "$run/x.log"; return ;;
    # A key held past the console's repeat delay (emulation can stretch a
    # tap) repeats: each character counts once.
    console) tail -n "+$from" "$visitor_run/console.log" | tr -d ' ' | uniq; return ;;
  esac
  # wev prints a key, then its keysym on the next line; the modifiers come in
  # events of their own.
  tail -n "+$from" "$run/wayland.log" | while read -r a b c rest; do
    case "$a$c" in
      depressed:*) mods=$((0x${b%:})) ;;
      locked:*) locked=$((0x${b%:})) ;;
      *key:) case "$rest" in *"state: 1"*) way=+ ;; *) way=- ;; esac ;;
      sym:*) [ -z "$way" ] || printf '%s%s:%x\n' "$way" "$b" $((mods | locked)) && way= ;;
    esac
  done
}
expect() {
  want="$* "
  wait_for '[ "$(typed)" = "$want" ]' 10 || fail "the $client client received '$(typed)', not '$want'"
}
# X state masks: Shift 1, Lock 2, Control 4, Mod1 (Alt) 8, Mod4 (Super) 40.
hyper() { keys caps_lock:d t:t caps_lock:u && expect "+t:$1 -t:$1"; }
plain() { keys t:t && expect "+t:0 -t:0"; }

# The X server's own view: keys it holds down, Caps Lock's lock.
x_state() { as_user "$share/keylog" state; }
caps_lock_is() {
  lock=$1
  wait_for '[ "$(x_state | sed -n "s/^caps: //p")" = "$lock" ]' 5 || fail "Caps Lock's lock is not $1"
}
# Caps Lock is Caps Lock: its lock turns on, T arrives with it, and it turns off.
caps_lock_is_itself() {
  keys caps_lock:t
  caps_lock_is on
  keys t:t
  expect "+t:2 -t:2"
  keys caps_lock:t
  caps_lock_is off
}
no_key_down() { wait_for '[ "$(x_state | sed -n "s/^down://p")" = "" ]' 5 || fail "held in X: $(x_state)"; }

as_user() {
  runuser -u "$user" -- env DISPLAY=:0 XAUTHORITY="$home/.Xauthority" XDG_RUNTIME_DIR="$run" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$run/bus" "$@"
}
# Runs a command inside the user's X session, as the desktop's menu would.
in_session() { echo "$*" >"$run/commands"; }
# Quorvelle as a user starts it: the applications menu entry's command.
start_quorvelle() {
  in_session "$(sed -n 's/^Exec=//p' /usr/share/applications/com.quorvelle.Quorvelle.desktop | sed 's/ *%[a-zA-Z]//g')"
  wait_for running 30 || fail "Quorvelle did not start"
}
running() { pidof Quorvelle >/dev/null; }
# The service holds the keyboards: its virtual keyboard exists. Served: the X
# server reads that keyboard as well, so keys typed now come through it.
engine_on() { grep -q 'Name="Quorvelle Virtual Keyboard"' /proc/bus/input/devices; }
served() { engine_on && as_user xinput list --name-only 2>/dev/null | grep -q '^Quorvelle Virtual Keyboard$'; }
# Served, and since journal_mark the application has turned the hyper key on:
# its last step, once the key mapping is in place. Keys typed earlier may
# still be plain Caps Lock.
ready() { served && logged "hyper key on for user 1000"; }
window() { as_user xdotool search --name "^$1\$" 2>/dev/null | head -n 1; }
settings() { window 'Quorvelle Preferences'; }
# Keys to the X client, wherever Quorvelle's windows are.
focus_keylog() { as_user xdotool windowfocus --sync "$(window keylog)"; }
# Opens the tray icon's menu with a click and picks an item with the keys given.
tray_menu() {
  icon=$(tray_icon)
  [ -n "$icon" ] || fail "no tray icon"
  as_user xdotool mousemove --window "$icon" 4 4 click 1 sleep 1 key "$@"
  focus_keylog
}
tray_icon() { as_user xdotool search --pid "$(pidof Quorvelle)" --onlyvisible --name '^$' | head -n 1; }
can_open() { runuser -u "$user" -- sh -c ": <>'$1'" 2>/dev/null; }
# The error the test user gets opening a file for reading and writing.
open_error() { runuser -u "$user" -- sh -c ": <>'$1'" 2>&1; }
keyboard_node() { readlink -f /dev/input/by-id/*QEMU_USB_Keyboard*-event-kbd; }

# The engine service: its process, and its journal since journal_mark, each
# line after its time (microseconds since the epoch).
service_pid() { systemctl show -p MainPID --value quorvelle-engine.service; }
# (By time, not by cursor: with the unit's filter, journalctl --after-cursor
# missed lines here.)
journal_mark() { marked=$(now_us); }
service_log() {
  journalctl -q -u quorvelle-engine.service --since "@$((marked / 1000000))" -o short-unix |
    while read -r at rest; do [ "${at%.*}${at#*.}" -lt "$marked" ] || echo "${at%.*}${at#*.} $rest"; done
}
logged() { service_log | grep -q -F "Quorvelle engine: $1"; }
# Microseconds since the epoch: now, and when the service first logged TEXT.
now_us() { echo $(($(date +%s%N) / 1000)); }
logged_at() { service_log | grep -F "Quorvelle engine: $1" | head -n 1 | cut -d ' ' -f 1; }
# Milliseconds from the microsecond time $1 to the service's line $2.
ms_until_logged() { echo $((($(logged_at "$2") - $1) / 1000)); }
# The test's misbehaving client of the service, run as the user given.
probe_as() { who=$1 && shift && runuser -u "$who" -- "$share/engine_probe" "$@"; }
# Whether a plain reader of the keyboard node $1 hears a Pause typed on it.
heard() {
  "$share/device_probe" listen "$1" >/run/heard &
  wait_for '[ -s /run/heard ]' 5 0.1
  keys pause:t
  wait $!
  grep -q heard /run/heard
}

# Time from the host's key press to the X client's event, over 50 taps of T:
# each press the client receives is echoed to the host as a @@SEEN line, and
# the next tap waits for it.
latency() {
  : >/run/seen
  { tail -n 0 -f "$run/x.log" & echo $! >/run/tail.pid; wait; } |
    grep --line-buffered '^+t' | sed -u 's/^/@@SEEN /' | tee -a /run/seen >&3 &
  taps=0
  while [ "$taps" -lt 50 ] && gap=0 keys t:t && wait_for '[ "$(wc -l </run/seen)" -gt "$taps" ]' 5 0.05; do
    taps=$((taps + 1))
  done
  kill "$(cat /run/tail.pid)"
  [ "$taps" = 50 ] || fail "T did not arrive"
  say "@@FIGURE key latency, $1"
}

. "$share/guest/scenarios.sh"
