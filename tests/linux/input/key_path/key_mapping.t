# Each keyboard has its key mapping; a key goes up as what it went down as,
# even when the mapping changed while it was held. Keys up before the grab
# are not ours to release.
z up
map a b
a down
map a c
a up
a down
a up
2: a down
2: a up

b down
b up
c down
c up
a down
a up
