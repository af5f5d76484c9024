// The chip model's instruction set: which memory an opcode reaches, how,
// and where its address lies in the bytes after it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace chip_opcodes {

enum class Memory : std::uint8_t { Flash, Eeprom, UserRow };
enum class Access : std::uint8_t { None, WriteByte, ReadByte, WritePage, ReadPage };

struct Opcode {
  Access access = Access::None;
  Memory memory = Memory::Flash;
};

inline constexpr std::uint8_t kAc = 0xAC;  // the first byte of the instructions below
inline constexpr std::uint8_t kReadSignature = 0x28;
inline constexpr std::uint8_t kReadFuses = 0x21;
inline constexpr std::uint8_t kReadLockBits = 0x24;

constexpr Opcode OpcodeOf(std::uint8_t code) {
  switch (code) {
    case 0x40: return {Access::WriteByte, Memory::Flash};
    case 0x20: return {Access::ReadByte, Memory::Flash};
    case 0x50: return {Access::WritePage, Memory::Flash};
    case 0x30: return {Access::ReadPage, Memory::Flash};
    case 0xC0: return {Access::WriteByte, Memory::Eeprom};
    case 0xA0: return {Access::ReadByte, Memory::Eeprom};
    case 0xD0: return {Access::WritePage, Memory::Eeprom};
    case 0xB0: return {Access::ReadPage, Memory::Eeprom};
    case 0x42: return {Access::WriteByte, Memory::UserRow};
    case 0x22: return {Access::ReadByte, Memory::UserRow};
    case 0x52: return {Access::WritePage, Memory::UserRow};
    case 0x32: return {Access::ReadPage, Memory::UserRow};
    default: return {};
  }
}

constexpr bool IsPage(Opcode opcode) {
  return opcode.access == Access::WritePage || opcode.access == Access::ReadPage;
}

constexpr std::size_t PageSizeOf(Memory memory) { return memory == Memory::Eeprom ? 32 : 64; }

// Bytes of an instruction, from its first: a page's address and its data,
// or four.
constexpr std::size_t LengthOf(std::uint8_t code) {
  const Opcode opcode = OpcodeOf(code);
  return IsPage(opcode) ? 3 + PageSizeOf(opcode.memory) : 4;
}

// The address in the second and third bytes; the bits a memory does not
// use are ignored, except the flash's, where they reach beyond it.
constexpr int AddressOf(Memory memory, const std::uint8_t* bytes) {
  switch (memory) {
    case Memory::Flash: return (bytes[1] << 8) | bytes[2];
    case Memory::Eeprom: return ((bytes[1] & 0x07) << 8) | bytes[2];
    case Memory::UserRow: return bytes[2] & 0x3F;
  }
  return 0;
}

// A page instruction ignores its address's bits within the page.
constexpr int FirstOf(Opcode opcode, int address) {
  return IsPage(opcode) ? address & ~static_cast<int>(PageSizeOf(opcode.memory) - 1) : address;
}

constexpr bool IsProgrammingEnable(std::uint8_t first, std::uint8_t second) {
  return first == kAc && second == 0x53;
}
constexpr bool IsChipErase(std::uint8_t first, std::uint8_t second) {
  return first == kAc && (second & 0xE0) == 0x80;
}
// AC 0001 F4 F3 F2 F1
constexpr bool IsFuseWrite(std::uint8_t first, std::uint8_t second) {
  return first == kAc && (second & 0xF0) == 0x10;
}
// AC 1110 0 LB3 LB2 LB1
constexpr bool IsLockWrite(std::uint8_t first, std::uint8_t second) {
  return first == kAc && (second & 0xF8) == 0xE0;
}

}  // namespace chip_opcodes
