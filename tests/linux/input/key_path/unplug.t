# An unplugged keyboard lets go of every key it held, Caps Lock's synthetic
# modifiers included; a key another keyboard still holds stays down.
capslock down
a down
b down
2: b down
unplug
2: b up

leftctrl down
leftalt down
leftmeta down
a down
b down
a up
leftmeta up
leftalt up
leftctrl up
b up
