# A keyboard that also points: its pointer events pass unchanged, frame by
# frame, to a virtual pointer of its own, scan codes with their buttons;
# its keys go through the engine. After lost events its buttons are brought
# in line on the pointer and its keys on the keyboard.
points
rel x 5, rel y -3, msc scan 0x90001, btn_left down, msc timestamp 8000
capslock down
msc scan 0x7001e, a down, rel x 1
dropped, rel x 9
rel x 2

1 pointer: rel x 5, rel y -3, msc scan 0x90001, btn_left down, msc timestamp 8000
leftctrl down
leftalt down
leftmeta down
msc scan 0x7001e, a down
1 pointer: rel x 1
leftmeta up
leftalt up
leftctrl up
a up
1 pointer: btn_left up
1 pointer: rel x 2
