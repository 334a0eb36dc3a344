# The acceptance scenarios: the installed Quorvelle used as a person uses it.
# Each is a function; the list at the end runs them in order on one boot.

install() {
  # A fresh boot: the service must load uinput itself.
  [ ! -e /sys/module/uinput ] || fail "uinput was loaded before the package was installed"
  apt-get install -y -q "$(ls $share/quorvelle_*.deb)" >/run/install.log 2>&1 ||
    fail "apt-get install: $(tail -n 3 /run/install.log)"
  systemctl is-active -q quorvelle-engine.socket || fail "the package left the service's socket off"
}

# Installed from the package, Quorvelle is trusted at once: no grant (the
# system has no polkit rule that could let one pass), no warning.
first_start() {
  journal_mark
  start_quorvelle
  wait_for ready 30 || fail "the engine did not start"
  wait_for 'logged "serving user 1000"' 5 || fail "the service did not log whom it serves"
  wait_for '[ -n "$(settings)" ]' || fail "no settings window"
  [ "$(warning)" = 0 ] || fail "the settings window shows the access warning"
  focus_keylog
  hyper 4c
}
# Pixels of the warning's yellow symbol in the settings window.
warning() { as_user "$share/keylog" yellow "$(settings)" 2>/dev/null || echo 0; }

# The keyboards and uinput are the service's alone, and its unit is hardened.
user_has_no_access() {
  served || fail "the engine is not running"
  for node in /dev/uinput "$(keyboard_node)"; do
    why=$(open_error "$node") && fail "the test user opened $node"
    case "$why" in *"Permission denied"*) ;; *) fail "opening $node: $why" ;; esac
  done
  rating=$(systemd-analyze security quorvelle-engine.service | sed -n 's/.*Overall exposure level for [^:]*: //p')
  info "systemd-analyze security quorvelle-engine.service: exposure $rating"
  set -- $rating
  case "${2:-}" in PERFECT | SAFE | OK) ;; *) fail "the unit's exposure is '$rating', not OK or better" ;; esac
}

latency_without_quorvelle() { latency "without Quorvelle"; }
latency_with_quorvelle() {
  served || fail "Quorvelle's engine is not running"
  focus_keylog
  latency "with Quorvelle"
}

hyper_in_x() {
  focus_keylog
  hyper 4c
  plain
  caps_lock_is off
  keys shift:d caps_lock:d t:t caps_lock:u shift:u
  expect "+t:4d -t:4d"
}

# Every keyboard is taken, however it came: the built-in PS/2 one, one
# plugged in while the engine runs, uinput and uhid ones made in the guest.
ps2_keyboard() {
  focus_keylog
  display=                                    # keys bound to no display go to PS/2
  hyper 4c
}

