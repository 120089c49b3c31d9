; The program in avr_program.elf, linked by GNU binutils' default ATmega (avr5) script:
;   avr-as -mmcu=atmega328p -o avr_program.o avr_program.s
;   avr-ld -m avr5 -o avr_program.elf avr_program.o
; .data runs in RAM at 0x800060 but is stored in flash right after .text; .eeprom, .fuse and
; .lock land at 0x810000, 0x820000 and 0x830000.
    .section .text
    .global main
main:
    ldi r16, 0x12
    ldi r17, 0x34
    rjmp main
    .section .data
message:
    .byte 0xD1, 0xD2, 0xD3, 0xD4
    .section .bss
scratch:
    .skip 16
    .section .eeprom,"aw",@progbits
settings:
    .byte 0xE1, 0xE2, 0xE3
    .section .fuse,"aw",@progbits
    .byte 0x62, 0xD9, 0xFF
    .section .lock,"aw",@progbits
    .byte 0xFC
