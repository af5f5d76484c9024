// Ports by the names users give them, and the ports the system has.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The mode string of a port by the name the user gives it: "COM7" is
// "COM7:9600,N,8,1" like the window's, COM10 and up are in the device
// namespace ("\\.\COM12:9600,N,8,1"), a path is as given
// ("/dev/ttyUSB0:9600,N,8,1").
std::string ModeStringForPort(std::string_view portName);

// The driver behind the port that the mode string names, where the platform
// can tell ("ch341"); empty otherwise.
std::string PortDriverName(std::string_view mode);

// A serial port present on the system, found without opening it.
struct PresentPort {
  std::string name;      // as a port choice names it: "/dev/ttyUSB0", "COM3"
  std::string driver;    // empty when the platform does not name it
  bool adapter = false;  // an FTDI adapter whose lines bit-bang can drive
};
std::vector<PresentPort> PresentPorts();
