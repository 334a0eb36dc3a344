# A modifier the user holds passes as it is and is not pressed again; a
# synthetic modifier the user then presses becomes the user's, and goes up
# only when the user lets it go.
rightalt down
capslock down
a down
leftalt down
leftmeta down
a up
capslock up
leftmeta up
leftalt up
rightalt up

rightalt down
leftctrl down
leftmeta down
a down
leftalt down
a up
leftctrl up
leftmeta up
leftalt up
rightalt up
