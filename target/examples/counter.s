; Counter (load address $CC00): counts forever in "count" (16 bits, high byte
; first) with interrupts enabled, so the talker keeps answering while it runs.
; Read "count" twice to see it move; Stop returns the board to the talker.
	.text
main:
	lds	#0xdfff
	ldx	#0
	stx	count
	cli
loop:	ldx	count
	inx
	stx	count
	bra	loop

count:	.word	0
