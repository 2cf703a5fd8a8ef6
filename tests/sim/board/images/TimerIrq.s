; Test image at $8000: records timer interrupts. $8000 is a holding loop (I still set); the
; program proper starts at $8002. The test sets the timer registers up before starting it.
; Each interrupt appends a record (TCNT at entry, 2 bytes; source id, 1 byte) to the table at
; $0040-$006F; $0012 points at the next free record. The OC2 handler adds the word at $0016 to
; TOC2. Ids: 1 RTI, 2 OC2, 3 TOF, 4 IC1, 5 PAI, 6 IRQ, 7 XIRQ. X and I are cleared at the start.
        .text
hold:   bra   hold
start:  lds   #0x00B0
        ldx   #0x0040
        stx   0x12
        ldaa  #0x7E
        staa  0xEB            ; RTI pseudo-vector
        ldx   #rti_h
        stx   0xEC
        staa  0xDC            ; OC2
        ldx   #oc2_h
        stx   0xDD
        staa  0xD0            ; TOF
        ldx   #tof_h
        stx   0xD1
        staa  0xE8            ; IC1
        ldx   #ic1_h
        stx   0xE9
        staa  0xCA            ; PAI
        ldx   #pai_h
        stx   0xCB
        staa  0xEE            ; IRQ
        ldx   #irq_h
        stx   0xEF
        staa  0xF1            ; XIRQ
        ldx   #xirq_h
        stx   0xF2
        tpa
        anda  #0xBF
        tap
        cli
idle:   wai
        bra   idle

rti_h:  ldd   0x100E
        std   0x14
        ldab  #1
        bsr   record
        ldaa  #0x40
        staa  0x1025
        rti
oc2_h:  ldd   0x100E
        std   0x14
        ldab  #2
        bsr   record
        ldd   0x1018
        addd  0x16
        std   0x1018
        ldaa  #0x40
        staa  0x1023
        rti
tof_h:  ldd   0x100E
        std   0x14
        ldab  #3
        bsr   record
        ldaa  #0x80
        staa  0x1025
        rti
ic1_h:  ldd   0x1010
        std   0x14
        ldab  #4
        bsr   record
        ldaa  #0x04
        staa  0x1023
        rti
pai_h:  ldd   0x100E
        std   0x14
        ldab  #5
        bsr   record
        ldaa  #0x10
        staa  0x1025
        rti

irq_h:  ldd   0x100E
        std   0x14
        ldab  #6
        bsr   record
        rti
xirq_h: ldd   0x100E
        std   0x14
        ldab  #7
        bsr   record
        rti

record: ldx   0x12
        cpx   #0x0070
        bhs   full
        ldaa  0x14
        staa  0,x
        ldaa  0x15
        staa  1,x
        stab  2,x
        inx
        inx
        inx
        stx   0x12
full:   rts
