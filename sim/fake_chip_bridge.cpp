#include "sim/fake_chip_bridge.h"

#include <algorithm>
#include <new>
#include <span>

#include "sim/chip_model.h"

static_assert(FAKE_CHIP_FLASH_SIZE == ChipModel::kFlashSize);

struct fake_chip {
  ChipModel model;
};

extern "C" {

fake_chip* fake_chip_new(const std::uint8_t* flash, long weakCell) {
  try {
    auto* chip = new fake_chip;
    if (flash != nullptr) {
      chip->model.SetFlash(
          std::span<const std::uint8_t, ChipModel::kFlashSize>(flash, ChipModel::kFlashSize));
    }
    if (weakCell >= 0) chip->model.SetWeakCell(static_cast<std::size_t>(weakCell));
    return chip;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void fake_chip_free(fake_chip* chip) { delete chip; }

int fake_chip_switch(fake_chip* chip, std::int64_t ns, fake_chip_line line, int on) {
  if (chip == nullptr) return 0;
  static constexpr PortLine kLines[] = {PortLine::Dtr, PortLine::Rts, PortLine::Txd};
  const int before = chip->model.ProgrammingCount();
  try {
    chip->model.Feed(LineEvent{ns, kLines[line], on != 0});
  } catch (const std::bad_alloc&) {
    // The instruction or the violation is not recorded; the flash is right.
  }
  return chip->model.ProgrammingCount() != before;
}

int fake_chip_miso(const fake_chip* chip) { return chip == nullptr || chip->model.Miso(); }

void fake_chip_copy_flash(const fake_chip* chip, std::uint8_t* flash) {
  if (chip != nullptr) std::copy(chip->model.Flash().begin(), chip->model.Flash().end(), flash);
}

}  // extern "C"
