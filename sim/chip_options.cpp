#include "sim/chip_options.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/chip_model.h"

namespace {

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& contents) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::uint8_t buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    contents.insert(contents.end(), buffer, buffer + got);
  }
  std::fclose(file);
  return true;
}

}  // namespace

std::size_t OptionEnd(std::string_view options, std::size_t at) {
  std::size_t end = options.find(':', at);
  // A drive's colon ("eeprom=C:\\chip.bin") belongs to its file name.
  if (end != std::string_view::npos && end >= at + 2 && options[end - 2] == '=' &&
      std::isalpha(static_cast<unsigned char>(options[end - 1])) != 0 && end + 1 < options.size() &&
      (options[end + 1] == '\\' || options[end + 1] == '/')) {
    end = options.find(':', end + 1);
  }
  return end == std::string_view::npos ? options.size() : end;
}

namespace {

// Calls take(name, value) for each option of the form name=value.
template <class Take>
void EachOption(std::string_view options, Take take) {
  std::size_t at = 0;
  while (at <= options.size()) {
    const std::size_t end = OptionEnd(options, at);
    const std::string option(options.substr(at, end - at));
    at = end + 1;
    const std::size_t equals = option.find('=');
    if (equals != std::string::npos) take(option.substr(0, equals), option.substr(equals + 1));
  }
}

}  // namespace

bool ApplyChipOptions(std::string_view options, ChipModel& chip) {
  bool read = true;
  EachOption(options, [&](const std::string& name, const std::string& value) {
    const auto number = static_cast<std::uint8_t>(std::strtoul(value.c_str(), nullptr, 0));
    std::vector<std::uint8_t> contents;
    if (name == "xtal") {
      const double mhz = std::strtod(value.c_str(), nullptr);
      if (mhz > 0) chip.SetCrystalHz(mhz * 1e6);
    } else if (name == "fuses") {
      chip.SetFuses(number);
    } else if (name == "lock") {
      chip.SetLockBits(number);
    } else if (name == "eeprom" || name == "user_row") {
      if (!ReadFile(value, contents)) {
        read = false;
      } else if (name == "eeprom") {
        chip.SetEeprom(contents);
      } else {
        chip.SetUserRow(contents);
      }
    }
  });
  return read;
}
