/*
 * A serial device emulated in user space, for tests, benchmarks and demos
 * that must never touch a real port. Loaded with LD_PRELOAD, it takes over
 * the paths listed in FLASH89_FAKE_SERIAL ("path[:fail=N][:busy],...").
 * Each is backed by a real file: a path that does not exist is an absent
 * port, flock() on it is real (so another process can hold it), and the
 * terminal calls on it (tcgetattr, tcsetattr, TIOCEXCL, modem lines, break)
 * are emulated, on copies made by dup or fcntl too. Every call on a fake device is stamped with CLOCK_MONOTONIC
 * and appended to the file named by FLASH89_FAKE_TRACE when the device is
 * closed and when the process ends, one line per call:
 *   <ns> <path> <call> <argument> <result>
 * Real serial devices (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*, /dev/ttyAMA*,
 * /dev/rfcomm*, /dev/serial/..., /dev/console) are refused, never opened.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define MAX_DEVICES 8
#define MAX_FDS 4096

enum call {
  CALL_OPEN, CALL_CLOSE, CALL_DUP, CALL_EXCL, CALL_NXCL, CALL_FLOCK, CALL_TCGETATTR, CALL_TCSETATTR,
  CALL_MBIS, CALL_MBIC, CALL_SBRK, CALL_CBRK, CALL_MGET, CALL_OTHER
};
static const char* const call_names[] = {
  "open", "close", "dup", "TIOCEXCL", "TIOCNXCL", "flock", "tcgetattr", "tcsetattr",
  "TIOCMBIS", "TIOCMBIC", "TIOCSBRK", "TIOCCBRK", "TIOCMGET", "ioctl"
};

struct record {
  int64_t ns;
  int32_t arg;
  int16_t result;
  uint8_t call;
  uint8_t device;
};

struct device {
  char path[PATH_MAX];
  long fail_after; /* line switches accepted before every later one fails; -1: never */
  long switches;
  int busy;
  int exclusive;
  int open_count;
  int modem; /* TIOCM_* bits */
  int in_break;
  struct termios settings;
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static struct device devices[MAX_DEVICES];
static int device_count = -1; /* -1: configuration not read yet */
static signed char fd_device[MAX_FDS]; /* device index + 1, 0 for other descriptors */
static struct record* records;
static size_t record_count, record_capacity;

static int (*real_open)(const char*, int, ...);
static int (*real_openat)(int, const char*, int, ...);
static int (*real_close)(int);
static int (*real_ioctl)(int, unsigned long, ...);
static int (*real_flock)(int, int);
static int (*real_fcntl)(int, int, ...);
static int (*real_dup)(int);
static int (*real_dup2)(int, int);
static int (*real_dup3)(int, int, int);
static int (*real_tcgetattr)(int, struct termios*);
static int (*real_tcsetattr)(int, int, const struct termios*);

/* dlsym returns an object pointer; copying it keeps ISO C content. */
#define RESOLVE(function, name)                  \
  do {                                           \
    void* symbol = dlsym(RTLD_NEXT, name);       \
    memcpy(&(function), &symbol, sizeof symbol); \
  } while (0)

static void resolve_real_functions(void) {
  if (real_open) return;
  RESOLVE(real_openat, "openat");
  RESOLVE(real_close, "close");
  RESOLVE(real_ioctl, "ioctl");
  RESOLVE(real_flock, "flock");
  RESOLVE(real_fcntl, "fcntl");
  RESOLVE(real_dup, "dup");
  RESOLVE(real_dup2, "dup2");
  RESOLVE(real_dup3, "dup3");
  RESOLVE(real_tcgetattr, "tcgetattr");
  RESOLVE(real_tcsetattr, "tcsetattr");
  RESOLVE(real_open, "open");
}

