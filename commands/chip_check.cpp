#include "commands/chip_check.h"

#include <algorithm>
#include <array>
#include <map>

#include "commands/bit_clock_choice.h"
#include "isp/bit_clock.h"
#include "isp/echo_check.h"
#include "isp/isp.h"

CoveredBytes CoveredBy(const HexImage& image) {
  std::map<std::uint16_t, std::uint8_t> bytes;
  for (const HexRecord& record : image.records) {
    auto address = record.address;
    for (const std::uint8_t value : record.data) bytes[address++] = value;
  }
  return {bytes.begin(), bytes.end()};
}

CoveredBytes CoveredBy(const std::vector<std::uint8_t>& image) {
  CoveredBytes covered;
  covered.reserve(image.size());
  std::uint16_t address = 0;
  for (const std::uint8_t value : image) covered.emplace_back(address++, value);
  return covered;
}

MisoPolarity RequireChip(const std::string& portName, std::array<std::uint8_t, 3>* signature) {
  CheckAtWindowPhase();
  // A chip that does not echo is not listening: nothing more is sent to it.
  const std::optional<MisoPolarity> echoed = EnableProgrammingAnswered();
  if (!echoed) throw ChipFault{ChipFaultKind::NoAnswer, portName};
  const SignatureRead read = ReadSignature();
  if (read.polarity != echoed) {
    const ChipFaultKind kind =
        NamesAnotherAtmelChip(read) ? ChipFaultKind::OtherChip : ChipFaultKind::NoAnswer;
    throw ChipFault{kind, portName, read.bytes};
  }
  if (signature != nullptr) *signature = read.bytes;
  TuneBitClock(*echoed, read.bytes);
  return *echoed;
}

ChipState ReadChipState(MisoPolarity polarity) {
  return {ReadUserFuses(polarity), ReadLockBits(polarity)};
}

int LockLevel(std::uint8_t lockBits) {
  for (int level = 0; level <= kHighestLockLevel; ++level) {
    if ((lockBits & kAllLockBits) == LockBitsFor(level)) return level;
  }
  return -1;
}

std::uint8_t LockBitsFor(int level) {
  return static_cast<std::uint8_t>(kAllLockBits & ~((1u << level) - 1));
}

void RequireReadable(MisoPolarity polarity, const std::string& portName) {
  const std::uint8_t locked = ~ReadLockBits(polarity) & kAllLockBits;
  // LB1 and LB2 together stop verification, whatever LB3 says.
  if ((locked & 0x03) == 0x03) throw ChipFault{ChipFaultKind::LockedAgainstReading, portName};
}

const ChipMemory& MemoryOf(ImageTarget target) {
  switch (target) {
    case ImageTarget::Flash: return kFlashMemory;
    case ImageTarget::Eeprom: return kEepromMemory;
    case ImageTarget::UserRow: return kUserRowMemory;
  }
  return kFlashMemory;
}

std::size_t PagesCovered(const CoveredBytes& covered, ImageTarget target) {
  const ChipMemory& memory = MemoryOf(target);
  std::size_t pages = 0;
  std::size_t pageStart = memory.size;
  for (const auto& entry : covered) {
    const std::size_t start = entry.first & ~(memory.pageSize - 1);
    if (entry.first >= memory.size || start == pageStart) continue;
    ++pages;
    pageStart = start;
  }
  return pages;
}

namespace {

void CompareCovered(const CoveredBytes& covered, MisoPolarity polarity, const std::string& portName,
                    ProgressMeter* meter, ImageTarget target) {
  const ChipMemory& memory = MemoryOf(target);
  ChipFault fault{ChipFaultKind::Mismatch, portName};
  fault.target = target;
  std::array<std::uint8_t, kPageSize> page{};
  std::size_t pageStart = memory.size;  // none read yet
  for (const auto& [address, expected] : covered) {
    if (address >= memory.size) continue;
    const std::size_t start = address & ~(memory.pageSize - 1);
    if (start != pageStart) {
      ReadMemoryPage(memory, static_cast<std::uint16_t>(start), polarity, page);
      pageStart = start;
      if (meter != nullptr) meter->PageRead(memory.pageSize);
    }
    const std::uint8_t read = page[address - start];
    if (read == expected) continue;
    ++fault.differing;
    if (fault.first.size() < kMismatchesShown) fault.first.push_back({address, read, expected});
  }
  if (fault.differing > 0) throw fault;
}

}  // namespace

void VerifyCovered(const CoveredBytes& covered, MisoPolarity polarity, const std::string& portName,
                   ProgressMeter* meter, ImageTarget target) {
  try {
    CompareCovered(covered, polarity, portName, meter, target);
  } catch (const ChipFault& fault) {
    if (fault.kind != ChipFaultKind::Mismatch || BitPhaseMs() >= kBitPhaseMs) throw;
    // A bit read wrong at a short phase is no byte written wrong: the
    // chip's answer counts only at the window's.
    DropToWindowPhase(polarity);
    CompareCovered(covered, polarity, portName, nullptr, target);
  }
}
