; Test image at $8000: converts PE1 again and again and records each result with the TCNT value
; read when CCF was seen. Records (TCNT 2 bytes, ADR1 1 byte) go to $0040-$006F; $0012 points at
; the next free one; $AA at $0004 when the table is full.
        .text
start:  ldaa  #0x80
        staa  0x1039          ; ADPU
        ldx   #0x0040
        stx   *0x12
again:  ldaa  #0x01
        staa  0x1030          ; one channel, PE1, single scan
wait:   ldaa  0x1030
        bpl   wait
        ldd   0x100E
        ldx   *0x12
        std   0,x
        ldaa  0x1031
        staa  2,x
        inx
        inx
        inx
        stx   *0x12
        cpx   #0x0070
        blo   again
        ldaa  #0xAA
        staa  *0x04
done:   bra   done
