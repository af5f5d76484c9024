// FTDI adapters on Linux, through libftdi: the tty that the port names
// is followed through sysfs to its USB device, and when the kernel's FTDI
// driver serves it, the adapter is opened by bus and address. libftdi takes
// the device from that driver while the adapter is held and gives it back
// when it is closed, so that the tty returns after the command.
#include <ftdi.h>

#include <optional>
#include <string>

#include "serial/adapter_seam.h"
#include "serial/tty_facts.h"

struct adapter_seam::Adapter {
  ftdi_context* ftdi = nullptr;
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
  return new Adapter{ftdi};
}

bool SetBaudRate(Adapter* adapter, int baudRate) {
  return ftdi_set_baudrate(adapter->ftdi, baudRate) >= 0;
}

bool Submit(Adapter* adapter, const std::uint8_t* samples, std::size_t count, Transfer& transfer) {
  if (count == 0 || count > kMaxSubmission) return false;
  // libftdi takes a non-const buffer but only reads it when writing.
  ftdi_transfer_control* control = ftdi_write_data_submit(
      adapter->ftdi, const_cast<std::uint8_t*>(samples), static_cast<int>(count));
  transfer = {control, count, control != nullptr};
  return transfer.ok;
}

bool Complete(Adapter* /*adapter*/, Transfer& transfer) {
  auto* control = static_cast<ftdi_transfer_control*>(transfer.token);
  transfer.token = nullptr;
  if (control == nullptr) return false;
  // ftdi_transfer_data_done frees the control.
  return ftdi_transfer_data_done(control) == static_cast<int>(transfer.count);
}

void CloseAdapter(Adapter* adapter) {
  if (adapter == nullptr) return;
  ftdi_set_bitmode(adapter->ftdi, 0, BITMODE_RESET);
  Release(adapter->ftdi);
  delete adapter;
}

}  // namespace adapter_seam
