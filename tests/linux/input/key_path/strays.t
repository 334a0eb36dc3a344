# What is no key press is never passed on: lights (the engine sets them, a
# light written out would come back), relative motion of a keyboard that does
# not point, scan codes of swallowed keys. None of it touches the hyper hold.
led capsl 1
msc scan 0x70039, capslock down
rel x 4
msc scan 0x70004, msc scan 0x70005, a down
capslock up

leftctrl down
leftalt down
leftmeta down
msc scan 0x70004, msc scan 0x70005, a down
leftmeta up
leftalt up
leftctrl up
