#include "image/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "image/image_error.h"

#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

std::string IoErrorText(int errorNumber) {
  switch (errorNumber) {
    case ENOENT: return "Datei nicht gefunden";
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL: return "Ungültiger Dateiname";
    case EMFILE:
    case ENFILE: return "Zu viele geöffnete Dateien";
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return "Dateizugriff verweigert";
    default: return "E/A-Fehler " + std::to_string(errorNumber);
  }
}

namespace {

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() { ::close(fd_); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  int fd_;
};

}  // namespace

std::string ReadImageFile(const std::string& path) {
  // Non-blocking, so that opening a named pipe returns at once.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_BINARY);
  if (fd < 0) throw ImageFileError(IoErrorText(errno));
  FileCloser closer(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) throw ImageFileError(IoErrorText(errno));
  if (!S_ISREG(status.st_mode)) throw ImageFileError(IoErrorText(EACCES));
  if (static_cast<unsigned long long>(status.st_size) > kMaxImageFileSize) {
    throw ImageFileError("Datei zu groß");
  }
  std::string contents;
  char buffer[16384];
  for (;;) {
    const auto count = ::read(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw ImageFileError(IoErrorText(errno));
    }
    if (count == 0) break;
    contents.append(buffer, static_cast<std::size_t>(count));
    // A file that grows while it is read is still refused.
    if (contents.size() > kMaxImageFileSize) throw ImageFileError("Datei zu groß");
  }
  return contents;
}
