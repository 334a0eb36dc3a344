# After lost events (SYN_DROPPED) the engine forgets hyper, even with Caps
# Lock still down, lets go of its synthetic modifiers, skips what is left of
# the loss and brings the keys in line with what the kernel says is down:
# releases first, then presses. Keys then pass as they are until Caps Lock
# is pressed again.
capslock down
a down
dropped capslock b, d down
c down

leftctrl down
leftalt down
leftmeta down
a down
leftmeta up
leftalt up
leftctrl up
a up
b down
c down
