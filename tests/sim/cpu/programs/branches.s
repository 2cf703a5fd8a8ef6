; Every conditional branch under a table of CCR values, and the bit-test branches and bit
; set/clear under a table of memory values.
; Input records at $0100, 2 bytes each: ccr, mem; the end address is at $0000.
; Output records at $1000, 6 bytes each:
;   0: taken bits of $20..$27 (bit n = opcode $20+n)   1: taken bits of $28..$2F
;   2: bit-test branches taken (see below)            3: BSET dir result   4: CCR after it
;   5: BCLR ind,Y result
        .macro  br insn byte bit
        tap
        \insn   1f
        bra     2f
1:      bset    \byte,y \bit
2:
        .endm

        .text
start:  lds     #0x00ff
        ldx     #0x0100
        ldy     #0x1000
next:   cpx     *0x00
        bne     body
        swi
body:   clr     0,y
        clr     1,y
        clr     2,y
        ldaa    0,x
        br      bra 0 0x01
        br      brn 0 0x02
        br      bhi 0 0x04
        br      bls 0 0x08
        br      bcc 0 0x10
        br      bcs 0 0x20
        br      bne 0 0x40
        br      beq 0 0x80
        br      bvc 1 0x01
        br      bvs 1 0x02
        br      bpl 1 0x04
        br      bmi 1 0x08
        br      bge 1 0x10
        br      blt 1 0x20
        br      bgt 1 0x40
        br      ble 1 0x80
        ldaa    1,x
        staa    *0x20
        staa    5,y
        brset   *0x20 0x81 1f
        bra     2f
1:      bset    2,y 0x01
2:
        brclr   *0x20 0x81 1f
        bra     2f
1:      bset    2,y 0x02
2:
        brset   1,x 0x80 1f
        bra     2f
1:      bset    2,y 0x04
2:
        brclr   1,x 0x01 1f
        bra     2f
1:      bset    2,y 0x08
2:
        brset   5,y 0xff 1f
        bra     2f
1:      bset    2,y 0x10
2:
        brclr   5,y 0x3c 1f
        bra     2f
1:      bset    2,y 0x20
2:
        brset   *0x20 0x00 1f
        bra     2f
1:      bset    2,y 0x40
2:
        ldaa    0,x
        tap
        bset    *0x20 0x81
        tpa
        staa    4,y
        ldaa    *0x20
        staa    3,y
        bclr    5,y 0x18
        ldab    #6
        aby
        inx
        inx
        jmp     next
