; 8-bit arithmetic, logic, shifts and BCD over a table of operands.
; Input records at $0100, 3 bytes each: a, m, ccr; the end address is at $0000.
; Output records at $1000, one 3-byte slot (A, B, CCR) per operation, in the order below;
; memory operations leave their result in the slot's A byte.
        .macro  t insn, more=nop    ; A = a, B = m, CCR = ccr; then the operation
        ldab    1,x
        ldaa    0,x
        psha
        ldaa    2,x
        tap
        pula
        \insn
        \more
        bsr     save
        .endm
        .macro  tm insn             ; memory operand 0,y = a, CCR = ccr; then the operation
        ldaa    0,x
        staa    0,y
        ldaa    2,x
        tap
        \insn
        bsr     savemem
        .endm

        .text
start:  lds     #0x00ff
        ldx     #0x0100
        ldy     #0x1000
next:   cpx     *0x00
        bne     body
        swi
body:   t       "adda 1,x"      ; 0
        t       "adca 1,x"      ; 1
        t       "suba 1,x"      ; 2
        t       "sbca 1,x"      ; 3
        t       "cmpa 1,x"      ; 4
        t       "anda 1,x"      ; 5
        t       "oraa 1,x"      ; 6
        t       "eora 1,x"      ; 7
        t       "bita 1,x"      ; 8
        t       nega            ; 9
        t       coma            ; 10
        t       inca            ; 11
        t       deca            ; 12
        t       tsta            ; 13
        t       clra            ; 14
        t       asla            ; 15
        t       asra            ; 16
        t       lsra            ; 17
        t       rola            ; 18
        t       rora            ; 19
        t       "adda 1,x", daa ; 20 (NOP does not touch the flags)
        t       aba             ; 21
        t       sba             ; 22
        t       cba             ; 23
        t       mul             ; 24
        t       tab             ; 25
        t       tba             ; 26
        t       "adcb 0,x"      ; 27 B = m + a + C
        t       "sbcb 0,x"      ; 28 B = m - a - C
        t       "subb k55"      ; 29 B = m - $55, extended
        tm      "rol 0,y"       ; 30
        tm      "neg 0,y"       ; 31
        ldaa    0,x             ; 32 LSR ext
        staa    0x0020
        ldaa    2,x
        tap
        lsr     0x0020
        tpa
        staa    2,y
        ldaa    0x0020
        staa    0,y
        iny
        iny
        iny
        ldab    #3
        abx
        jmp     next

save:   psha
        tpa
        staa    2,y
        pula
        staa    0,y
        stab    1,y
        iny
        iny
        iny
        rts

k55:    .byte   0x55

savemem: tpa
        staa    2,y
        iny
        iny
        iny
        rts
