# Keyboards share one output: Caps Lock on one and a key on another give the
# hyper combination.
capslock down
2: a down
2: a up

leftctrl down
leftalt down
leftmeta down
a down
a up
