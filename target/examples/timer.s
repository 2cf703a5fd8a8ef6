; Timer (load address $D400): the timer system at work, with interrupts through the talker's
; free pseudo-vector slots. An output-compare interrupt (OC2) comes every 2000 E cycles and
; toggles PA6 by itself (TCTL1); the real-time interrupt (every 2^13 E cycles) counts in
; "ticks"; the main loop meanwhile converts PE0 with the A/D converter into "analog".
; Stops at its SWI when ticks reaches 10, with A = 10, B = the OC2 interrupts so far (40 or
; 41: 10 x 8192 / 2000) and "analog" = the value on PE0.
	.equ	TCNT, 0x100e
	.equ	TOC2, 0x1018
	.equ	TCTL1, 0x1020
	.equ	TMSK1, 0x1022
	.equ	TFLG1, 0x1023
	.equ	TMSK2, 0x1024
	.equ	TFLG2, 0x1025
	.equ	PACTL, 0x1026
	.equ	ADCTL, 0x1030
	.equ	ADR1, 0x1031
	.equ	OPTION, 0x1039
	.equ	OC2_SLOT, 0x00dc	; pseudo-vector slots: SWI and two free bytes in the talker
	.equ	RTI_SLOT, 0x00eb
	.equ	PERIOD, 2000
	.text
main:
	lds	#0xdfff
	sei
	ldaa	#0x7e			; JMP opcode over the slots' SWIs
	staa	OC2_SLOT
	staa	RTI_SLOT
	ldx	#oc2_isr
	stx	OC2_SLOT+1
	ldx	#rti_isr
	stx	RTI_SLOT+1
	clr	ticks
	clr	toggles
	ldaa	OPTION			; ADPU: power the A/D converter up
	oraa	#0x80
	staa	OPTION
	ldaa	#0x40			; OC2 toggles PA6 on each match
	staa	TCTL1
	ldd	TCNT
	addd	#PERIOD
	std	TOC2
	ldaa	#0x40
	staa	TFLG1			; clear OC2F (write 1), then enable its interrupt
	staa	TMSK1
	ldaa	PACTL			; RTR1:RTR0 = 00: E / 2^13
	anda	#0xfc
	staa	PACTL
	ldaa	#0x40
	staa	TFLG2			; clear RTIF, then enable RTII
	ldaa	TMSK2
	oraa	#0x40
	staa	TMSK2
	cli
convert:
	clr	ADCTL			; PE0, four conversions
wait:	ldaa	ADCTL
	bpl	wait			; CCF after 128 E cycles
	ldaa	ADR1
	staa	analog
	ldaa	ticks
	cmpa	#10
	blo	convert
	sei
	clr	TMSK1			; leave the timer quiet for the talker
	ldaa	TMSK2
	anda	#0xbf
	staa	TMSK2
	ldaa	ticks
	ldab	toggles
done:	swi
	bra	done

oc2_isr:
	ldd	TOC2
	addd	#PERIOD
	std	TOC2
	ldaa	#0x40
	staa	TFLG1
	inc	toggles
	rti

rti_isr:
	ldaa	#0x40
	staa	TFLG2
	inc	ticks
	rti

ticks:	.byte	0
toggles: .byte	0
analog:	.byte	0
