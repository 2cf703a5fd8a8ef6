; Downloaded test image: a minimal memory monitor at 9600 baud.
; Sends '!' when it starts. 'W' hi lo value: stores value, answers 'w'. 'R' hi lo: answers the byte.
; The clock-monitor pseudo-vector at $00FD is set to JMP $0000, so a clock-monitor reset restarts it.
        .text
start:  lds   #0x00C0
        ldaa  #0x7E
        staa  0xFD
        clr   0xFE
        clr   0xFF
        ldx   #0x1000
        ldaa  #0x30
        staa  0x2B,x
        ldaa  #0x0C
        staa  0x2D,x
        ldaa  #'!'
        bsr   put
cmd:    bsr   get
        cmpa  #'W'
        beq   wr
        cmpa  #'R'
        beq   rd
        bra   cmd
wr:     bsr   addr
        bsr   get
        staa  0,y
        ldaa  #'w'
        bsr   put
        bra   cmd
rd:     bsr   addr
        ldaa  0,y
        bsr   put
        bra   cmd
addr:   bsr   get
        psha
        bsr   get
        tab
        pula
        xgdy
        rts
get:    brclr 0x2E,x,#0x20,get
        ldaa  0x2F,x
        rts
put:    brclr 0x2E,x,#0x80,put
        staa  0x2F,x
        rts
