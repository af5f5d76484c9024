#include "image/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

#include "image/hex_text.h"
#include "image/rename_over.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int CreateNew(const std::string& path) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const char* data, std::size_t size) {
  return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 20)));
}
int FlushToDisk(int fd) { return ::_commit(fd); }
int CloseFile(int fd) { return ::_close(fd); }
#else
int CreateNew(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long WriteSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
int FlushToDisk(int fd) { return ::fsync(fd); }
int CloseFile(int fd) { return ::close(fd); }
#endif

// A name beside path that no other file has: the folder is the same, so
// the rename stays on one file system and replaces in one step.
int CreateBeside(const std::string& path, std::string& temporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = path + "." + WordToHex(random()) + WordToHex(random()) + ".tmp";
    const int fd = CreateNew(temporary);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

int WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const long count = WriteSome(fd, contents.data(), contents.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    contents.remove_prefix(static_cast<std::size_t>(count));
  }
  return 0;
}

// Flushed before the rename, so that a crash cannot leave the new name on
// a file whose data never reached the disk.
int WriteFlushClose(int fd, std::string_view contents) {
  int error = WriteAll(fd, contents);
  if (error == 0 && FlushToDisk(fd) != 0) error = errno;
  if (CloseFile(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

std::optional<ImageFault> WriteWholeFile(const std::string& path, std::string_view contents) {
  std::string temporary;
  const int fd = CreateBeside(path, temporary);
  int error = fd < 0 ? errno : WriteFlushClose(fd, contents);
  if (error == 0) error = RenameOver(temporary, path);
  if (error == 0) return std::nullopt;
  if (fd >= 0) std::remove(temporary.c_str());
  return ImageFault{.kind = ImageFaultKind::WriteError, .errorNumber = error, .path = path};
}
