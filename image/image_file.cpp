#include "image/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "image/image_error.h"

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

}  // namespace

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

std::string ReadImageFile(const std::string& path) {
  const int fd = OpenForReading(path);
  if (fd < 0) throw ImageFileError(IoErrorText(errno));
  FileCloser closer(fd);
  long long size = 0;
  bool regular = false;
  if (!StatFile(fd, size, regular)) throw ImageFileError(IoErrorText(errno));
  if (!regular) throw ImageFileError(IoErrorText(EACCES));
  if (static_cast<unsigned long long>(size) > kMaxImageFileSize)
    throw ImageFileError("Datei zu groß");
  std::string contents;
  char buffer[16384];
  for (;;) {
    const long count = ReadSome(fd, buffer, sizeof buffer);
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
