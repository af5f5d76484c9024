// FTDI adapters on Linux, through libftdi: the tty that the port names
// is followed through sysfs to its USB device, and when the kernel's FTDI
// driver serves it, the adapter is opened by bus and address. libftdi takes
// the device from that driver while the adapter is held and gives it back
// when it is closed, so that the tty returns after the command.
#include <ftdi.h>
#include <sys/time.h>

#include <optional>
#include <string>

#include "serial/adapter_seam.h"
#include "serial/tty_facts.h"

struct adapter_seam::Adapter {
  ftdi_context* ftdi = nullptr;
  std::uint8_t outputPins = 0;
};

namespace adapter_seam {
namespace {

std::optional<tty_facts::UsbSerialLocation> FtdiBehind(std::string_view deviceName) {
  const std::string path = tty_facts::PortDevicePath(deviceName);
  if (path.empty()) return std::nullopt;
  auto location = tty_facts::LocateUsbSerial(path, tty_facts::SysfsRoot());
  if (!location || location->driver != tty_facts::kFtdiDriver) return std::nullopt;
  // INTERFACE_A to INTERFACE_D: the channels of FT2232 and FT4232 chips.
  if (location->interfaceNumber < 0 || location->interfaceNumber > 3) return std::nullopt;
  return location;
}

void Release(ftdi_context* ftdi) {
  ftdi_usb_close(ftdi);
  ftdi_free(ftdi);
}

}  // namespace

bool IsAdapter(std::string_view deviceName) { return FtdiBehind(deviceName).has_value(); }

Adapter* OpenAdapter(const char* mode, std::uint8_t outputPins,
                     device_seam::Handle& /*serialHandle: kept, its tty just goes quiet*/) {
  const auto location = FtdiBehind(device_seam::ModeDevice(mode));
  if (!location) return nullptr;
  ftdi_context* ftdi = ftdi_new();
  if (ftdi == nullptr) return nullptr;
  ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
  const auto channel = static_cast<ftdi_interface>(INTERFACE_A + location->interfaceNumber);
  if (ftdi_set_interface(ftdi, channel) < 0 ||
      ftdi_usb_open_bus_addr(ftdi, static_cast<std::uint8_t>(location->bus),
                             static_cast<std::uint8_t>(location->address)) < 0) {
    // No permission (see the udev rule), or gone: the serial path serves.
    ftdi_free(ftdi);
    return nullptr;
  }
  if (ftdi_set_bitmode(ftdi, outputPins, BITMODE_BITBANG) < 0) {
    Release(ftdi);
    return nullptr;
  }
  return new Adapter{ftdi, outputPins};
}

bool SetBaudRate(Adapter* adapter, int baudRate) {
  return ftdi_set_baudrate(adapter->ftdi, baudRate) >= 0;
}

// The readings come back in USB packets that the adapter sends when they
// are full or its latency timer runs out: at 1 ms, the last readings of a
// page do not wait the default 16 ms. Whatever the adapter had to send
// before is dropped, so that the first reading is the first sample's.
bool StartReadingPins(Adapter* adapter) {
  return ftdi_set_latency_timer(adapter->ftdi, 1) >= 0 &&
         ftdi_set_bitmode(adapter->ftdi, adapter->outputPins, BITMODE_SYNCBB) >= 0 &&
         ftdi_tciflush(adapter->ftdi) >= 0;
}

// The readings are asked for first: the adapter clocks out no sample while
// it has no room for its reading.
bool Submit(Adapter* adapter, const std::uint8_t* samples, std::size_t count,
            std::uint8_t* readings, Transfer& transfer) {
  if (count == 0 || count > kMaxSubmission) return false;
  transfer = {nullptr, nullptr, count, false};
  if (readings != nullptr) {
    transfer.readingToken = ftdi_read_data_submit(adapter->ftdi, readings, static_cast<int>(count));
    if (transfer.readingToken == nullptr) return false;
  }
  // libftdi takes a non-const buffer but only reads it when writing.
  transfer.token = ftdi_write_data_submit(adapter->ftdi, const_cast<std::uint8_t*>(samples),
                                          static_cast<int>(count));
  transfer.ok = transfer.token != nullptr;
  if (!transfer.ok && transfer.readingToken != nullptr) {
    // No sample goes out, so no reading comes back: the control is freed.
    timeval at_once{};
    ftdi_transfer_data_cancel(static_cast<ftdi_transfer_control*>(transfer.readingToken), &at_once);
    transfer.readingToken = nullptr;
  }
  return transfer.ok;
}

namespace {

// ftdi_transfer_data_done frees the control.
bool Done(void*& token, std::size_t count) {
  auto* control = static_cast<ftdi_transfer_control*>(token);
  token = nullptr;
  return control != nullptr && ftdi_transfer_data_done(control) == static_cast<int>(count);
}

}  // namespace

bool Complete(Adapter* /*adapter*/, Transfer& transfer) {
  const bool written = Done(transfer.token, transfer.count);
  const bool read = transfer.readingToken == nullptr || Done(transfer.readingToken, transfer.count);
  return written && read;
}

void CloseAdapter(Adapter* adapter) {
  if (adapter == nullptr) return;
  ftdi_set_bitmode(adapter->ftdi, 0, BITMODE_RESET);
  Release(adapter->ftdi);
  delete adapter;
}

}  // namespace adapter_seam
