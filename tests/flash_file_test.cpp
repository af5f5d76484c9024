// Writing the flash's contents to a file: it reads back into the same flash,
// and a fault leaves no half-written file behind.
#include "image/flash_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>

#include "image/hex_image.h"
#include "temp_files.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace {

// A program at the start, a lone byte among erased rows, the last byte used.
std::vector<std::uint8_t> SomeFlash() {
  std::vector<std::uint8_t> flash(kFlashSize, 0xFF);
  for (unsigned a = 0; a < 40; ++a) flash[a] = static_cast<std::uint8_t>(a * 7);
  flash[0x1234] = 0x00;
  flash[kFlashSize - 1] = 0x5A;
  return flash;
}

std::set<std::string> NamesIn(const TempFolder& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path(""))) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

ImageFault WriteError(const std::string& path, int errorNumber) {
  return {.kind = ImageFaultKind::WriteError, .errorNumber = errorNumber, .path = path};
}

}  // namespace

TEST(FlashFile, HexReadsBackIntoTheSameFlash) {
  const TempFolder folder;
  ASSERT_EQ(WriteFlashFile(folder.Path("copy.HEX"), SomeFlash()), std::nullopt);
  const Checked<HexImage> image = ReadHexImage(folder.Path("copy.HEX"));
  std::vector<std::uint8_t> readBack(kFlashSize, 0xFF);  // as the download's erase leaves it
  for (const HexRecord& record : std::get<HexImage>(image).records) {
    std::copy(record.data.begin(), record.data.end(), readBack.begin() + record.address);
  }
  EXPECT_EQ(readBack, SomeFlash());
  EXPECT_TRUE(ReadWhole(folder.Path("copy.HEX"))
                  .starts_with(":1000000000070E151C232A31383F464D545B6269A8\r\n"));

  ASSERT_EQ(WriteFlashFile(folder.Path("erased.hex"), std::vector<std::uint8_t>(kFlashSize, 0xFF)),
            std::nullopt);
  EXPECT_EQ(ReadWhole(folder.Path("erased.hex")), ":00000001FF\r\n");
}

TEST(FlashFile, BinIsTheFlashAsItIsAndReplacesTheOldFile) {
  const TempFolder folder;
  folder.Write("copy.bin", "old");
  ASSERT_EQ(WriteFlashFile(folder.Path("copy.bin"), SomeFlash()), std::nullopt);
  const std::string written = ReadWhole(folder.Path("copy.bin"));
  EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), SomeFlash());
  EXPECT_EQ(NamesIn(folder), std::set<std::string>{"copy.bin"});
}

TEST(FlashFile, OtherNamesAreRefusedBeforeAnythingIsWritten) {
  const TempFolder folder;
  for (const std::string name : {"copy.txt", "copy", "copy.hex.old", "hex"}) {
    const ImageFault refused{.kind = ImageFaultKind::UnknownExtension, .path = folder.Path(name)};
    EXPECT_EQ(WriteFlashFile(folder.Path(name), SomeFlash()), refused);
  }
  EXPECT_TRUE(NamesIn(folder).empty());
}

TEST(FlashFile, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  const TempFolder folder;
  folder.Write("old.bin", "old");
  const std::string noFolder = folder.Path("missing/copy.hex");
  EXPECT_EQ(WriteFlashFile(noFolder, SomeFlash()), WriteError(noFolder, ENOENT));
#ifndef _WIN32
  // A file size limit fails the write midway, for root too.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit small{.rlim_cur = 4096, .rlim_max = saved.rlim_max};
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto fault = WriteFlashFile(folder.Path("old.bin"), SomeFlash());
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(fault, WriteError(folder.Path("old.bin"), EFBIG));
#endif
  EXPECT_EQ(ReadWhole(folder.Path("old.bin")), "old");
  EXPECT_EQ(NamesIn(folder), std::set<std::string>{"old.bin"});
}
