; Control flow (load address $D800): one instruction of every kind of successor that
; a single-instruction trace has to work out, met in this order when stepping from
; "flow" to "flow_end" (each labelled f_... instruction is stepped exactly once):
;   fall-through; a conditional branch not taken and one taken; BRA; BRSET and BRCLR
;   direct, indexed by X and indexed by Y, taken and not taken; JMP extended, indexed
;   by X and indexed by Y; JSR direct, extended, indexed by X and indexed by Y; BSR;
;   RTS; an instruction after each prefix byte ($18, $1A, $CD).
; f_stop is reached only when a step goes wrong. flow.map lists every label's address.
; The direct-page operands use $00C8, where the talker keeps an RTS ($39) that it
; never executes itself.
	.equ	USER_RTS, 0xc8
	.text
flow:
	lds	#0xdfff
	ldx	#data
f_pre18:
	ldy	#data			; $18 CE: page 2
f_nop:	nop				; fall-through only
	ldaa	#1
f_beq:	beq	f_stop			; not taken
f_bne:	bne	f_bra			; taken
f_stop:	swi
f_bra:	bra	f_brset_d
	swi
f_brset_d:
	brset	*USER_RTS,#0x01,f_brclr_d	; taken: $39 has bit 0 set
	swi
f_brclr_d:
	brclr	*USER_RTS,#0x01,f_stop	; not taken
f_brset_x:
	brset	0,x,#0x80,f_brclr_x	; taken: data[0] = $80
	swi
f_brclr_x:
	brclr	0,x,#0x80,f_stop	; not taken
f_brset_y:
	brset	1,y,#0x01,f_stop	; not taken: data[1] = $00
f_brclr_y:
	brclr	1,y,#0xff,f_jmp_e	; taken
	swi
f_jmp_e:
	jmp	jmp_x_setup
	swi
jmp_x_setup:
	ldx	#jmp_y_setup - 5
f_jmp_x:
	jmp	5,x
	swi
jmp_y_setup:
	ldy	#f_jsr_d - 3
f_jmp_y:
	jmp	3,y
	swi
f_jsr_d:
	jsr	*USER_RTS
f_jsr_e:
	jsr	sub_e
	ldx	#sub_x - 2
f_jsr_x:
	jsr	2,x
	ldy	#sub_y - 4
f_jsr_y:
	jsr	4,y
f_bsr:	bsr	sub_b
f_pre1a:
	cpd	#0x1234			; $1A 83: page 3
	ldy	#data
f_precd:
	cpx	0,y			; $CD AC: page 4
f_iny:	iny				; $18 08: page 2, inherent
flow_end:
	swi

f_rts_e:
sub_e:	rts
sub_x:	rts
sub_y:	rts
f_rts_b:
sub_b:	rts

data:	.byte	0x80, 0x00
