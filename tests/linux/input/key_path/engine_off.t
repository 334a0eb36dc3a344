# Turned off, the engine lets go of its synthetic modifiers and passes keys
# as they are, telling the handler nothing: a loss of events then does not
# forget hyper, which works again once the engine is on.
capslock down
a down
enable off
a up
dropped capslock
enable on
b down

leftctrl down
leftalt down
leftmeta down
a down
leftmeta up
leftalt up
leftctrl up
a up
leftctrl down
leftalt down
leftmeta down
b down
