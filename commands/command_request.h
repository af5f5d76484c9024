// What a front end asks a command to do: one plain value that the window,
// the command line, the tests and the benchmarks fill in alike. The
// defaults are the window's: COM2, byte mode, no checks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "commands/chip_extras.h"
#include "image/image_extent.h"
#include "image/image_fault.h"

// The chosen file's name; empty when the user cancelled.
using FileNameRequest = std::function<std::string()>;

// A file that was named before the command, as on a command line.
inline FileNameRequest FileNamed(std::string name) {
  return [name = std::move(name)] { return name; };
}

enum class WriteMode : std::uint8_t {
  Bytes,  // byte by byte, each with its whole write cycle, as the window writes
  Pages,  // each page the image touches written whole in one instruction
};

struct CommandRequest {
  // As the user named it: "COM2", "COM12", "/dev/ttyUSB0".
  std::string port = "COM2";
  // The image: asked for once the port is found usable, so that a missing
  // port is said before the dialog. The commands that read the chip back
  // ask for it before the port opens.
  FileNameRequest file = {};
  ImageFormat format = ImageFormat::IntelHex;  // of a download's image
  ImageTarget target = ImageTarget::Flash;     // the memory that reads and in-place writes use
  WriteMode mode = WriteMode::Bytes;
  // Where the cable brings MISO back: the chip's signature checked before
  // the erase, so that another chip or none is never erased; each page's
  // write cycle polled; the image read back and compared after the write.
  bool verify = false;
  ChipExtras extras = {};  // what a download does besides the flash
};

// The request's file, asked for now; empty when there is none.
inline std::string FileOf(const CommandRequest& request) {
  return request.file ? request.file() : std::string();
}
