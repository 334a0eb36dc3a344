# After lost events (SYN_DROPPED), hyper is forgotten, the synthetic
# modifiers go up, and the keys are brought in line with what the kernel says
# is down once the loss ends: releases first, then presses. Events up to the
# end of the loss are skipped.
capslock down
a down
dropped b, c down
a down

leftctrl down
leftalt down
leftmeta down
a down
leftmeta up
leftalt up
leftctrl up
a up
b down
a down
