; Downloaded test image: at E/16 (BAUD = $00, 125000 baud with the 2 MHz E clock), answers
; every byte with the byte plus one.
        .text
start:  ldx   #0x1000
        clr   0x2B,x
        ldaa  #0x0C
        staa  0x2D,x
loop:   brclr 0x2E,x,#0x20,loop
        ldaa  0x2F,x
        inca
tx:     brclr 0x2E,x,#0x80,tx
        staa  0x2F,x
        bra   loop
