# The hyper set changed while hyper is held reaches the very next key:
# modifiers no longer wanted go up (in reverse order), new ones go down.
capslock down
a down
a up
modifiers shift meta
b down
b up
capslock up

leftctrl down
leftalt down
leftmeta down
a down
a up
leftalt up
leftctrl up
leftshift down
b down
b up
leftmeta up
leftshift up
