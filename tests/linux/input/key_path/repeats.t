# Synthetic modifiers come only with a key press: a repeat or a release
# bringing them in would make a lone modifier tap, which desktops act on
# (Super opens the overview). Each repeat passes once.
a down
capslock down
a repeat
a up
b down
capslock repeat
b repeat

a down
a repeat
a up
leftctrl down
leftalt down
leftmeta down
b down
b repeat
