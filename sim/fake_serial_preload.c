/*
 * A serial device emulated in user space, for tests, benchmarks and demos
 * that must never touch a real port. Loaded with LD_PRELOAD, it takes over
 * the paths listed in FLASH89_FAKE_SERIAL
 * ("path[:fail=N][:busy][:switch_us=N][:break_us=N][:faked_break][:cts=C]
 * [:shifter=Nus][:weak=A][:xtal=MHZ][:fuses=F][:lock=L][:eeprom=FILE]
 * [:user_row=FILE],..."):
 * fail=N fails every line switch after the first N, busy makes the lock
 * held, switch_us=N spins N microseconds in every line switch as a USB
 * adapter takes that long, break_us=N the same for break switches only, and
 * faked_break fakes the break as Linux's ch341 driver does on CH340 chips
 * that cannot hold one: setting it returns at once, clearing it sleeps
 * until the character sent in its place is out (11 bits at 46 baud).
 * cts=C chooses the cable's line back to CTS: none (the default: CTS stays
 * off), miso (CTS on while the chip's data output is high), inverted (CTS
 * on while it is low, as through an inverting level shifter) or rts (RTS
 * looped back, no chip); shifter=N gives the cable's level shifter N
 * microseconds to settle (sim/level_shifter.h); weak=A makes the flash cell
 * at address A (decimal, or hex with 0x) one that does not hold what is
 * written. xtal=MHZ gives the chip its crystal, and fuses=F, lock=L,
 * eeprom=FILE and user_row=FILE its fuses, lock bits, EEPROM and user row
 * when it is first made (sim/chip_options.h).
 *
 * Behind each port sits a chip (sim/chip_model.h, through
 * sim/fake_chip_bridge.h), fed every line switch of this process as it
 * happens, which TIOCMGET reads. Its memories, fuses and lock bits live in
 * the port's shared state below, so a later process reads what an earlier
 * one wrote.
 * Each is backed by a real file: a path that does not exist is an absent
 * port, flock() on it is real (so another process can hold it), and the
 * terminal calls on it (tcgetattr, tcsetattr, TIOCEXCL, modem lines, break)
 * are emulated, on copies made by dup or fcntl too, and fstat shows a
 * character device.
 *
 * A port is followed across processes: under Wine the server process opens
 * it (through a link in the prefix) and sends the descriptor to the program,
 * which switches the lines. So each port's state lives in a file mapped by
 * every process ("PATH.state" beside the backing file) until the backing
 * file is made anew, and a descriptor this process did not open by the
 * port's name is recognised by the file it refers to and "attach"ed.
 *
 * Every call on a fake device is stamped with CLOCK_MONOTONIC and appended
 * by the process that made it to the file named by FLASH89_FAKE_TRACE when
 * it opens, attaches or closes a descriptor of the device and when it ends,
 * one line per call (blocks of several processes interleave: sort by time):
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
#include <sched.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "sim/fake_chip_bridge.h"

#define MAX_DEVICES 8
#define MAX_FDS 4096

/* clang-format off */
enum call {
  CALL_OPEN, CALL_CLOSE, CALL_DUP, CALL_EXCL, CALL_NXCL, CALL_FLOCK, CALL_TCGETATTR, CALL_TCSETATTR,
  CALL_MBIS, CALL_MBIC, CALL_SBRK, CALL_CBRK, CALL_MGET, CALL_OTHER, CALL_ATTACH, CALL_MSET
};
static const char* const call_names[] = {
  "open", "close", "dup", "TIOCEXCL", "TIOCNXCL", "flock", "tcgetattr", "tcsetattr",
  "TIOCMBIS", "TIOCMBIC", "TIOCSBRK", "TIOCCBRK", "TIOCMGET", "ioctl", "attach", "TIOCMSET"
};
/* clang-format on */

struct record {
  int64_t ns;
  int32_t arg;
  int16_t result;
  uint8_t call;
  uint8_t device;
};

/* What every process sees of a port. Changed only under its spin lock,
 * which is held for a few instructions at a time. */
struct port_state {
  atomic_int lock;
  /* The backing file the state belongs to: made anew, it is a new port. */
  dev_t backing_dev;
  ino_t backing_ino;
  struct timespec backing_ctime;
  int initialised; /* settings hold the port's settings */
  long switches;
  int exclusive;
  int modem; /* TIOCM_* bits */
  int in_break;
  struct termios settings;
  int chip_valid; /* chip holds the chip's state; else it is as its options make it */
  uint8_t chip[FAKE_CHIP_STATE_SIZE];
};