static int64_t now_ns(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

/* Called with the lock held. */
static void read_configuration(void) {
  if (device_count >= 0) return;
  device_count = 0;
  const char* list = getenv("FLASH89_FAKE_SERIAL");
  if (!list) return;
  char* copy = strdup(list);
  char* save_entry = NULL;
  for (char* entry = strtok_r(copy, ",", &save_entry); entry && device_count < MAX_DEVICES;
       entry = strtok_r(NULL, ",", &save_entry)) {
    struct device* d = &devices[device_count];
    memset(d, 0, sizeof *d);
    d->fail_after = -1;
    char* save_option = NULL;
    char* path = strtok_r(entry, ":", &save_option);
    if (!path || !*path) continue;
    snprintf(d->path, sizeof d->path, "%s", path);
    for (char* option = strtok_r(NULL, ":", &save_option); option;
         option = strtok_r(NULL, ":", &save_option)) {
      if (strncmp(option, "fail=", 5) == 0) d->fail_after = strtol(option + 5, NULL, 10);
      if (strcmp(option, "busy") == 0) d->busy = 1;
    }
    cfmakeraw(&d->settings);
    cfsetspeed(&d->settings, B38400);
    ++device_count;
  }
  free(copy);
}

static void add_record(int device, enum call call, int32_t arg, int result) {
  if (record_count == record_capacity) {
    size_t capacity = record_capacity ? record_capacity * 2 : (size_t)1 << 18;
    struct record* grown = realloc(records, capacity * sizeof *grown);
    if (!grown) return;
    records = grown;
    record_capacity = capacity;
  }
  records[record_count++] = (struct record){now_ns(), arg, (int16_t)result, (uint8_t)call, (uint8_t)device};
}

/* Called with the lock held. */
static void flush_records(void) {
  const char* trace = getenv("FLASH89_FAKE_TRACE");
  if (!trace || record_count == 0) {
    record_count = 0;
    return;
  }
  resolve_real_functions();
  int out = real_open(trace, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (out < 0) return;
  char line[PATH_MAX + 96];
  for (size_t i = 0; i < record_count; ++i) {
    const struct record* r = &records[i];
    int length = snprintf(line, sizeof line, "%lld %s %s %d %d\n", (long long)r->ns,
                          devices[r->device].path, call_names[r->call], (int)r->arg, (int)r->result);
    if (length > 0 && write(out, line, (size_t)length) < 0) break;
  }
  real_close(out);
  record_count = 0;
}

static void __attribute__((destructor)) flush_at_exit(void) {
  pthread_mutex_lock(&lock);
  flush_records();
  pthread_mutex_unlock(&lock);
}

/* Built-in ports, USB adapters (serial and modem class), the serial ports
 * of ARM boards, Bluetooth serial links, and the console. */
static const char* const real_serial_prefixes[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM",
                                                   "/dev/ttyAMA", "/dev/rfcomm", "/dev/serial/"};

static int is_real_serial_name(const char* name) {
  if (strcmp(name, "/dev/console") == 0) return 1;
  for (size_t i = 0; i < sizeof real_serial_prefixes / sizeof *real_serial_prefixes; ++i) {
    if (strncmp(name, real_serial_prefixes[i], strlen(real_serial_prefixes[i])) == 0) return 1;
  }
  return 0;
}

static int is_real_serial_device(const char* path) {
  char resolved[PATH_MAX];
  return is_real_serial_name(path) || (realpath(path, resolved) && is_real_serial_name(resolved));
}

/* Called with the lock held. */
static int device_for_path(const char* path) {
  read_configuration();
  for (int i = 0; i < device_count; ++i) {
    if (strcmp(devices[i].path, path) == 0) return i;
  }
  return -1;
}

/* Called with the lock held. */
static int device_for_fd(int fd) {
  if (fd < 0 || fd >= MAX_FDS) return -1;
  return fd_device[fd] - 1;
}

static int open_path(int dirfd, const char* path, int flags, mode_t mode, int with_dir) {
  resolve_real_functions();
  if (path && is_real_serial_device(path)) {
    static int warned;
    if (!warned++) fprintf(stderr, "fake serial: refusing to open the real device %s\n", path);
    errno = EACCES;
    return -1;
  }
  pthread_mutex_lock(&lock);
  const int device = path ? device_for_path(path) : -1;
  pthread_mutex_unlock(&lock);
  if (device < 0) {
    return with_dir ? real_openat(dirfd, path, flags, mode) : real_open(path, flags, mode);
  }
  pthread_mutex_lock(&lock);
  struct device* d = &devices[device];
  int fd;
  if (d->exclusive && d->open_count > 0) {
    errno = EBUSY;
    fd = -1;
  } else {
    /* The backing file is opened as a file: no terminal flags reach it. */
    fd = real_open(path, (flags & O_ACCMODE) | O_CLOEXEC);
  }
  const int saved = errno;
  add_record(device, CALL_OPEN, flags, fd < 0 ? -saved : 0);
  if (fd >= 0 && fd < MAX_FDS) {
    fd_device[fd] = (signed char)(device + 1);
    if (d->open_count++ == 0) d->modem = TIOCM_DTR | TIOCM_RTS; /* as a tty raises them */
  }
  pthread_mutex_unlock(&lock);
  errno = saved;
  return fd;
}

static mode_t mode_argument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(arguments, int) : 0;
}

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return open_path(AT_FDCWD, path, flags, mode, 0);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return open_path(AT_FDCWD, path, flags, mode, 0);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return open_path(dirfd, path, flags, mode, 1);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return open_path(dirfd, path, flags, mode, 1);
}

int __open_2(const char* path, int flags) { return open_path(AT_FDCWD, path, flags, 0, 0); }
int __open64_2(const char* path, int flags) { return open_path(AT_FDCWD, path, flags, 0, 0); }
int __openat_2(int dirfd, const char* path, int flags) { return open_path(dirfd, path, flags, 0, 1); }
int __openat64_2(int dirfd, const char* path, int flags) { return open_path(dirfd, path, flags, 0, 1); }

int close(int fd) {
  resolve_real_functions();
  pthread_mutex_lock(&lock);
  const int device = device_for_fd(fd);
  if (device < 0) {
    pthread_mutex_unlock(&lock);
    return real_close(fd);
  }
  fd_device[fd] = 0;
  const int result = real_close(fd);
  struct device* d = &devices[device];
  add_record(device, CALL_CLOSE, 0, result);
  if (--d->open_count == 0) {
    d->exclusive = 0;
    flush_records();
  }
  pthread_mutex_unlock(&lock);
  return result;
}

/* A copy of a fake device's descriptor is the same device. */
static int track_copy(int original, int copy) {
  if (copy < 0) return copy;
  const int saved = errno;
  pthread_mutex_lock(&lock);
  const int device = device_for_fd(original);
  if (device >= 0 && copy < MAX_FDS && copy != original) {
    const int replaced = device_for_fd(copy);
    if (replaced >= 0) --devices[replaced].open_count;
    fd_device[copy] = (signed char)(device + 1);
    ++devices[device].open_count;
    add_record(device, CALL_DUP, copy, 0);
  }
  pthread_mutex_unlock(&lock);
  errno = saved;
  return copy;
}

static int fcntl_call(int fd, int command, unsigned long argument) {
  resolve_real_functions();
  const int result = real_fcntl(fd, command, argument);
  if (command == F_DUPFD || command == F_DUPFD_CLOEXEC) return track_copy(fd, result);
  return result;
}

int fcntl(int fd, int command, ...) {
  va_list arguments;
  va_start(arguments, command);
  const unsigned long argument = va_arg(arguments, unsigned long);
  va_end(arguments);
  return fcntl_call(fd, command, argument);
}

int fcntl64(int fd, int command, ...) {
  va_list arguments;
  va_start(arguments, command);
  const unsigned long argument = va_arg(arguments, unsigned long);
  va_end(arguments);
  return fcntl_call(fd, command, argument);
}

int dup(int fd) {
  resolve_real_functions();
  return track_copy(fd, real_dup(fd));
}

int dup2(int fd, int copy) {
  resolve_real_functions();
  return track_copy(fd, real_dup2(fd, copy));
}

int dup3(int fd, int copy, int flags) {
  resolve_real_functions();
  return track_copy(fd, real_dup3(fd, copy, flags));
}

int flock(int fd, int operation) {
  resolve_real_functions();
  pthread_mutex_lock(&lock);
  const int device = device_for_fd(fd);
  pthread_mutex_unlock(&lock);
  if (device < 0) return real_flock(fd, operation);
  int result;
  if (devices[device].busy && (operation & (LOCK_EX | LOCK_SH))) {
    errno = EWOULDBLOCK;
    result = -1;
  } else {
    result = real_flock(fd, operation);
  }
  const int saved = errno;
  pthread_mutex_lock(&lock);
  add_record(device, CALL_FLOCK, operation, result < 0 ? -saved : 0);
  pthread_mutex_unlock(&lock);
  errno = saved;
  return result;
}

int tcgetattr(int fd, struct termios* settings) {
  resolve_real_functions();
  pthread_mutex_lock(&lock);
  const int device = device_for_fd(fd);
  if (device >= 0) {
    *settings = devices[device].settings;
    add_record(device, CALL_TCGETATTR, 0, 0);
  }
  pthread_mutex_unlock(&lock);
  if (device >= 0) return 0;
  return real_tcgetattr(fd, settings);
}

int tcsetattr(int fd, int when, const struct termios* settings) {
  resolve_real_functions();
  pthread_mutex_lock(&lock);
  const int device = device_for_fd(fd);
  if (device >= 0) {
    devices[device].settings = *settings;
    add_record(device, CALL_TCSETATTR, (int32_t)cfgetospeed(settings), 0);
  }
  pthread_mutex_unlock(&lock);
  if (device >= 0) return 0;
  return real_tcsetattr(fd, when, settings);
}

/* Called with the lock held: one emulated terminal request. */
static int device_ioctl(int device, unsigned long request, void* argument) {
  struct device* d = &devices[device];
  enum call call;
  int32_t arg = 0;
  int result = 0;
  switch (request) {
    case TIOCEXCL: call = CALL_EXCL; d->exclusive = 1; break;
    case TIOCNXCL: call = CALL_NXCL; d->exclusive = 0; break;
    case TIOCMGET: call = CALL_MGET; *(int*)argument = d->modem; arg = d->modem; break;
    case TIOCMBIS: call = CALL_MBIS; arg = *(const int*)argument; break;
    case TIOCMBIC: call = CALL_MBIC; arg = *(const int*)argument; break;
    case TIOCSBRK: call = CALL_SBRK; break;
    case TIOCCBRK: call = CALL_CBRK; break;
    default: call = CALL_OTHER; arg = (int32_t)request; result = -ENOTTY; break;
  }
  if (call == CALL_MBIS || call == CALL_MBIC || call == CALL_SBRK || call == CALL_CBRK) {
    if (d->fail_after >= 0 && d->switches >= d->fail_after) {
      result = -EIO; /* the adapter has gone */
    } else {
      ++d->switches;
      if (call == CALL_MBIS) d->modem |= arg;
      if (call == CALL_MBIC) d->modem &= ~arg;
      if (call == CALL_SBRK) d->in_break = 1;
      if (call == CALL_CBRK) d->in_break = 0;
    }
  }
  add_record(device, call, arg, result);
  return result;
}

int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  resolve_real_functions();
  pthread_mutex_lock(&lock);
  const int device = device_for_fd(fd);
  int result = 0;
  if (device >= 0) result = device_ioctl(device, request, argument);
  pthread_mutex_unlock(&lock);
  if (device < 0) return real_ioctl(fd, request, argument);
  if (result < 0) {
    errno = -result;
    return -1;
  }
  return 0;
}
