; Stack, subroutines, SWI/RTI, transfers and the prebyte pages, with results at $0200..$02FF.
        .text
start:  lds     #0x01ff
        ; pushes and pulls
        ldaa    #0x11
        ldab    #0x22
        ldx     #0x3344
        ldy     #0x5566
        psha
        pshb
        pshx
        pshy
        tsx
        stx     0x0200          ; $0200: X after TSX = SP + 1
        sts     0x0202          ; $0202: SP after six pushed bytes
        puly
        pulx
        pulb
        pula
        sty     0x0204          ; $0204: 5566
        stx     0x0206          ; $0206: 3344
        std     0x0208          ; $0208: 1122
        ; transfers and stack-pointer arithmetic
        ldy     #0x0150
        tys
        des
        des
        ins
        tsy
        sty     0x020a          ; $020A: 014F (TYS: SP = Y - 1 = 014F; DES DES INS; TSY: Y = SP + 1)
        lds     #0x017f         ; the pushed bytes above stay for the test
        ldd     #0xabcd
        ldx     #0x1234
        xgdx
        std     0x020c          ; $020C: 1234
        stx     0x020e          ; $020E: ABCD
        ldy     #0x0f00
        xgdy
        std     0x0210          ; $0210: 0F00
        sty     0x0212          ; $0212: 1234
        ldx     #0x10f0
        ldab    #0x20
        abx
        stx     0x0214          ; $0214: 1110
        ldy     #0xfff0
        ldab    #0x20
        aby
        sty     0x0216          ; $0216: 0010 (wraps)
        ldy     #0x0001
        dey
        tpa
        staa    0x0218          ; $0218: CCR after DEY to zero (Z set)
        iny
        tpa
        staa    0x0219          ; $0219: CCR after INY to one (Z clear)
        ; subroutine calls in every mode; each call increments $021A
        clr     0x021a
        ldaa    #0x7c           ; INC ext
        staa    *0x50
        ldd     #0x021a
        std     *0x51
        ldaa    #0x39           ; RTS
        staa    *0x53
        jsr     *0x50
        jsr     count
        ldx     #count
        jsr     0,x
        ldy     #count - 4
        jsr     4,y
        bsr     count
        jsr     retaddr
after:  ldd     #after
        std     0x021e          ; $021C (from retaddr) must equal $021E
        ; SWI and RTI
        ldd     #handler
        std     0xfff6
        ldaa    #0xa1
        ldab    #0xb2
        ldx     #0xc3d4
        ldy     #0xe5f6
        cli
        clc
        sec
        swi
swiret: staa    0x0230          ; $0230: A as changed in the frame by the handler (77)
        stab    0x0231          ; $0231: B (b2)
        tpa
        staa    0x0232          ; $0232: CCR after RTI (I clear again, C set)
        ldd     #swiret
        std     0x0234          ; $0234: expected stacked PC
        ldd     #0xf000
        std     0xfff6
        ; prebyte pages: Y through X, X through Y, CPD indexed
        ldx     #0x0240
        ldy     #0x0250
        ldd     #0x1234
        std     0,x
        ldd     #0x5678
        std     0,y
        ldy     0,x             ; 1A EE: Y = 1234
        sty     2,x             ; 1A EF: $0242 = 1234
        cpy     0,x             ; 1A AC
        tpa
        staa    0x0244          ; $0244: Z set
        ldy     #0x0250
        ldx     0,y             ; CD EE: X = 5678
        stx     2,y             ; CD EF: $0252 = 5678
        cpx     0,y             ; CD AC
        tpa
        staa    0x0254          ; $0254: Z set
        ldd     #0x5679
        cpd     0,y             ; CD A3: 5679 - 5678
        tpa
        staa    0x0255          ; $0255: Z, N, C clear
        ldx     #0x0240
        ldd     #0x5679
        cpd     0,x             ; 1A A3: 5679 - 1234
        tpa
        staa    0x0256          ; $0256: N, Z, V, C clear
        ldaa    1,y             ; $78
        adda    3,y             ; + $78
        staa    0x0257          ; $0257: F0
        swi

count:  inc     0x021a
        rts
retaddr: tsx
        ldd     0,x
        std     0x021c
        rts

handler: tsx
        ldab    #9
        ldy     #0x0220
copy:   ldaa    0,x             ; $0220..$0228: the nine stacked bytes, CCR first
        staa    0,y
        inx
        iny
        decb
        bne     copy
        tpa
        staa    0x0229          ; $0229: CCR inside the handler (I set)
        tsx
        ldaa    #0x77
        staa    2,x             ; stacked A
        rti
