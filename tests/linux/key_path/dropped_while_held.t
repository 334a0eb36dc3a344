# Lost events make the engine forget hyper even when Caps Lock is still down:
# keys pass as they are until Caps Lock is pressed again.
capslock down
a down
a up
dropped capslock
b down
b up
capslock up
capslock down
b down
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
leftctrl down
leftalt down
leftmeta down
b down
b up
