# A Caps Lock release the handler never saw (the engine was off) leaves a
# stale hold: the next key passes as it is and the hold is dropped, so a
# Caps Lock the handler again did not see does not bring it back. A key the
# output holds goes up with the user's release, even one the handler swallows.
capslock down
enable off
capslock up
enable on
a down
a up
enable off
capslock down
enable on
b down
b up
capslock up

a down
a up
f18 down
b down
b up
f18 up
