/* A small 8051 program whose images the download tests write. */
#include <8051.h>

static const unsigned char pattern[] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80,
                                        0x40, 0x20, 0x10, 0x08, 0x04, 0x02};

static void delay(unsigned int count) {
  while (count--) {
  }
}

void main(void) {
  unsigned char i = 0;
  for (;;) {
    P1 = pattern[i];
    i = (i + 1) % sizeof pattern;
    delay(20000);
  }
}
