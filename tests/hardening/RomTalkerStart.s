; Start-up of a talker kept in EEPROM ($B600): copies the 256-byte talker image stored right
; after this code into RAM $0000-$00FF and starts it at $0000, as the boot loader would after a
; download. The boot loader comes here when its first character is $00, so a talker boot
; takes one character instead of 257 at 1200 baud.
	.text
start:
	ldx	#image
	ldy	#0
copy:
	ldaa	0,x
	staa	0,y
	inx
	iny
	cpy	#0x100
	bne	copy
	jmp	0x0000
image:
