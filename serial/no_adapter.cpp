// For programs built without an adapter library: every port is serial.
#include "serial/adapter_seam.h"

namespace adapter_seam {

bool IsAdapter(std::string_view /*deviceName*/) { return false; }

Adapter* OpenAdapter(const char* /*mode*/, std::uint8_t /*outputPins*/,
                     device_seam::Handle& /*serialHandle*/) {
  return nullptr;
}

bool SetBaudRate(Adapter* /*adapter*/, int /*baudRate*/) { return false; }

bool StartReadingPins(Adapter* /*adapter*/) { return false; }

bool Submit(Adapter* /*adapter*/, const std::uint8_t* /*samples*/, std::size_t /*count*/,
            std::uint8_t* /*readings*/, Transfer& /*transfer*/) {
  return false;
}

bool Complete(Adapter* /*adapter*/, Transfer& /*transfer*/) { return false; }

void CloseAdapter(Adapter* /*adapter*/) {}

}  // namespace adapter_seam
