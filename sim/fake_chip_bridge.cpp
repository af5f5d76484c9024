#include "sim/fake_chip_bridge.h"

#include <algorithm>
#include <new>
#include <span>
#include <utility>

#include "sim/chip_model.h"
#include "sim/chip_options.h"
#include "sim/level_shifter.h"

static_assert(FAKE_CHIP_FLASH_SIZE == ChipModel::kFlashSize);
static_assert(FAKE_CHIP_STATE_SIZE == ChipModel::kStateSize);

struct fake_chip {
  ChipModel model;
  LevelShifter shifter;
  int programmings = 0;  // ProgrammingCount at the last answer
};

extern "C" {

fake_chip* fake_chip_new(const std::uint8_t* state, long weakCell, std::int64_t shifterNs,
                         const char* options) {
  try {
    auto* chip = new fake_chip{ChipModel(), LevelShifter(shifterNs)};
    // The options give the crystal either way; a state kept, all else.
    if (options != nullptr) ApplyChipOptions(options, chip->model);
    if (state != nullptr) {
      chip->model.LoadState(
          std::span<const std::uint8_t, ChipModel::kStateSize>(state, ChipModel::kStateSize));
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
  try {
    chip->shifter.Feed(chip->model, LineEvent{ns, kLines[line], on != 0});
  } catch (const std::bad_alloc&) {
    // The instruction or the violation is not recorded; the memories are right.
  }
  const int before = std::exchange(chip->programmings, chip->model.ProgrammingCount());
  return chip->programmings != before;
}

int fake_chip_miso(fake_chip* chip, std::int64_t ns) {
  return chip == nullptr || chip->shifter.Miso(chip->model, ns);
}

void fake_chip_copy_state(const fake_chip* chip, std::uint8_t* state) {
  if (chip != nullptr) {
    chip->model.SaveState(
        std::span<std::uint8_t, ChipModel::kStateSize>(state, ChipModel::kStateSize));
  }
}

}  // extern "C"