# Unplugged with keys held, a keyboard leaves none down; the others go on.
hot_plug() {
  focus_keylog
  before=$(usb_keyboards)
  qmp device_add '{"driver": "usb-kbd", "id": "kbd2", "bus": "xhci.0", "display": "vga0"}'
  wait_for '[ -n "$(added_keyboard)" ]' || fail "the added keyboard did not appear"
  added=$(added_keyboard)
  wait_for "! heard $added" 30 0 || fail "the added keyboard was not grabbed"
  hyper 4c                                    # typed on the added keyboard, the newest
  keys caps_lock:d t:d
  qmp device_del '{"id": "kbd2"}'
  wait_for '[ ! -e "$added" ]' || fail "the added keyboard did not go"
  no_key_down
  hyper 4c
}
usb_keyboards() { ls /dev/input/by-path/*-usb-*-event-kbd; }
added_keyboard() { usb_keyboards | grep -v -x -F "$before"; }

# A keyboard with no key map: hyper over A held with five repeats (30 is A,
# 48 B; C, A, M: Control, Alt, Super held), exactly those repeats, then a
# burst of taps in chunks, none lost or out of order.
uinput_keyboard() {
  focus_keylog
  got=$("$share/device_probe" keyboard)
  [ "$got" = "30:1:CAM 30:2:CAM 30:2:CAM 30:2:CAM 30:2:CAM 30:2:CAM 30:0:CAM 48:1 48:0, 1000 taps in order" ] ||
    fail "the uinput keyboard gave: $got"
}

# A keyboard that also points: hyper works and its click and move (type 1
# key 272 BTN_LEFT, type 2 REL_X, REL_Y) come out of the virtual pointer,
# which goes with it. A keypad of Caps Lock alone is left alone.
pointing_keyboard() {
  focus_keylog
  as_user xdotool mousemove --window "$(window keylog)" 600 500  # away from the tray and the settings
  got=$("$share/device_probe" pointing)
  [ "$got" = "30:1:CAM 30:0:CAM 48:1 48:0, pointer 1:272:1 2:0:5 2:1:-3 1:272:0 , keypad free" ] ||
    fail "the pointing keyboard gave: $got"
  wait_for '! grep -q "Quorvelle Virtual Pointer" /proc/bus/input/devices' 5 || fail "the virtual pointer stayed"
}

tray_enabled() {
  tray_menu Down Return                       # "Enabled", the first item
  wait_for '! engine_on' || fail "the engine kept running"
  caps_lock_is_itself
  journal_mark
  tray_menu Down Return
  wait_for ready || fail "the engine did not start again"
  hyper 4c
}

modifier_set() {
  record shift:d alt:d alt:u shift:u
  hyper 9
  record ctrl:d alt:d meta_l:d meta_l:u alt:u ctrl:u
  hyper 4c
}
# Records a modifier set in the settings window, as its user would.
record() {
  copy=$(pidof Quorvelle)
  in_session quorvelle                        # shows the running copy's settings
  wait_for '[ -n "$(settings)" ]' || fail "no settings window"
  as_user xdotool windowfocus --sync "$(settings)"
  keys spc:t                                  # "Record Shortcut" has the focus
  keys "$@"
  [ "$(pidof Quorvelle)" = "$copy" ] || fail "a new copy replaced the running one"
  focus_keylog
}

# The service never waits on the application: keys typed while it is stopped
# keep their hyper until the service's bound lets the stopped client go.
stopped_app() {
  app=$(pidof Quorvelle) || fail "Quorvelle is not running"
  focus_keylog
  journal_mark
  stopped=$(now_us)
  kill -STOP "$app"
  trap 'kill -CONT "$app"' EXIT
  hyper 4c
  wait_for 'logged "released: client not answering"' 10 || fail "the stopped client was not let go"
  wait_for '! engine_on' 1 || fail "the virtual keyboard stayed after the release"
  info "SIGSTOP of the application: let go after $(ms_until_logged "$stopped" "released: client not answering") ms"
  wait_for '[ "$(now_us)" -ge $((stopped + 3000000)) ]' 5    # stopped for three seconds
  kill -CONT "$app"
  wait_for ready 10 || fail "not served again after SIGCONT"
  [ "$(pidof Quorvelle)" = "$app" ] || fail "the application did not survive the stop"
  hyper 4c
}

service_restart() {
  focus_keylog
  journal_mark
  restarted=$(now_us)
  systemctl restart quorvelle-engine.service
  wait_for 'logged "serving user 1000"' 10 || fail "not served again after the restart"
  info "systemctl restart of the service: served again after $(ms_until_logged "$restarted" "serving user 1000") ms"
  wait_for ready 10 || fail "no virtual keyboard in X after the restart"
  hyper 4c
}

# A second user on the seat: the service lets go, the keys reach that user's
# session untouched, none reach the first user; switching back serves again.
second_user() {
  systemctl start getty@tty3
  wait_for '[ -s "$visitor_run/session-tty3" ] && [ -e "$visitor_run/console.log" ]' 30 || fail "no login on tty3"
  x_lines=$(wc -l <"$run/x.log")
  journal_mark
  trap 'loginctl activate "$(cat "$run/session-tty1")"' EXIT  # back to X, whatever happens
  loginctl activate "$(cat "$visitor_run/session-tty3")"
  wait_for 'logged "released: session changed"' 5 || fail "the service did not let go at the switch"
  wait_for '! engine_on' 1 || fail "the virtual keyboard stayed after the switch"
  client=console
  keys caps_lock:t t:t caps_lock:t t:t
  expect "84 116"                             # T, t: Caps Lock is Caps Lock
  [ "$(wc -l <"$run/x.log")" = "$x_lines" ] || fail "the first user's X client received keys"
  ! logged "serving user" || fail "the service served someone while the second user was active"
  loginctl activate "$(cat "$run/session-tty1")"
  client=x
  wait_for ready 15 || fail "not served again after switching back"
  focus_keylog
  hyper 4c
}

# Misbehaving clients: another user's is refused, a bad message ends only its
# own connection, many short connections leave nothing behind.
socket_abuse() {
  journal_mark
  answer=$(probe_as "$visitor" start)
  [ "$answer" = "not the active session" ] || fail "the second user's Start was answered '$answer'"
  wait_for 'logged "refused user 1001: not the active session"' 5 || fail "no refusal in the journal"
  for kind in garbage oversized; do
    answer=$(probe_as "$user" "$kind")
    [ "$answer" = ended ] || fail "a connection sending a $kind message stayed $answer"
  done
  wait_for '[ "$(service_log | grep -c "ended a connection")" = 2 ]' 5 || fail "not two ended connections logged"
  ! logged "released" || fail "a bad message made the service let go"
  focus_keylog
  hyper 4c
  probe_as "$user" cycles 50 >/dev/null       # first-use allocations happen here
  before=$(footprint)
  answer=$(probe_as "$user" cycles 1000) || fail "1000 connections: $answer"
  set -- $before $(footprint)
  info "the engine service before and after 1000 connections: $1 kB resident, $2 descriptors; then $3 kB, $4"
  [ "$2" = "$4" ] || fail "the service's descriptors went from $2 to $4"
  # Flat, less what the allocator may keep: a leak of 1 kB a connection fails.
  [ "$3" -le $(($1 + 1000)) ] || fail "the service's memory went from $1 kB to $3 kB"
  hyper 4c
}
# The service's resident kB and its descriptors.
footprint() {
  pid=$(service_pid)
  echo "$(awk '/VmRSS/ {print $2}' "/proc/$pid/status") $(ls "/proc/$pid/fd" | wc -l)"
}

crash() {
  figures_of "$(pidof Quorvelle)" Quorvelle
  figures_of "$(service_pid)" "the engine service"
  focus_keylog
  keys caps_lock:d t:d
  journal_mark
  killed=$(now_us)
  kill -KILL "$(pidof Quorvelle)"
  wait_for 'logged "released: client gone"' 5 || fail "the service did not let go of the killed client"
  info "from SIGKILL of the application to the release: $(ms_until_logged "$killed" "released: client gone") ms"
  wait_for '! engine_on' 1 || fail "the virtual keyboard stayed after the release"
  keys t:u caps_lock:u
  no_key_down
  caps_lock_is_itself
  start_quorvelle
  wait_for ready || fail "the engine did not start again"
  focus_keylog
  hyper 4c
}
figures_of() {
  info "$(awk -v who="$2" '{printf "%s after the scenarios: %.2f s of processor time", who, ($14 + $15) / 100}' \
    "/proc/$1/stat"), $(awk '/VmRSS/ {print $2, $3}' "/proc/$1/status") resident"
}

quit() {
  tray_menu Up Return                         # "Quit Quorvelle", the last item
  wait_for '! running' || fail "Quorvelle did not quit"
  wait_for '! engine_on' 1 || fail "the service kept the keyboards"
  no_key_down
  keys caps_lock:t
  caps_lock_is on
  keys caps_lock:t
  caps_lock_is off
}

launch_at_login() {
  ! running || fail "Quorvelle runs already: where its window's focus is, is not known"
  start_quorvelle
  wait_for '[ -n "$(settings)" ]' || fail "no settings window"
  keys tab:t tab:t spc:t                      # a new window: "Launch at login"
  wait_for '[ -e "$home/.config/autostart/com.quorvelle.Quorvelle.desktop" ]' 5 || fail "no autostart entry"
  before=$(pidof Quorvelle)
  loginctl terminate-session "$(cat "$run/session-tty1")"
  wait_for 'running && [ "$(pidof Quorvelle)" != "$before" ] && [ -n "$(tray_icon)" ]' 60 ||
    fail "Quorvelle is not in the tray after the new login"
  [ -z "$(settings)" ] || fail "the settings window opened"
}

wayland() {
  systemctl start getty@tty2
  wait_for '[ -s "$run/session-tty2" ]' 30 || fail "no login on tty2"
  trap 'loginctl activate "$(cat "$run/session-tty1")"' EXIT  # back to X, whatever happens
  loginctl activate "$(cat "$run/session-tty2")"
  wait_for 'grep -q "wl_keyboard.*enter" "$run/wayland.log"' 60 || fail "no Wayland client with the keyboard on tty2"
  wait_for engine_on 10 || fail "the engine is not running for the same user's other session"
  client=wayland
  hyper 4c
  plain
}

# Removal leaves no service behind: no unit, socket, rule or process.
removal() {
  copy=$(pidof Quorvelle) || fail "Quorvelle is not running"
  apt-get remove -y -q quorvelle >/run/remove.log 2>&1 || fail "apt-get remove: $(tail -n 3 /run/remove.log)"
  ! kill -0 "$copy" 2>/dev/null || fail "the running copy is still running"
  ! pgrep -f '^[^ ]*/quorvelle-engine( |$)' >/dev/null || fail "the service still runs"
  ! systemctl is-active -q quorvelle-engine.socket || fail "the socket is still listening"
  [ ! -e /run/quorvelle-engine.sock ] || fail "the socket's file stayed"
  left=$(find /etc/systemd /usr/lib/systemd /run/systemd/system /etc/udev /usr/lib/udev /usr/local \
    -name '*quorvelle*' 2>/dev/null)
  [ -z "$left" ] || fail "left behind: $left"
  ! can_open /dev/uinput || fail "the user can open /dev/uinput"
  ! can_open "$(keyboard_node)" || fail "the user can open the keyboard"
}

