// The libftdi functions that flash89 calls, over the fake adapters. Test
// programs link this in place of libftdi, so that no libftdi and no libusb
// is in their process, and no USB device can be reached from it.
#include <ftdi.h>

#include <new>

#include "sim/fake_ftdi_device.h"

namespace {

// The context comes first, so that a pointer to it is one to the whole.
struct FakeContext {
  ftdi_context context;
  int adapter = -1;
  int channel = 0;
};

struct FakeTransfer {
  ftdi_transfer_control control;
  int adapter = -1;
  long number = -1;
};

FakeContext* Fake(ftdi_context* ftdi) { return reinterpret_cast<FakeContext*>(ftdi); }

// The control of the fake adapter's transfer number, or null when there is none.
ftdi_transfer_control* Control(ftdi_context* ftdi, unsigned char* buf, int size, long number) {
  if (number < 0) return nullptr;
  auto* transfer = new (std::nothrow) FakeTransfer{};
  if (transfer == nullptr) return nullptr;
  transfer->control.buf = buf;
  transfer->control.size = size;
  transfer->control.ftdi = ftdi;
  transfer->adapter = Fake(ftdi)->adapter;
  transfer->number = number;
  return &transfer->control;
}

int Failure(ftdi_context* ftdi, int code, const char* what) {
  ftdi->error_str = what;
  return code;
}

}  // namespace

extern "C" {

ftdi_context* ftdi_new(void) {
  auto* fake = new (std::nothrow) FakeContext{};
  if (fake == nullptr) return nullptr;
  fake->context.module_detach_mode = AUTO_DETACH_SIO_MODULE;
  fake->context.writebuffer_chunksize = 4096;
  fake->context.type = TYPE_R;
  return &fake->context;
}

void ftdi_free(ftdi_context* ftdi) {
  if (ftdi == nullptr) return;
  ftdi_usb_close(ftdi);
  delete Fake(ftdi);
}

int ftdi_set_interface(ftdi_context* ftdi, enum ftdi_interface interface) {
  if (ftdi == nullptr) return -2;
  if (Fake(ftdi)->adapter >= 0)
    return Failure(ftdi, -3, "Interface can not be changed on an already open device");
  switch (interface) {
    case INTERFACE_ANY:
    case INTERFACE_A: Fake(ftdi)->channel = 0; return 0;
    case INTERFACE_B: Fake(ftdi)->channel = 1; return 0;
    case INTERFACE_C: Fake(ftdi)->channel = 2; return 0;
    case INTERFACE_D: Fake(ftdi)->channel = 3; return 0;
  }
  return Failure(ftdi, -1, "Unknown interface");
}

int ftdi_usb_open_bus_addr(ftdi_context* ftdi, uint8_t bus, uint8_t addr) {
  if (ftdi == nullptr) return -11;
  const int adapter = fake_ftdi::FindAdapter(bus, addr);
  if (adapter < 0) return Failure(ftdi, -3, "device not found");
  const bool detach = ftdi->module_detach_mode != DONT_DETACH_SIO_MODULE;
  if (!fake_ftdi::Open(adapter, Fake(ftdi)->channel, detach)) {
    return Failure(ftdi, -5, "unable to claim usb device");
  }
  Fake(ftdi)->adapter = adapter;
  ftdi->usb_dev = reinterpret_cast<libusb_device_handle*>(Fake(ftdi));
  return 0;
}

int ftdi_usb_close(ftdi_context* ftdi) {
  if (ftdi == nullptr || Fake(ftdi)->adapter < 0) return 0;
  fake_ftdi::Close(Fake(ftdi)->adapter, ftdi->module_detach_mode == AUTO_DETACH_REATACH_SIO_MODULE);
  Fake(ftdi)->adapter = -1;
  ftdi->usb_dev = nullptr;
  return 0;
}

int ftdi_set_bitmode(ftdi_context* ftdi, unsigned char bitmask, unsigned char mode) {
  if (ftdi == nullptr || Fake(ftdi)->adapter < 0) return -2;
  if (!fake_ftdi::SetBitMode(Fake(ftdi)->adapter, bitmask, mode)) {
    return Failure(ftdi, -1, "unable to configure bitbang mode");
  }
  ftdi->bitbang_enabled = mode != BITMODE_RESET;
  ftdi->bitbang_mode = mode;
  return 0;
}

int ftdi_set_baudrate(ftdi_context* ftdi, int baudrate) {
  if (ftdi == nullptr || Fake(ftdi)->adapter < 0) return -3;
  if (!fake_ftdi::SetBaudRate(Fake(ftdi)->adapter, baudrate)) {
    return Failure(ftdi, -2, "Setting new baudrate failed");
  }
  ftdi->baudrate = baudrate;
  return 0;
}

ftdi_transfer_control* ftdi_write_data_submit(ftdi_context* ftdi, unsigned char* buf, int size) {
  if (ftdi == nullptr || Fake(ftdi)->adapter < 0 || size <= 0) return nullptr;
  // libftdi would split a larger submission into chunks, each sent once the
  // one before is done, and two submissions under way would interleave.
  if (size > static_cast<int>(ftdi->writebuffer_chunksize)) {
    fake_ftdi::RefuseSubmission(Fake(ftdi)->adapter);
    return nullptr;
  }
  const long number = fake_ftdi::Submit(Fake(ftdi)->adapter, buf, static_cast<std::size_t>(size));
  return Control(ftdi, buf, size, number);
}

int ftdi_set_latency_timer(ftdi_context* ftdi, unsigned char latency) {
  if (ftdi == nullptr || Fake(ftdi)->adapter < 0) return -3;
  return latency == 0 ? Failure(ftdi, -1, "latency out of range. Only valid for 1-255") : 0;
}

int ftdi_tciflush(ftdi_context* ftdi) {
  if (ftdi == nullptr || Fake(ftdi)->adapter < 0) return -3;
  fake_ftdi::DropReadings(Fake(ftdi)->adapter);
  return 0;
}

ftdi_transfer_control* ftdi_read_data_submit(ftdi_context* ftdi, unsigned char* buf, int size) {
  if (ftdi == nullptr || Fake(ftdi)->adapter < 0 || size <= 0) return nullptr;
  const long number =
      fake_ftdi::SubmitReading(Fake(ftdi)->adapter, buf, static_cast<std::size_t>(size));
  return Control(ftdi, buf, size, number);
}

void ftdi_transfer_data_cancel(ftdi_transfer_control* tc, timeval* /*to*/) {
  delete reinterpret_cast<FakeTransfer*>(tc);
}

int ftdi_transfer_data_done(ftdi_transfer_control* tc) {
  if (tc == nullptr) return -1;
  auto* transfer = reinterpret_cast<FakeTransfer*>(tc);
  const long result = fake_ftdi::WaitForTransfer(transfer->adapter, transfer->number);
  delete transfer;
  return static_cast<int>(result);
}

const char* ftdi_get_error_string(ftdi_context* ftdi) {
  return ftdi != nullptr && ftdi->error_str != nullptr ? ftdi->error_str : "";
}

}  // extern "C"
