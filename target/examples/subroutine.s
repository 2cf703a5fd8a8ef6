; Subroutines (load address $C400): "main" fills "area" with eight $AA bytes through
; JSR and eight $55 bytes through BSR, adds the sixteen bytes in a third subroutine
; and stops at its SWI with A = $F8 (the low byte of the sum) and B = 0.
; "clear" zeroes the area: run it with Call Subroutine, it returns to the talker
; with RTS. It uses no stack of its own.
	.text
main:
	lds	#0xdfff
	ldx	#area
	ldaa	#0xaa
	ldab	#8
	jsr	fill
	ldaa	#0x55		; X points just after the first half
	ldab	#8
	bsr	fill
	ldx	#area
	jsr	checksum
done:	swi

; Stores A into B bytes from X upward; X ends after the last byte.
fill:	staa	0,x
	inx
	decb
	bne	fill
	rts

; A = the low byte of the sum of the 16 bytes at X.
checksum:
	clra
	ldab	#16
add:	adda	0,x
	inx
	decb
	bne	add
	rts

; Zeroes the 16 bytes of "area".
clear:	ldx	#area
	ldab	#16
clear1:	clr	0,x
	inx
	decb
	bne	clear1
	rts

area:	.space	16