purge() {
  apt-get purge -y -q quorvelle >/run/purge.log 2>&1 || fail "apt-get purge: $(tail -n 3 /run/purge.log)"
  ! getent passwd quorvelle-engine >/dev/null || fail "the service's user stayed"
  ! getent group quorvelle-engine >/dev/null || fail "the service's group stayed"
  # A node left to a deleted group would go to whoever gets its number next.
  [ "$(stat -c %G /dev/uinput)" != UNKNOWN ] || fail "/dev/uinput belongs to a group that is gone"
  left=$(find /etc /usr /var/lib -name '*quorvelle*' 2>/dev/null)
  [ -z "$left" ] || fail "left behind: $left"
}

# The order matters: the first start needs a fresh boot, removal comes last.
wait_for '[ -e "$run/commands" ]' 120 || say "@@FAIL boot: no X session"
only=$(sed -n 's/.*acceptance=\([^ ]*\).*/\1/p' /proc/cmdline)
for name in install latency_without_quorvelle first_start user_has_no_access hyper_in_x latency_with_quorvelle \
  ps2_keyboard hot_plug uinput_keyboard pointing_keyboard tray_enabled modifier_set stopped_app \
  service_restart second_user socket_abuse crash quit launch_at_login wayland removal purge; do
  case ",install,${only:-$name}," in *,"$name",*) scenario "$name" ;; esac
done
say "@@DONE 0"
