; Downloaded test image: at 9600 baud, answers every byte with the byte plus one.
        .text
start:  ldx   #0x1000
        ldaa  #0x30
        staa  0x2B,x
        ldaa  #0x0C
        staa  0x2D,x
loop:   brclr 0x2E,x,#0x20,loop
        ldaa  0x2F,x
        inca
tx:     brclr 0x2E,x,#0x80,tx
        staa  0x2F,x
        bra   loop
