; Instruction mix for the CPU core benchmark: loads, stores, 8- and 16-bit ALU, branches,
; indexed X and Y, bit operations, direct and extended modes, stack and subroutine calls.
; DATA (set with --defsym) is where its data and stack live: 256 bytes.
        .text
start:  lds     #DATA+0xff
        ldx     #DATA
        ldy     #DATA+0x80
outer:  ldab    #100
loop:   ldaa    0,x
        adda    1,x
        staa    2,x
        ldd     4,y
        addd    #0x1234
        std     4,y
        inc     3,x
        bsr     sub
        ldaa    *0x40
        eora    #0x55
        staa    *0x40
        ldaa    DATA+0x40
        cmpa    #0x10
        bne     skip
        nop
skip:   brset   6,x 0x01 skip2
skip2:  bclr    7,y 0x80
        jsr     sub2
        decb
        bne     loop
        bra     outer
sub:    pshx
        inx
        cpx     #0x2000
        pulx
        rts
sub2:   ldaa    #3
        lsra
        rola
        tsta
        rts
