; Tarvik11 talker: a monitor that lives in the 68HC11's 256 bytes of internal RAM.
;
; The bootstrap loader stores it at $0000-$00FF and starts it at $0000. It serves
; the host's byte protocol at 9600 baud from the SCI receive interrupt, so memory
; and registers can be read and written while a user program runs.
;
; Commands (each valid command byte is answered at once by its complement):
;   $01 count addrH addrL          -> count bytes of memory (count 0 means 256)
;   $41 count addrH addrL data...  -> stores the data, sends nothing
;   $81                            -> SPH SPL CCR B A XH XL YH YL PCH PCL
;   $C1 SPH SPL CCR B A XH XL YH YL PCH PCL
;                                  -> places the frame at SP..SP+8 and goes on at PC
;   $B5                            -> YL PCH PCL SPH SPL CCR B A XH XL YH YL PCH PCL
;                                     (the reply to "J"; its first byte is not meant
;                                     to be examined, PC is the address after the SWI)
; Any other byte is dropped without an answer.
;
; Register frame: the nine bytes the CPU stacked on entering the talker (CCR, B, A,
; XH, XL, YH, YL, PCH, PCL). Its SP is the address of the stacked CCR, so the
; interrupted program's own stack pointer is SP+8. A register write returns through
; RTI from the new frame, so it also sets the program's stack pointer (SP+8).
;
; Idle: the talker sleeps in WAI on its own stack; the frame PC of a fresh start is
; "idle_pc", and writing that PC back (with any SP and CCR) returns to the talker.
;
; Stopped program: SWI and an illegal opcode send "J" ($4A) and stop the program
; (for an illegal opcode the reported PC is the opcode's own address, as the chip
; stacks it). The talker then serves commands by polling, with interrupts masked,
; and the stopped program's stacked context is the register frame. A register write whose
; PC is the stopped PC keeps the program stopped (its registers and SP take the new
; values); any other PC resumes it there.
;
; Pseudo-vectors $00C4-$00FF: SCI, SWI and illegal opcode jump into the talker, COP
; and clock-monitor resets restart it at $0000. Every other slot holds an SWI as its
; first byte, so an interrupt that nobody installed stops the program and reports
; "J" with the slot's address (SWI frame on top of the interrupt's frame). The two
; bytes after each such SWI are not used by the talker, except $00C8, which holds an
; RTS that the talker never executes (a direct-page subroutine for programs/tests).
;
; A program that runs on the talker's stack (it did not load SP itself) has about
; ten bytes of it; the samples load SP with $DFFF. A program that masks interrupts
; cannot be reached until it stops at an SWI.

	.equ	BAUD,	0x102b
	.equ	SCCR2,	0x102d
	.equ	SCSR,	0x102e
	.equ	SCDR,	0x102f
	.equ	RDRF,	0x20
	.equ	STACK_TOP, 0xc3		; first byte the talker pushes

	.text
; ---- start; also where COP and clock-monitor resets come ------------------------
start:
	ldaa	#0x30			; 9600 baud at E = 2 MHz
	staa	BAUD
	ldaa	#0x2c			; RIE | TE | RE
	staa	SCCR2
idle:
	lds	#STACK_TOP		; back on the talker's stack, whatever SP was
	cli
	wai
idle_pc:
	bra	idle

; ---- SCI receive interrupt: one command, then back to the interrupted code ------
sci_isr:
	tsx				; X = address of the stacked CCR
	stx	*frame
	stx	*stopped_pc		; nothing is stopped: no sensible PC equals this
	bsr	serve
	rti

; ---- SWI and illegal opcode: report "J", stay stopped and serve commands --------
stop_isr:
	tsx
	stx	*frame
	ldd	7,x
	std	*stopped_pc
	ldaa	#0x4a			; "J"
	bsr	put_byte
park:
	bsr	serve
	bra	park

; ---- one command -----------------------------------------------------------------
serve:
	bsr	get_byte
	cmpa	#0xb5
	beq	swi_reply
	tab
	andb	#0x3f			; $01, $41, $81, $C1 share the low six bits
	decb
	bne	done
	bsr	echo			; A = complement: $FE, $BE, $7E or $3E
	asla				; C = bit 7, N = bit 6 of the echo
	bcc	registers
	bmi	read_mem
; $41 write memory
	bsr	get_args
rx_loop:
	bsr	get_byte
	staa	0,x
	inx
	decb
	bne	rx_loop
	rts

registers:
	bmi	read_regs
; $C1 write registers. The stack moves just below the new frame first and the
; frame bytes go straight to SP..SP+8, so a frame that moves (a subroutine call
; writes SP-2) never lands on stack bytes still in use.
	bsr	get_addr		; X = new SP
	txs
	ldab	#9
	bsr	rx_loop
	tsx
	ldd	7,x
	subd	*stopped_pc
	bne	resume
	stx	*frame			; stopped, and the PC is unchanged: stay
	bra	park
resume:
	rti

; $B5: a byte, PC, then the frame as $81 sends it
swi_reply:
	ldx	*frame
	ldab	#6
	abx
	ldab	#3
	bsr	tx_loop
; $81 read registers
read_regs:
	ldx	#frame
	ldab	#2
	bsr	tx_loop
	ldx	*frame
	ldab	#9
	bra	tx_loop

; $01 read memory
read_mem:
	bsr	get_args
tx_loop:
	ldaa	0,x
	bsr	put_byte
	inx
	decb
	bne	tx_loop
done:
	rts

; B = count, X = address, from the next three bytes
get_args:
	bsr	get_byte
	tab
; X = the next two bytes, high first; B kept
get_addr:
	pshb
	bsr	get_byte
	psha
	bsr	get_byte
	tab
	pula
	xgdx
	pulb
	rts

echo:
	coma
put_byte:
	tst	SCSR			; TDRE, bit 7
	bpl	put_byte
	staa	SCDR
	rts

get_byte:
	ldaa	SCSR
	anda	#RDRF
	beq	get_byte
	ldaa	SCDR			; SCSR then SCDR clears RDRF (and OR, FE)
	rts

frame:	.word	0			; SP of the register frame
stopped_pc: .word	0		; PC of the stopped program
code_end:

; ---- pseudo-vectors ---------------------------------------------------------------
	.org	0xc4
vectors:
	jmp	sci_isr			; $00C4 SCI
	swi				; $00C7 SPI
user_rts:
	rts				; $00C8 (never executed by the talker)
	.byte	0
	swi				; $00CA pulse accumulator input edge
	.word	0
	swi				; $00CD pulse accumulator overflow
	.word	0
	swi				; $00D0 timer overflow
	.word	0
	swi				; $00D3 TOC5
	.word	0
	swi				; $00D6 TOC4
	.word	0
	swi				; $00D9 TOC3
	.word	0
	swi				; $00DC TOC2
	.word	0
	swi				; $00DF TOC1
	.word	0
	swi				; $00E2 TIC3
	.word	0
	swi				; $00E5 TIC2
	.word	0
	swi				; $00E8 TIC1
	.word	0
	swi				; $00EB real-time interrupt
	.word	0
	swi				; $00EE IRQ
	.word	0
	swi				; $00F1 XIRQ
	.word	0
	jmp	stop_isr		; $00F4 SWI
	jmp	stop_isr		; $00F7 illegal opcode
	jmp	start			; $00FA COP failure
	jmp	start			; $00FD clock monitor
vectors_end:
