/* Korvan's sample firmware: a running light on port 1 for any 8051 at 12 MHz.
 * Timer 0 in mode 1 overflows every 50 ms; every tenth overflow moves the lit LED
 * (active low) one place along P1, so one LED steps through the eight once every 4 s.
 * Build: ./build.sh (needs SDCC). */
#include <8051.h>

#define TICKS_PER_STEP 10
#define RELOAD (65536 - 50000)

static volatile unsigned char ticks;

void timer0_isr(void) __interrupt(1)
{
    TH0 = RELOAD >> 8;
    TL0 = RELOAD & 0xFF;
    ++ticks;
}

void main(void)
{
    unsigned char lit = 0x01;

    TMOD = (TMOD & 0xF0) | 0x01;
    TH0 = RELOAD >> 8;
    TL0 = RELOAD & 0xFF;
    ET0 = 1;
    EA = 1;
    TR0 = 1;

    for (;;) {
        P1 = (unsigned char)~lit;
        while (ticks < TICKS_PER_STEP) {
        }
        ticks = 0;
        lit = (unsigned char)((lit << 1) | (lit >> 7));
    }
}
