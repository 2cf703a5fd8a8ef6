; Branches (load address $C800): walks a table of eight bytes and finds the largest
; as an unsigned number, the smallest as a signed number and how many are negative.
; Stops at its SWI with A = $FF (unsigned maximum), B = $80 (signed minimum, -128)
; and "negatives" = 3.
	.text
main:
	lds	#0xdfff
	clr	negatives
	ldx	#table
	ldaa	0,x
	staa	umax
	staa	smin
	ldab	#8
loop:	ldaa	0,x
	cmpa	umax
	bls	not_max		; unsigned: A <= largest so far
	staa	umax
not_max:
	cmpa	smin
	bge	not_min		; signed: A >= smallest so far
	staa	smin
not_min:
	tsta
	bpl	not_negative
	inc	negatives
not_negative:
	inx
	decb
	bne	loop
	ldaa	umax
	ldab	smin
done:	swi

table:	.byte	5, 0x90, 0x7f, 0xff, 0, 0x10, 0x80, 3
umax:	.byte	0
smin:	.byte	0
negatives:
	.byte	0
