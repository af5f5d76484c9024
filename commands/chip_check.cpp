#include "commands/chip_check.h"

#include <algorithm>
#include <array>
#include <map>

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

CtsPolarity RequireChip(const std::string& portName, std::array<std::uint8_t, 3>* signature) {
  EnableProgramming();
  const SignatureRead read = ReadSignature();
  if (!read.polarity) {
    const ChipFaultKind kind =
        NamesAnotherAtmelChip(read) ? ChipFaultKind::OtherChip : ChipFaultKind::NoAnswer;
    throw ChipFault{kind, portName, read.bytes};
  }
  if (signature != nullptr) *signature = read.bytes;
  return *read.polarity;
}

std::size_t PagesCovered(const CoveredBytes& covered) {
  std::size_t pages = 0;
  std::size_t pageStart = kFlashSize;
  for (const auto& entry : covered) {
    const std::size_t start = entry.first & ~(kPageSize - 1);
    if (entry.first >= kFlashSize || start == pageStart) continue;
    ++pages;
    pageStart = start;
  }
  return pages;
}

void VerifyCovered(const CoveredBytes& covered, CtsPolarity polarity, const std::string& portName,
                   ProgressMeter* meter) {
  ChipFault fault{ChipFaultKind::Mismatch, portName};
  std::array<std::uint8_t, kPageSize> page{};
  std::size_t pageStart = kFlashSize;  // none read yet
  for (const auto& [address, expected] : covered) {
    if (address >= kFlashSize) continue;
    const std::size_t start = address & ~(kPageSize - 1);
    if (start != pageStart) {
      ReadFlashPage(static_cast<std::uint16_t>(start), polarity, page);
      pageStart = start;
      if (meter != nullptr) meter->PageRead(kPageSize);
    }
    const std::uint8_t read = page[address - start];
    if (read == expected) continue;
    ++fault.differing;
    if (fault.first.size() < kMismatchesShown) fault.first.push_back({address, read, expected});
  }
  if (fault.differing > 0) throw fault;
}
