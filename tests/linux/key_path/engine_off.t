# Turned off, the engine lets go of its synthetic modifiers and passes keys
# as they are (through the key mapping), telling the handler nothing: a loss
# of events then does not forget hyper. Turned on again, hyper works.
capslock down
a down
a up
enable off
a down
a up
dropped capslock
enable on
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
a down
a up
leftctrl down
leftalt down
leftmeta down
b down
b up
leftmeta up
leftalt up
leftctrl up
leftctrl down
leftalt down
leftmeta down
b down
b up
