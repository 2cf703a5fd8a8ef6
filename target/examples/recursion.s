; Recursion (load address $DC00): "sum" adds n + (n-1) + ... + 1 by calling itself, with
; interrupts enabled, and main stops at its SWI with D = 15 (n = 5). A call that the same
; routine makes again at every depth: the program to step over and out of.
	.text
main:
	lds	#0xdfff
	cli
	ldab	#5
	bsr	sum		; D = 5 + 4 + 3 + 2 + 1
after:	std	result
done:	swi

; D = B + (B-1) + ... + 1; each depth keeps its n on the stack.
sum:	tstb
	beq	zero
	pshb
	decb
recurse:
	bsr	sum		; D = the sum for n - 1
inner:	tsx
	addb	0,x		; D += n
	adca	#0
	ins
	rts
zero:	clra
	rts

result:	.word	0
