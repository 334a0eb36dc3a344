# With Shift in the hyper set, a Shift the user holds is not pressed again;
# let go while hyper is held, it comes back as a synthetic one with the next key.
modifiers shift meta
leftshift down
capslock down
a down
a up
leftshift up
b down
b up
capslock up

leftshift down
leftmeta down
a down
a up
leftshift up
leftshift down
b down
b up
leftmeta up
leftshift up
