/* The program in avr_app.elf, as avr-gcc and avr-libc build an application for one chip:
 *   avr-gcc -mmcu=atmega328p -Os -s -o avr_app.elf avr_app.c
 * avr-gcc records the chip in the note .note.gnu.avr.deviceinfo; the EEPROM data, the fuses
 * and the lock byte go to .eeprom, .fuse and .lock. */
#include <avr/eeprom.h>
#include <avr/fuse.h>
#include <avr/lock.h>

uint8_t EEMEM settings[3] = {0xE1, 0xE2, 0xE3};
FUSES = {.low = 0xE2, .high = 0xD9, .extended = 0xFF};
LOCKBITS = 0xFC;

int main(void) {
    for (;;) {
    }
}
