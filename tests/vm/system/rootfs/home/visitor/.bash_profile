# The session of each console is the test's (an X or a Weston session).
exec /mnt/host/guest/session.sh
