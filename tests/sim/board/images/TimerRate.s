; Test image at $8000: measures a delay of known length with TCNT.
; $0010 holds the TMSK2 value to use. Between the two TCNT reads: LDD ext 5, STD dir 4,
; LDX imm 3, then 1006 times DEX 3 + BNE 3: 6048 E cycles. Results: first count at $0000,
; second at $0002, $AA at $0004 when done.
        .text
start:  ldaa  *0x10
        staa  0x1024
        ldd   0x100E
        std   *0x00
        ldx   #1006
loop:   dex
        bne   loop
        ldd   0x100E
        std   *0x02
        ldaa  #0xAA
        staa  0x04
done:   bra   done
