# The acceptance scenarios: the installed Quorvelle used as a person uses it.
# Each is a function; the list at the end runs them in order on one boot.

install() {
  apt-get install -y -q "$(ls $share/quorvelle_*.deb)" >/run/install.log 2>&1 ||
    fail "apt-get install: $(tail -n 3 /run/install.log)"
}

first_start() {
  [ ! -e /sys/module/uinput ] || fail "uinput was loaded before the grant"
  start_quorvelle
  wait_for '[ "$(warning)" -gt 0 ]' 30 || fail "no settings window with the access warning"
  ! can_open /dev/uinput || fail "the user could open /dev/uinput before any grant"
  keys ret:t                                  # "Grant Access…" answers Return
  wait_for 'can_open /dev/uinput && can_open "$(keyboard_node)"' 30 || fail "the grant gave no access"
  wait_for engine_on 4 || fail "the engine did not start within the access check's period"
  wait_for '[ "$(warning)" = 0 ]' 5 || fail "the warning stayed"
}
# Pixels of the warning's yellow symbol in the settings window.
warning() { as_user "$share/keylog" yellow "$(settings)" 2>/dev/null || echo 0; }

latency_without_quorvelle() { latency "without Quorvelle"; }
latency_with_quorvelle() {
  engine_on || fail "Quorvelle's engine is not running"
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

tray_enabled() {
  tray_menu Down Return                       # "Enabled", the first item
  wait_for '! engine_on' || fail "the engine kept running"
  keys caps_lock:t
  caps_lock_is on
  keys t:t
  expect "+t:2 -t:2"
  keys caps_lock:t
  caps_lock_is off
  tray_menu Down Return
  wait_for engine_on || fail "the engine did not start again"
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

wayland() {
  systemctl start getty@tty2
  wait_for '[ -s "$run/session-tty2" ]' 30 || fail "no login on tty2"
  trap 'loginctl activate "$(cat "$run/session-tty1")"' EXIT  # back to X, whatever happens
  loginctl activate "$(cat "$run/session-tty2")"
  wait_for 'grep -q "wl_keyboard.*enter" "$run/wayland.log"' 60 || fail "no Wayland client with the keyboard on tty2"
  client=wayland
  hyper 4c
  plain
}

crash() {
  figures_of "$(pidof Quorvelle)"
  focus_keylog
  keys caps_lock:d t:d
  kill -KILL "$(pidof Quorvelle)"
  keys t:u caps_lock:u
  no_key_down
  keys caps_lock:t t:t caps_lock:t
  info "after SIGKILL, before the next start, Caps Lock gives: $(typed)"
  start_quorvelle
  wait_for engine_on || fail "the engine did not start again"
  focus_keylog
  hyper 4c
}
figures_of() {
  info "$(awk '{printf "Quorvelle after the scenarios: %.2f s of processor time", ($14 + $15) / 100}' "/proc/$1/stat"),"\
    "$(awk '/VmRSS/ {print $2, $3}' "/proc/$1/status") resident"
}

quit() {
  tray_menu Up Return                         # "Quit Quorvelle", the last item
  wait_for '! running' || fail "Quorvelle did not quit"
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

removal() {
  copy=$(pidof Quorvelle) || fail "Quorvelle is not running"
  apt-get remove -y -q quorvelle >/run/remove.log 2>&1 || fail "apt-get remove: $(tail -n 3 /run/remove.log)"
  ! kill -0 "$copy" 2>/dev/null || fail "the running copy is still running"
  [ ! -e /etc/udev/rules.d/70-quorvelle.rules ] || fail "the rule stayed"
  ! can_open /dev/uinput || fail "the user can still open /dev/uinput"
  ! can_open "$(keyboard_node)" || fail "the user can still open the keyboard"
}

# The order matters: the first start needs a fresh boot, removal comes last.
wait_for '[ -e "$run/commands" ]' 120 || say "@@FAIL boot: no X session"
only=$(sed -n 's/.*acceptance=\([^ ]*\).*/\1/p' /proc/cmdline)
for name in install latency_without_quorvelle first_start hyper_in_x latency_with_quorvelle tray_enabled \
  modifier_set crash quit launch_at_login wayland removal; do
  case ",install,${only:-$name}," in *,"$name",*) scenario "$name" ;; esac
done
say "@@DONE 0"
