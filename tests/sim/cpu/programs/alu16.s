; 16-bit arithmetic, shifts and divisions over a table of operands.
; Input records at $0100, 7 bytes each: d (2), m (2), x (2), ccr; the end address is at $0000.
; Output records at $1000, one 5-byte slot (D, X, CCR) per operation, in the order below.
        .macro  setup16             ; D = d, CCR = ccr
        ldd     0,x
        psha
        ldaa    6,x
        tap
        pula
        .endm
        .macro  divsetup            ; D = d, X = x, CCR = ccr
        ldd     0,x
        pshb
        psha
        ldaa    6,x
        psha
        ldx     4,x
        pula
        tap
        pula
        pulb
        .endm

        .text
start:  lds     #0x00ff
        ldx     #0x0100
        ldy     #0x1000
next:   cpx     *0x00
        bne     body
        swi
body:   stx     *0x12           ; record pointer, restored by save16
        ldd     2,x
        std     0x0010          ; m at $0010 for the direct and extended forms
        setup16
        addd    2,x             ; 0 ADDD ind,X
        bsr     save16
        setup16
        subd    0x0010          ; 1 SUBD ext
        bsr     save16
        setup16
        cpd     *0x10           ; 2 CPD dir
        bsr     save16
        ldd     2,x
        std     0,y
        setup16
        cpd     0,y             ; 3 CPD ind,Y
        bsr     save16
        ldaa    6,x
        psha
        ldx     4,x
        pula
        tap
        cpx     *0x10           ; 4 CPX dir
        bsr     save16
        sty     *0x14
        ldaa    6,x
        psha
        ldy     4,x
        pula
        tap
        cpy     0x0010          ; 5 CPY ext
        tpa
        ldy     *0x14
        staa    4,y
        ldab    #5
        aby
        setup16
        asld                    ; 6 ASLD
        bsr     save16
        setup16
        lsrd                    ; 7 LSRD
        bsr     save16
        divsetup
        idiv                    ; 8 IDIV
        bsr     save16
        divsetup
        fdiv                    ; 9 FDIV
        bsr     save16
        ldab    #7
        abx
        jmp     next

save16: psha
        tpa
        staa    4,y
        pula
        std     0,y
        stx     2,y
        ldx     *0x12
        ldab    #5
        aby
        rts
