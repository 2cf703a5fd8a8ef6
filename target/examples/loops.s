; Loops (load address $C000): adds the numbers 10 down to 1, fills a buffer with
; 0, 1, ... 15, waits in a nested delay loop and stops at its SWI with A = 55 ($37),
; the sum, which it also keeps in "total".
	.text
loops:
	lds	#0xdfff		; a stack of its own in external RAM
	clra
	ldab	#10
sum:	aba			; A = A + B
	decb
	bne	sum
	staa	total
	ldx	#buffer
	clrb
fill:	stab	0,x
	inx
	incb
	cmpb	#16
	blo	fill
	ldaa	#16		; delay: 16 x 256 turns of the inner loop
outer:	clrb
inner:	decb
	bne	inner
	deca
	bne	outer
	ldaa	total
done:	swi

total:	.byte	0
buffer:	.space	16