/* What the cable brings back to CTS. */
enum cable { CABLE_NONE, CABLE_MISO, CABLE_MISO_INVERTED, CABLE_RTS };

struct device {
  char path[PATH_MAX];
  long fail_after; /* line switches accepted before every later one fails; -1: never */
  int busy;
  long switch_us; /* spun in every line switch */
  long break_us;  /* spun in every break switch; -1: as switch_us */
  int faked_break;
  int64_t break_end_ns;     /* a faked break's character is out */
  struct port_state* state; /* mapped on first use */
  enum cable cable;
  int64_t shifter_ns; /* the level shifter's settling time */
  long weak_cell;     /* -1: none */
  char chip_options[2 * PATH_MAX + 64];
  struct fake_chip* chip; /* this process's, made at its first need */
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static struct device devices[MAX_DEVICES];
static int device_count = -1;          /* -1: configuration not read yet */
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
static int (*real_fstat)(int, struct stat*);
static int (*real_stat)(const char*, struct stat*);

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
  RESOLVE(real_fstat, "fstat");
  RESOLVE(real_stat, "stat");
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
    d->break_us = -1;
    d->weak_cell = -1;
    char* save_option = NULL;
    char* path = strtok_r(entry, ":", &save_option);
    if (!path || !*path) continue;
    snprintf(d->path, sizeof d->path, "%s", path);
    for (char* option = strtok_r(NULL, ":", &save_option); option;
         option = strtok_r(NULL, ":", &save_option)) {
      if (strncmp(option, "fail=", 5) == 0) d->fail_after = strtol(option + 5, NULL, 10);
      if (strcmp(option, "busy") == 0) d->busy = 1;
      if (strncmp(option, "switch_us=", 10) == 0) d->switch_us = strtol(option + 10, NULL, 10);
      if (strncmp(option, "break_us=", 9) == 0) d->break_us = strtol(option + 9, NULL, 10);
      if (strcmp(option, "faked_break") == 0) d->faked_break = 1;
      if (strcmp(option, "cts=miso") == 0) d->cable = CABLE_MISO;
      if (strcmp(option, "cts=inverted") == 0) d->cable = CABLE_MISO_INVERTED;
      if (strcmp(option, "cts=rts") == 0) d->cable = CABLE_RTS;
      if (strcmp(option, "cts=none") == 0) d->cable = CABLE_NONE;
      if (strncmp(option, "shifter=", 8) == 0)
        d->shifter_ns = (int64_t)(strtod(option + 8, NULL) * 1e3);
      if (strncmp(option, "weak=", 5) == 0) d->weak_cell = strtol(option + 5, NULL, 0);
      if (strncmp(option, "xtal=", 5) == 0 || strncmp(option, "fuses=", 6) == 0 ||
          strncmp(option, "lock=", 5) == 0 || strncmp(option, "eeprom=", 7) == 0 ||
          strncmp(option, "user_row=", 9) == 0) {
        const size_t used = strlen(d->chip_options);
        snprintf(d->chip_options + used, sizeof d->chip_options - used, "%s%s", used ? ":" : "",
                 option);
      }
    }
    ++device_count;
  }
  free(copy);
}

/* Called with the lock held: the port's state as every process sees it, or
 * this process's own when no file can hold it. */
