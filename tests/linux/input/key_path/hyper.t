# Held Caps Lock (F18 once mapped) adds Control, Alt and Super, pressed in
# that order just before the key and released in reverse when Caps Lock goes
# up. Caps Lock itself, its repeats and its scan code never reach the output.
msc scan 0x70039, capslock down
capslock repeat
msc scan 0x7001e, a down
a repeat
msc scan 0x7001e, a up
capslock up
a down
a up
capslock down
capslock up

leftctrl down
leftalt down
leftmeta down
msc scan 0x7001e, a down
a repeat
msc scan 0x7001e, a up
leftmeta up
leftalt up
leftctrl up
a down
a up
