; EEPROM table (load address $D000): copies an eight-byte table into the EEPROM at
; $B600 (every byte that differs is erased and programmed, 10 ms each), then reads
; the table back from the EEPROM and stops at its SWI with the sum of its bytes in A
; and in "total" ($38 when the EEPROM took the table). Needs the EEPROM switched on
; (CONFIG EEON) and its block protection lifted (BPROT $1035 = 0); the debugger's
; start-up does both when the EEPROM is enabled in the talker setup.
	.equ	PPROG, 0x103b
	.equ	EEPROM_TABLE, 0xb600
	.text
main:
	lds	#0xdfff
	ldx	#table
	ldy	#EEPROM_TABLE
copy:	ldaa	0,x
	cmpa	0,y
	beq	same
	ldab	#0x16		; BYTE | ERASE | EELAT
	stab	PPROG
	staa	0,y		; any data selects the byte
	ldab	#0x17		; ... | EEPGM: erase
	stab	PPROG
	bsr	wait
	clr	PPROG
	ldab	#0x02		; EELAT
	stab	PPROG
	staa	0,y		; the new value
	ldab	#0x03		; EELAT | EEPGM: program
	stab	PPROG
	bsr	wait
	clr	PPROG
same:	inx
	iny
	cpx	#table_end
	bne	copy

	ldy	#EEPROM_TABLE	; sum the table as the EEPROM holds it
	clra
	ldab	#table_end - table
sum:	adda	0,y
	iny
	decb
	bne	sum
	staa	total
done:	swi

; About 10.5 ms at E = 2 MHz: 3500 turns of 6 cycles.
wait:	pshx
	ldx	#3500
wait1:	dex
	bne	wait1
	pulx
	rts

table:	.byte	0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0
table_end:
total:	.byte	0
