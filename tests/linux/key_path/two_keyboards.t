# Keyboards share one output: Caps Lock on one and a key on another give the
# hyper combination, and a key held on both goes up when the last lets go.
capslock down
2: a down
2: a up
capslock up
2: b down
b down
2: b up
b up

leftctrl down
leftalt down
leftmeta down
a down
a up
leftmeta up
leftalt up
leftctrl up
b down
b up
