#include "image/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int OpenForReading(const std::string& path) { return ::_open(path.c_str(), _O_RDONLY | _O_BINARY); }
long ReadSome(int fd, char* buffer, unsigned size) { return ::_read(fd, buffer, size); }
void CloseFile(int fd) { ::_close(fd); }
bool StatFile(int fd, long long& size, bool& regular) {
  struct _stat64 status {};
  if (::_fstat64(fd, &status) != 0) return false;
  size = status.st_size;
  regular = (status.st_mode & _S_IFMT) == _S_IFREG;
  return true;
}
#else
// Non-blocking, so that opening a named pipe returns at once.
int OpenForReading(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}
long ReadSome(int fd, char* buffer, unsigned size) { return ::read(fd, buffer, size); }
void CloseFile(int fd) { ::close(fd); }
bool StatFile(int fd, long long& size, bool& regular) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return false;
  size = status.st_size;
  regular = S_ISREG(status.st_mode);
  return true;
}
#endif

class FileCloser {
 public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser() { CloseFile(fd_); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  int fd_;
};

ImageFault FileError(int errorNumber) {
  return {.kind = ImageFaultKind::FileError, .errorNumber = errorNumber};
}

const ImageFault kFileTooLarge{.kind = ImageFaultKind::FileTooLarge};

}  // namespace

Checked<std::string> ReadImageFile(const std::string& path) {
  const int fd = OpenForReading(path);
  if (fd < 0) return FileError(errno);
  FileCloser closer(fd);
  long long size = 0;
  bool regular = false;
  if (!StatFile(fd, size, regular)) return FileError(errno);
  if (!regular) return FileError(EACCES);
  if (static_cast<unsigned long long>(size) > kMaxImageFileSize) return kFileTooLarge;
  std::string contents;
  char buffer[16384];
  for (;;) {
    const long count = ReadSome(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      return FileError(errno);
    }
    if (count == 0) break;
    contents.append(buffer, static_cast<std::size_t>(count));
    // A file that grows while it is read is still refused.
    if (contents.size() > kMaxImageFileSize) return kFileTooLarge;
  }
  return contents;
}
