# Stopped, the engine releases everything down on its output, synthetic
# modifiers first; a modifier the user holds is not pressed again. The Caps
# Lock tap of its own (to set the light back) presses and releases Caps Lock.
capslock down
rightalt down
a down
release all
tap capslock

rightalt down
leftctrl down
leftmeta down
a down
leftmeta up
leftctrl up
a up
rightalt up
capslock down
capslock up
