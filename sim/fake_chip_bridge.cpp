#include "sim/fake_chip_bridge.h"

#include <algorithm>
#include <new>
#include <span>

#include "sim/chip_model.h"
#include "sim/chip_options.h"

static_assert(FAKE_CHIP_FLASH_SIZE == ChipModel::kFlashSize);
static_assert(FAKE_CHIP_STATE_SIZE == ChipModel::kStateSize);

struct fake_chip {
  ChipModel model;
};

extern "C" {

fake_chip* fake_chip_new(const std::uint8_t* state, long weakCell, const char* options) {
  try {
    auto* chip = new fake_chip;
    if (state != nullptr) {
      chip->model.LoadState(
          std::span<const std::uint8_t, ChipModel::kStateSize>(state, ChipModel::kStateSize));
    } else if (options != nullptr) {
      ApplyChipOptions(options, chip->model);
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
    // The instruction or the violation is not recorded; the memories are right.
  }
  return chip->model.ProgrammingCount() != before;
}

int fake_chip_miso(const fake_chip* chip) { return chip == nullptr || chip->model.Miso(); }

void fake_chip_copy_state(const fake_chip* chip, std::uint8_t* state) {
  if (chip != nullptr) {
    chip->model.SaveState(
        std::span<std::uint8_t, ChipModel::kStateSize>(state, ChipModel::kStateSize));
  }
}

}  // extern "C"
