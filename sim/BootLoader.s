; Bootstrap loader of the virtual board's boot ROM ($BF40-$BFFF), in 68HC11 code.
;
; Behaviour on the serial line:
; - The SCI starts at E/(16*4*4) = 7812.5 baud (BAUD $22), 8 data bits, receiver and transmitter on.
; - The first character received is the synchronisation character; it is not echoed.
;   $00 (a break, or a $00 with a framing error) jumps to the start of EEPROM at $B600.
;   $FF received as $FF keeps 7812 baud; anything else is taken as a $FF sent at 1200 baud
;   (sampled too fast it reads as another value) and switches the SCI to 1200 baud (BAUD $33).
; - The next characters go to RAM from $0000 upward, each echoed as it arrives, up to the end
;   address at LIMIT ($0100 on the A-series, the RAM size on the others); then the loader jumps to
;   $0000 with the SCI left running at the download rate. When IDLEND is not zero (E-series, 811E2)
;   the download also ends when no character has come for four character times at the download
;   rate: a wait loop of 14 E cycles a turn counts 4 x 10 bit times (256 E cycles a bit at
;   7812 baud, 1664 at 1200 baud) rounded up.
; - No start-up break is sent: a pseudo-terminal cannot carry one.
; The vectors at $BFD6-$BFFD send every interrupt and trap to its three-byte RAM pseudo-vector
; ($00C4 SCI ... $00FD clock monitor), where the loaded program stores a JMP.

        BAUD  = 0x2B
        SCCR2 = 0x2D
        SCSR  = 0x2E
        SCDR  = 0x2F
        RDRF  = 0x20
        TDRE  = 0x80
        LIMIT = 0xBFD0  ; end of the download (patched per variant)
        IDLEND = 0xBFD2 ; not zero: an idle line ends the download (patched per variant)
        FASTIDLE = 732  ; 4 x 2560 E cycles / 14
        SLOWIDLE = 4755 ; 4 x 16640 E cycles / 14

        .text
reset:  lds   #0x00FF
        ldx   #0x1000
        ldaa  #0x22
        staa  BAUD,x
        ldaa  #0x0C
        staa  SCCR2,x
sync:   brclr SCSR,x,#RDRF,sync
        ldaa  SCDR,x
        beq   eeprom
        cmpa  #0xFF
        beq   load
        ldaa  #0x33
        staa  BAUD,x
load:   ldy   #0x0000
next:   tst   IDLEND
        beq   block
        ldd   #FASTIDLE
        brclr BAUD,x,#0x01,wait ; BAUD $22: 7812 baud, $33: 1200 baud
        ldd   #SLOWIDLE
wait:   brset SCSR,x,#RDRF,got  ; 7 + 4 + 3 E cycles a turn
        subd  #1
        bne   wait
        jmp   0x0000
block:  brclr SCSR,x,#RDRF,block
got:    ldaa  SCDR,x
        staa  0,y
txwait: brclr SCSR,x,#TDRE,txwait
        staa  SCDR,x
        iny
        cpy   LIMIT
        bne   next
        jmp   0x0000
eeprom: jmp   0xB600

; The download rule, $BFD0-$BFD2: the A-series' as assembled.
        .org  0x90
        .word 0x0100    ; LIMIT
        .byte 0x00      ; IDLEND

; Special-mode vectors, $BFD6-$BFFF.
        .org  0x96
        .word 0x00C4    ; SCI
        .word 0x00C7    ; SPI
        .word 0x00CA    ; pulse accumulator input edge
        .word 0x00CD    ; pulse accumulator overflow
        .word 0x00D0    ; timer overflow
        .word 0x00D3    ; TOC5
        .word 0x00D6    ; TOC4
        .word 0x00D9    ; TOC3
        .word 0x00DC    ; TOC2
        .word 0x00DF    ; TOC1
        .word 0x00E2    ; TIC3
        .word 0x00E5    ; TIC2
        .word 0x00E8    ; TIC1
        .word 0x00EB    ; real-time interrupt
        .word 0x00EE    ; IRQ
        .word 0x00F1    ; XIRQ
        .word 0x00F4    ; SWI
        .word 0x00F7    ; illegal opcode
        .word 0x00FA    ; COP failure
        .word 0x00FD    ; clock monitor failure
        .word reset     ; RESET
