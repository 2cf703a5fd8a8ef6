; EEPROM test image at $B600: at 9600 baud, waits for any byte, answers 'E', then idles.
        .text
start:  ldx   #0x1000
        ldaa  #0x30
        staa  0x2B,x
        ldaa  #0x0C
        staa  0x2D,x
rx:     brclr 0x2E,x,#0x20,rx
        ldaa  0x2F,x
tx:     brclr 0x2E,x,#0x80,tx
        ldaa  #'E'
        staa  0x2F,x
        bra   .
