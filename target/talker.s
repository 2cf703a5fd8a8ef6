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
; Checked mode: the host turns it on in the image it downloads, only when the file is
; ours (go_switch and echo_switch, see the layout below, changed from RTS to NOP), so the
; talker never changes protocol on the wire. Then every byte the talker takes from the
; line is sent back at once, unchanged, before anything else it answers (a command byte
; first, then its complement), and after the address of $01, $41 and $C1 the talker
; waits for a go ($00): anything else ends the command there, nothing read or written.
; After the nine frame bytes of $C1 comes a second go: anything else keeps the new
; frame stopped (the talker serves commands from it, stopped_pc unchanged) instead
; of returning through it. So the host sees what the talker took, and no byte damaged on its way
; makes the talker write where the host did not confirm it. $81 is harmless in any state
; (a command, an argument, a byte inside a confirmed range, a refused go), which makes
; it the host's way back into step.
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
; A program that runs on the talker's stack (it did not load SP itself) has ten
; bytes of it (two more are left unused below the talker's deepest call chain); the samples load SP with $DFFF. A program that masks interrupts
; cannot be reached until it stops at an SWI.
;
; ---- Extended mode -----------------------------------------------------------------
; The host enters it only when the talker file carries our signature; a ROM talker or
; any other file keeps the protocol above, byte for byte. Signature and layout, in the
; spare bytes of unused pseudo-vector slots (read by the host from the file itself):
;   $00CB-$00CC "Tk"   $00CE version (2)   $00CF stopped_pc   $00D1 get_byte
;   $00D2 put_byte   $00D4 idle_pc   $00D5 frame   $00D7 go_switch   $00D8 echo_switch
; The version changes whenever a service below would call a different address.
;
; Apart from checked mode nothing of the extended mode is resident: the code ends at
; $00A6, and below STACK_TOP a program's ten bytes, an interrupt frame and the talker's
; deepest call chain leave two bytes unused, too few for a speed switch or an EEPROM
; programmer (each needs 30 to 50). The extended work runs as
; service routines (section .services, position independent apart from
; their calls into the talker) that the host writes over the pseudo-vector slots
; $00C4-$00F3 (SCI up to XIRQ) while no program runs, and removes again. The talker
; meanwhile runs parked, interrupts masked, so it needs none of those slots:
;   1. Park: from idle, a register write with PC at an unused slot's SWI and I set
;      stops the talker (it reports "J"); a program stopped at an SWI is parked already.
;   2. The host saves $00C4-$00F3, writes the service there and verifies it.
;   3. A register write with PC = $00C4, I and X set, the service's inputs in the
;      registers, and SP = the parked frame's SP starts it.
;   4. The service ends in an SWI: the talker reports "J" and parks again.
;   5. The host writes the saved slots back, verifies them, and returns with a register
;      write of the saved frame. For a program stopped at an SWI it first writes that
;      program's PC to stopped_pc, so that the program stays stopped.
;
; svc_fast, faster line. In: A = $20 (RDRF), B = $5A, X = 0, Y = $3000.
;   Once the last byte sent has left (TC), sets BAUD to $00 (E/16, 125000 baud at
;   E = 2 MHz), then waits at most 65536 turns
;   (about 0.43 s) for one byte. $5A: answers $A5 and ends, both at the new rate ("J"
;   follows at once). Anything else or nothing: back to 9600 ($30), ends ("J" at 9600).
;
; Services run in checked mode only, so get_byte sends back every byte it takes.
;
; svc_ee, EEPROM block. In: X = first address; the host patches the last address into
;   the operand at svc_ee_last. While X <= last, per step the host sends an operation
;   byte and a data byte (each sent back as it is taken) and the service answers the
;   byte at X read back after it:
;     op with bit 2 clear ($00): byte erase of X (X stays);
;     op with bit 2 set ($FF): program the data into X, then X + 1.
;   Only bit 2 of op is used; BYTE and EELAT are always set, so a damaged op can erase
;   or program the byte at X but never a row, the whole array or anything outside.
;   $FF is a harmless filler in either place (programming $FF changes nothing): a host
;   that lost count sends it one at a time until "J".
;   A program operation keeps BYTE set: with ERASE clear it is taken to program the
;   latched byte as it would with BYTE clear (behaviour chosen where the manual is
;   silent). Each pulse lasts 10 ms (counted loop at E = 2 MHz). Once X passes the last address
;   the service ends. The host decides per byte from the old contents: skip it, program
;   only when no bit goes 0 -> 1, else erase first; a read-back that differs is the
;   first failing address.
;
; svc_rd, checked reads. In: Y = 0. Per block the host sends $00, addrL, addrH, pages
;   (256-byte pages, 0 = 256 of them), each only after the one before came back (a
;   damaged $00 ends the service, and the talker must not take the rest for commands);
;   the service then sends the pages from that address and a 16-bit sum (high first)
;   of the data, counted from Y: 0 for the first block after a start, the previous
;   block's last data byte x 256 after that. Any other first byte ends the service. The
;   host counts what came back, so it knows where the service stands: a header it did
;   not mean is completed with bytes that ask for one page (which is read and dropped),
;   and a byte other than $00 then ends the service.

	.equ	BAUD,	0x102b
	.equ	SCCR2,	0x102d
	.equ	SCSR,	0x102e
	.equ	SCDR,	0x102f
	.equ	PPROG,	0x103b
	.equ	RDRF,	0x20
	.equ	STACK_TOP, 0xc3		; first byte the talker pushes
	.equ	VERSION, 2		; extended-mode layout version

	.text
; ---- start; also where COP and clock-monitor resets come ------------------------
start:
	ldd	#0x302c			; 9600 baud at E = 2 MHz; RIE | TE | RE
	staa	BAUD
	stab	SCCR2
idle:
	lds	#STACK_TOP		; back on the talker's stack, whatever SP was
	cli
	wai
idle_pc:
	bra	idle

; ---- SCI receive interrupt: one command, then back to the interrupted code ------
sci_isr:
	sts	*stopped_pc		; nothing is stopped: no sensible PC equals this
	bsr	serve
	rti

; ---- SWI and illegal opcode: report "J", stay stopped and serve commands --------
stop_isr:
	tsx
	ldd	7,x
	std	*stopped_pc
	ldaa	#0x4a			; "J"
	bsr	put_byte
park:
	bsr	serve
	bra	park

; ---- one command -----------------------------------------------------------------
serve:
	tsx				; the frame lies just above serve's return address
	inx
	inx
	stx	*frame
	bsr	get_byte
	cmpa	#0xb5
	beq	swi_reply
	tab
	andb	#0x3f			; $01, $41, $81, $C1 share the low six bits
	decb
	bne	done
	coma				; the echo: $FE, $BE, $7E or $3E
	bsr	put_byte
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
	bsr	go			; checked mode: no go keeps the frame stopped
	bne	park
	ldd	7,x
	subd	*stopped_pc
	beq	park			; stopped, and the PC is unchanged: stay
	rti

; $B5: a byte, PC, then the frame as $81 sends it. Only a stopped talker is asked,
; and its stopped_pc is the frame's PC: the three bytes are frame's low byte and
; stopped_pc.
swi_reply:
	ldx	#frame+1
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
; X = the next two bytes, high first; B kept. Checked mode: then the go, and
; anything but a go ends the command here (returns past the caller).
get_addr:
	pshb
	bsr	get_byte
	psha
	bsr	get_byte
	tab
	pula
	xgdx
	pulb
	bsr	go
	beq	done
	pulx
	rts

; Z set when the command may go on: always in the plain protocol; in checked
; mode only when the next byte is the go ($00).
go:
	clra
go_switch:
	rts				; checked mode: NOP, so the go byte is read
; A = the next byte; checked mode sends it back at once (Z then tells A = 0)
get_byte:
	ldaa	SCSR
	anda	#RDRF
	beq	get_byte
	ldaa	SCDR			; SCSR then SCDR clears RDRF (and OR, FE)
echo_switch:
	rts				; checked mode: NOP, so the byte is sent back
put_byte:
	tst	SCSR			; TDRE, bit 7
	bpl	put_byte
	staa	SCDR
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
	.ascii	"Tk"			; signature
	swi				; $00CD pulse accumulator overflow
	.byte	VERSION, stopped_pc	; version, where the stopped PC is kept
	swi				; $00D0 timer overflow
	.byte	get_byte, put_byte	; what the services call
	swi				; $00D3 TOC5
	.byte	idle_pc, frame
	swi				; $00D6 TOC4
	.byte	go_switch, echo_switch	; the two bytes of checked mode
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

; ---- service routines (not part of the talker file; see "Extended mode") ------------
	.section .services,"ax"
svc_fast:
	ldaa	SCSR			; TC: the go of the register write that started
	anda	#0x40			; this has left at the old rate
	beq	svc_fast
	ldaa	#RDRF
	clr	BAUD			; 125000 baud
fast_wait:
	bita	SCSR			; a byte?
	bne	fast_got
	dex
	bne	fast_wait
	bra	fast_slow		; none in time
fast_got:
	ldaa	SCDR			; SCSR then SCDR clears RDRF
	cba
	bne	fast_slow
	coma
	staa	SCDR			; TDRE was seen set by the SCSR read above
	swi
fast_slow:
	sty	BAUD			; BAUD = $30 (9600), SCCR1 = 0
	swi
svc_fast_end:

svc_ee:
	.byte	0x8c			; cpx #last (patched by the host)
svc_ee_last:
	.word	0
	bhi	ee_end
	jsr	*get_byte		; operation
	tab
	jsr	*get_byte		; data
	comb				; op bit 2 clear: erase
	andb	#0x04			; ERASE or not,
	orab	#0x12			; always BYTE | EELAT: this byte only
	stab	PPROG
	staa	0,x			; latches address and data
	incb				; EEPGM on
	stab	PPROG
	ldy	#2900			; 2900 x 7 E = 10.15 ms at E = 2 MHz
ee_pump:
	dey
	bne	ee_pump
	clr	PPROG
	ldaa	0,x			; read back
	jsr	*put_byte
	bitb	#0x04			; an erase (ERASE set) stays on the byte
	bne	svc_ee
	inx
	bra	svc_ee
ee_end:
	swi
svc_ee_end:

svc_rd:
	jsr	*get_byte		; $00 (sent back): a block; anything else ends
	bne	rd_end
	jsr	*get_byte		; address, low byte first
	psha
	jsr	*get_byte
	psha
	pulx
	jsr	*get_byte		; pages
	tab
rd_page:
	pshb
	clrb				; 256 bytes
rd_loop:
	ldaa	0,x
	jsr	*put_byte
	pshb				; the sum in Y
	tab
	aby
	pulb
	inx
	decb
	bne	rd_loop
	pulb
	decb
	bne	rd_page
	xgdy				; the sum, high byte first; Y = last byte x 256
	jsr	*put_byte
	tba
	jsr	*put_byte
	bra	svc_rd
rd_end:
	swi
svc_rd_end:
