/*
 * The chip model for the preloaded fake serial device, which is C: a chip
 * fed a port's line switches as they happen, whose data output a fake cable
 * brings back to CTS. Nothing here throws; a null chip answers idle.
 */
#ifndef FLASH89_SIM_FAKE_CHIP_BRIDGE_H
#define FLASH89_SIM_FAKE_CHIP_BRIDGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FAKE_CHIP_FLASH_SIZE 12288
/* Everything the chip keeps without power: flash, EEPROM, user row, fuses
 * and lock bits (ChipModel::SaveState). */
#define FAKE_CHIP_STATE_SIZE (FAKE_CHIP_FLASH_SIZE + 2048 + 64 + 2)

enum fake_chip_line { FAKE_CHIP_DTR, FAKE_CHIP_RTS, FAKE_CHIP_TXD };

struct fake_chip;

/* A chip that holds state (FAKE_CHIP_STATE_SIZE bytes), or when state is
 * null the factory contents changed by options, the port's chip options
 * (sim/chip_options.h; null for none), which give its crystal either way;
 * weak_cell >= 0 names a flash cell that does not hold what is written;
 * shifter_ns is the settling time of the cable's level shifter
 * (sim/level_shifter.h). Null when there is no memory for it. */
struct fake_chip* fake_chip_new(const uint8_t* state, long weak_cell, int64_t shifter_ns,
                                const char* options);
void fake_chip_free(struct fake_chip* chip);

/* One line switch (on: DTR or RTS set, TXD in break). Returns 1 when the
 * chip's state may have changed since the last such answer, so that the
 * caller can keep a copy. */
int fake_chip_switch(struct fake_chip* chip, int64_t ns, enum fake_chip_line line, int on);

/* The chip's data output as the port reads it at ns. */
int fake_chip_miso(struct fake_chip* chip, int64_t ns);
void fake_chip_copy_state(const struct fake_chip* chip, uint8_t* state);

#ifdef __cplusplus
}
#endif

#endif
