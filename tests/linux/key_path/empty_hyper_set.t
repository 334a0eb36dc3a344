# An empty hyper set still swallows Caps Lock; keys pass as they are.
modifiers
capslock down
leftshift down
a down
a up
leftshift up
capslock up

leftshift down
a down
a up
leftshift up