static struct port_state* state_of(int device) {
  struct device* d = &devices[device];
  if (d->state) return d->state;
  char name[PATH_MAX + 8];
  snprintf(name, sizeof name, "%s.state", d->path);
  const int fd = real_open(name, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) {
    if (ftruncate(fd, sizeof *d->state) == 0) {
      void* shared = mmap(NULL, sizeof *d->state, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (shared != MAP_FAILED) d->state = shared;
    }
    real_close(fd);
  }
  if (!d->state) d->state = calloc(1, sizeof *d->state);
  return d->state;
}

static struct port_state* lock_port(int device) {
  struct port_state* s = state_of(device);
  while (atomic_exchange_explicit(&s->lock, 1, memory_order_acquire)) sched_yield();
  if (!s->initialised) {
    cfmakeraw(&s->settings);
    cfsetspeed(&s->settings, B38400);
    s->initialised = 1;
  }
  return s;
}

static void unlock_port(struct port_state* s) {
  atomic_store_explicit(&s->lock, 0, memory_order_release);
}

static void add_record_at(int64_t ns, int device, enum call call, int32_t arg, int result) {
  if (record_count == record_capacity) {
    size_t capacity = record_capacity ? record_capacity * 2 : (size_t)1 << 18;
    struct record* grown = realloc(records, capacity * sizeof *grown);
    if (!grown) return;
    records = grown;
    record_capacity = capacity;
  }
  records[record_count++] =
      (struct record){ns, arg, (int16_t)result, (uint8_t)call, (uint8_t)device};
}

static void add_record(int device, enum call call, int32_t arg, int result) {
  add_record_at(now_ns(), device, call, arg, result);
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
    int length =
        snprintf(line, sizeof line, "%lld %s %s %d %d\n", (long long)r->ns, devices[r->device].path,
                 call_names[r->call], (int)r->arg, (int)r->result);
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
static const char* const real_serial_prefixes[] = {"/dev/ttyS",   "/dev/ttyUSB", "/dev/ttyACM",
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

/* Called with the lock held. A port is in use while an open file
 * description of it, in any process, holds a read lock on its first byte;
 * the kernel drops the lock when the description's last descriptor closes,
 * when its process ends too, as a tty forgets TIOCEXCL on its last close. */
static int port_in_use(const char* path) {
  const int probe = real_open(path, O_RDONLY | O_CLOEXEC);
  if (probe < 0) return 0;
  struct flock holder = {.l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = 0, .l_len = 1};
  const int held = real_fcntl(probe, F_OFD_GETLK, &holder) == 0 && holder.l_type != F_UNLCK;
  real_close(probe);
  return held;
}

/* Called with the lock held: fd becomes this process's descriptor of the
 * device; a port that nobody used before starts as a tty does. */
static void use_descriptor(int fd, int device, int in_use) {
  fd_device[fd] = (signed char)(device + 1);
  struct stat backing;
  if (!in_use && real_fstat(fd, &backing) == 0) {
    struct port_state* s = lock_port(device);
    if (s->backing_dev != backing.st_dev || s->backing_ino != backing.st_ino ||
        s->backing_ctime.tv_sec != backing.st_ctim.tv_sec ||
        s->backing_ctime.tv_nsec != backing.st_ctim.tv_nsec) {
      s->backing_dev = backing.st_dev;
      s->backing_ino = backing.st_ino;
      s->backing_ctime = backing.st_ctim;
      s->switches = 0;
      s->in_break = 0;
      s->chip_valid = 0; /* a new port, a new chip */
      cfmakeraw(&s->settings);
      cfsetspeed(&s->settings, B38400);
    }
    s->exclusive = 0;
    s->modem = TIOCM_DTR | TIOCM_RTS; /* as a tty raises them */
    unlock_port(s);
    /* Made anew at its next need, from the state the port holds now. */
    fake_chip_free(devices[device].chip);
    devices[device].chip = NULL;
  }
  struct flock hold = {.l_type = F_RDLCK, .l_whence = SEEK_SET, .l_start = 0, .l_len = 1};
  real_fcntl(fd, F_OFD_SETLK, &hold);
}

/* Called with the lock held: a descriptor of a device that this process
 * did not open by the device's name (opened through a link, or sent by
 * another process) is recognised by the file it refers to. */
static int attach_fd(int fd) {
  struct stat opened, backing;
  if (real_fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return -1;
  read_configuration();
  for (int i = 0; i < device_count; ++i) {
    if (real_stat(devices[i].path, &backing) != 0) continue;
    if (backing.st_dev != opened.st_dev || backing.st_ino != opened.st_ino) continue;
    use_descriptor(fd, i, port_in_use(devices[i].path));
    add_record(i, CALL_ATTACH, fd, 0);
    flush_records();
    return i;
  }
  return -1;
}

/* Called with the lock held. */
static int device_for_fd(int fd) {
  if (fd < 0 || fd >= MAX_FDS) return -1;
  if (fd_device[fd]) return fd_device[fd] - 1;
  return attach_fd(fd);
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
  const int in_use = port_in_use(path);
  struct port_state* s = lock_port(device);
  const int exclusive = s->exclusive;
  unlock_port(s);
  int fd;
  if (exclusive && in_use) {
    errno = EBUSY;
    fd = -1;
  } else {
    /* The backing file is opened as a file: no terminal flags reach it,
     * but it may be created (a test plugs the port in through Wine). */
    fd = real_open(path, (flags & (O_ACCMODE | O_CREAT | O_EXCL | O_TRUNC)) | O_CLOEXEC, mode);
  }
  const int saved = errno;
  if (fd >= 0 && fd < MAX_FDS) use_descriptor(fd, device, in_use);
  add_record(device, CALL_OPEN, flags, fd < 0 ? -saved : 0);
  flush_records();
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
int __openat_2(int dirfd, const char* path, int flags) {
  return open_path(dirfd, path, flags, 0, 1);
}
int __openat64_2(int dirfd, const char* path, int flags) {
  return open_path(dirfd, path, flags, 0, 1);
}

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
  add_record(device, CALL_CLOSE, 0, result);
  flush_records();
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
    fd_device[copy] = (signed char)(device + 1);
    add_record(device, CALL_DUP, copy, 0);
    flush_records();
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
    struct port_state* s = lock_port(device);
    *settings = s->settings;
    unlock_port(s);
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
    struct port_state* s = lock_port(device);
    s->settings = *settings;
    unlock_port(s);
    add_record(device, CALL_TCSETATTR, (int32_t)cfgetospeed(settings), 0);
  }
  pthread_mutex_unlock(&lock);
  if (device >= 0) return 0;
  return real_tcsetattr(fd, when, settings);
}

/* ch341's faked break: one NUL at 46 baud, 11 bit times with a margin. */
#define FAKED_BREAK_NS (11 * 1000000000LL / 46)

static int is_line_switch(unsigned long request) {
  return request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET || request == TIOCSBRK ||
         request == TIOCCBRK;
}

/* Called with the lock held: how long a line switch takes on the device. */
static long switch_cost_us(int device, unsigned long request) {
  const struct device* d = &devices[device];
  if (!is_line_switch(request)) return 0;
  const int is_break = request == TIOCSBRK || request == TIOCCBRK;
  return is_break && d->break_us >= 0 ? d->break_us : d->switch_us;
}

static void spin_us(long us) {
  const int64_t end = now_ns() + (int64_t)us * 1000;
  while (now_ns() < end) {
  }
}

static void sleep_until_ns(int64_t ns) {
  const struct timespec until = {(time_t)(ns / 1000000000), (long)(ns % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) == EINTR) {
  }
}

/* Called with the lock and the port's lock held: this process's chip on
 * the device, made with the port's chip state and its lines as they are now. */
static struct fake_chip* chip_of(int device, struct port_state* s, int64_t ns) {
  struct device* d = &devices[device];
  if (!d->chip) {
    d->chip =
        fake_chip_new(s->chip_valid ? s->chip : NULL, d->weak_cell, d->shifter_ns, d->chip_options);
    fake_chip_switch(d->chip, ns, FAKE_CHIP_RTS, (s->modem & TIOCM_RTS) != 0);
    fake_chip_switch(d->chip, ns, FAKE_CHIP_DTR, (s->modem & TIOCM_DTR) != 0);
    fake_chip_switch(d->chip, ns, FAKE_CHIP_TXD, s->in_break);
  }
  return d->chip;
}

/* Called with the lock and the port's lock held: the lines that a switch
 * changed reach the chip, in the order in which the trace lists them, and
 * a chip state that may have changed is copied to the port's shared state. */
static void feed_chip(struct fake_chip* chip, struct port_state* s, int64_t ns, int modem_before,
                      int break_before) {
  const int changed = modem_before ^ s->modem;
  int programmed = 0;
  if (changed & TIOCM_DTR)
    programmed |= fake_chip_switch(chip, ns, FAKE_CHIP_DTR, (s->modem & TIOCM_DTR) != 0);
  if (changed & TIOCM_RTS)
    programmed |= fake_chip_switch(chip, ns, FAKE_CHIP_RTS, (s->modem & TIOCM_RTS) != 0);
  if (break_before != s->in_break)
    programmed |= fake_chip_switch(chip, ns, FAKE_CHIP_TXD, s->in_break);
  if (programmed && chip) {
    fake_chip_copy_state(chip, s->chip);
    s->chip_valid = 1;
  }
}

/* Called with the lock and the port's lock held: CTS as the cable brings
 * it back. */
static int cts_of(int device, struct port_state* s, int64_t ns) {
  switch (devices[device].cable) {
    case CABLE_MISO: return fake_chip_miso(chip_of(device, s, ns), ns) ? TIOCM_CTS : 0;
    case CABLE_MISO_INVERTED: return fake_chip_miso(chip_of(device, s, ns), ns) ? 0 : TIOCM_CTS;
    case CABLE_RTS: return (s->modem & TIOCM_RTS) ? TIOCM_CTS : 0;
    case CABLE_NONE: break;
  }
  return 0;
}

/* The lines a program can switch; the others are inputs. */
#define OUTPUT_LINES (TIOCM_DTR | TIOCM_RTS)

/* Called with the lock held: one emulated terminal request. A faked
 * break's clear leaves in *sleep_until when the call may return. */
static int device_ioctl(int device, unsigned long request, void* argument, int64_t* sleep_until) {
  struct device* d = &devices[device];
  struct port_state* s = lock_port(device);
  const int64_t ns = now_ns();
  enum call call;
  int32_t arg = 0;
  int result = 0;
  /* clang-format off */
  switch (request) {
    case TIOCEXCL: call = CALL_EXCL; s->exclusive = 1; break;
    case TIOCNXCL: call = CALL_NXCL; s->exclusive = 0; break;
    case TIOCMGET: call = CALL_MGET; arg = s->modem | cts_of(device, s, ns); *(int*)argument = arg; break;
    case TIOCMBIS: call = CALL_MBIS; arg = *(const int*)argument; break;
    case TIOCMBIC: call = CALL_MBIC; arg = *(const int*)argument; break;
    case TIOCMSET: call = CALL_MSET; arg = *(const int*)argument; break;
    case TIOCSBRK: call = CALL_SBRK; break;
    case TIOCCBRK: call = CALL_CBRK; break;
    default: call = CALL_OTHER; arg = (int32_t)request; result = -ENOTTY; break;
  }
  /* clang-format on */
  if (call == CALL_MBIS || call == CALL_MBIC || call == CALL_MSET || call == CALL_SBRK ||
      call == CALL_CBRK) {
    if (d->fail_after >= 0 && s->switches >= d->fail_after) {
      result = -EIO; /* the adapter has gone */
    } else {
      ++s->switches;
      struct fake_chip* chip = chip_of(device, s, ns);
      const int modem_before = s->modem;
      const int break_before = s->in_break;
      if (call == CALL_MBIS) s->modem |= arg & OUTPUT_LINES;
      if (call == CALL_MBIC) s->modem &= ~arg;
      if (call == CALL_MSET) s->modem = arg & OUTPUT_LINES;
      if (call == CALL_SBRK) s->in_break = 1;
      if (call == CALL_CBRK) s->in_break = 0;
      feed_chip(chip, s, ns, modem_before, break_before);
      if (call == CALL_SBRK && d->faked_break) d->break_end_ns = now_ns() + FAKED_BREAK_NS;
      if (call == CALL_CBRK && d->faked_break) *sleep_until = d->break_end_ns;
    }
  }
  unlock_port(s);
  add_record_at(ns, device, call, arg, result);
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
  const long cost_us = device >= 0 ? switch_cost_us(device, request) : 0;
  pthread_mutex_unlock(&lock);
  if (device < 0) return real_ioctl(fd, request, argument);
  /* The time a switch takes is spent outside the lock, as the switch's
   * transfer would be. */
  if (cost_us > 0) spin_us(cost_us);
  int64_t sleep_until = 0;
  pthread_mutex_lock(&lock);
  const int result = device_ioctl(device, request, argument, &sleep_until);
  pthread_mutex_unlock(&lock);
  if (sleep_until > 0) sleep_until_ns(sleep_until);
  if (result < 0) {
    errno = -result;
    return -1;
  }
  return 0;
}

/* A fake device is a character device, as Wine's server checks before it
 * takes a file for a serial port. */
static int stat_result(int fd, struct stat* st, int result) {
  if (result != 0) return result;
  const int saved = errno;
  pthread_mutex_lock(&lock);
  const int device = device_for_fd(fd);
  pthread_mutex_unlock(&lock);
  if (device >= 0) {
    st->st_mode = (st->st_mode & ~(mode_t)S_IFMT) | S_IFCHR;
    st->st_rdev = makedev(4, 64 + device); /* where the kernel numbers ttyS */
  }
  errno = saved;
  return result;
}

int fstat(int fd, struct stat* st) {
  resolve_real_functions();
  return stat_result(fd, st, real_fstat(fd, st));
}

int fstat64(int fd, struct stat64* st) {
  resolve_real_functions();
  return stat_result(fd, (struct stat*)st, real_fstat(fd, (struct stat*)st));
}
