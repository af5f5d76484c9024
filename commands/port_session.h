// The session of every command: the port that the port choice names is
// opened, given its line driver and checked at the start, and closed at the
// end, whatever happens in between; a port lost midway ends the command
// with the lines released.
#pragma once

#include <optional>
#include <string>

#include "commands/fault.h"
#include "commands/line_check.h"
#include "isp/isp.h"
#include "serial/rezero.h"

class PortSession {
 public:
  // Opens the port, chooses its line driver once (an FTDI adapter where the
  // port belongs to one) and checks that it can carry the waveform
  // (CheckLine). A port that does not open, or cannot, is closed again at
  // once, before the chip is reset. The port as the user named it: "COM2",
  // "COM12", "/dev/ttyUSB0".
  explicit PortSession(const std::string& portName);
  ~PortSession();
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;

  // A fault of this port, named as the session was given it.
  PortFault FaultOf(PortFaultKind kind) const { return PortFault{kind, portName_}; }

  // Why the port cannot be used, or nothing.
  std::optional<Fault> Unusable() const { return unusable_; }

  // What a switch costs on the port, as the check measured it.
  const LineCost& Cost() const { return cost_; }

  // Runs a programming sequence. When the port is lost midway, the lines
  // are released as far as they still can be, and the fault says so. A
  // cancel stops it before its next instruction, with the lines released;
  // one requested before it starts lets it switch nothing.
  template <class Sequence>
  std::optional<Fault> Program(Sequence&& sequence) {
    if (CancelRequested()) return FaultOf(PortFaultKind::Cancelled);
    try {
      sequence();
      if (LineLostSinceOpen()) throw LineLost{};
    } catch (const LineLost&) {
      FinishProgramming();
      return FaultOf(PortFaultKind::LineLost);
    } catch (const Cancelled&) {
      FinishProgramming();
      return FaultOf(PortFaultKind::Cancelled);
    } catch (...) {
      FinishProgramming();
      throw;
    }
    return std::nullopt;
  }

 private:
  void Open(const std::string& mode);

  std::string portName_;
  bool held_ = false;
  LineCost cost_;
  std::optional<Fault> unusable_;
};
