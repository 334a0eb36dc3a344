#!/bin/sh
# The session started at the autologin of each console: the test user's X
# session on tty1 and Weston session on tty2; the second user's text console
# on tty3.
run=$XDG_RUNTIME_DIR
[ -n "$1" ] || echo "$XDG_SESSION_ID" >"$run/session-$(basename "$(tty)")"
case "$1:$(tty)" in
  :/dev/tty1)
    # No key repeats for a minute: under emulation a tap can last longer than the usual delay.
    exec startx "$0" x -- vt1 -keeptty -ardelay 60000 >"$HOME/startx.log" 2>&1 ;;
  :/dev/tty2)
    # Weston takes the seat's devices once its session is the active one.
    until [ "$(loginctl show-session "$XDG_SESSION_ID" -p Active --value)" = yes ]; do sleep 0.3; done
    weston --backend=drm-backend.so --use-pixman --shell=kiosk-shell.so --socket=wayland-1 \
      >"$HOME/weston.log" 2>&1 &
    while [ ! -S "$run/wayland-1" ]; do sleep 0.3; done
    WAYLAND_DISPLAY=wayland-1 exec stdbuf -oL wev >"$run/wayland.log" ;;
  :/dev/tty3)
    # No Quorvelle, no display server: what the console reads, a character's
    # code a line, as the kernel's own keymap made it.
    stty raw -echo
    exec stdbuf -oL od -An -v -tu1 -w1 >"$run/console.log" ;;
  x:*)
    # What a desktop does: the session's environment for its services, the
    # autostart entries, a tray; and the test's key recorder under the tray.
    dbus-update-activation-environment --systemd DISPLAY XAUTHORITY
    /mnt/host/keylog >"$run/x.log" &
    until xdotool search --name '^keylog$' >/dev/null; do sleep 0.3; done
    trayer --edge top --align left --widthtype request --height 32 &
    # The user's service manager outlives a session: what the last one left
    # stops, the entries are read again, and started with the new session.
    systemctl --user stop x-session.target
    systemctl --user daemon-reload
    systemctl --user start x-session.target
    # Commands the test runs in the session, as a menu or launcher would.
    rm -f "$run/commands" && mkfifo "$run/commands"
    while :; do
      while read -r command; do sh -c "$command" & done <"$run/commands"
    done ;;
esac
