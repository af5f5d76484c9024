#include "sim/trace_file.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

// Linux's TIOCM_DTR and TIOCM_RTS: the fake device writes its trace there.
constexpr int kDtrBit = 0x002;
constexpr int kRtsBit = 0x004;

}  // namespace

std::vector<TraceRecord> ReadTrace(const std::string& path) {
  std::vector<TraceRecord> trace;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    TraceRecord record;
    if (fields >> record.ns >> record.device >> record.call >> record.argument >> record.result) {
      trace.push_back(std::move(record));
    }
  }
  // Each process appends its calls in blocks: put them back in time order.
  std::stable_sort(trace.begin(), trace.end(),
                   [](const TraceRecord& a, const TraceRecord& b) { return a.ns < b.ns; });
  return trace;
}

std::vector<LineEvent> LineEventsOf(const std::vector<TraceRecord>& trace,
                                    const std::string& device) {
  std::vector<LineEvent> events;
  for (const TraceRecord& record : trace) {
    if (record.device != device || record.result != 0) continue;
    const bool set = record.call == "TIOCMBIS";
    if (set || record.call == "TIOCMBIC") {
      if (record.argument & kDtrBit) events.push_back({record.ns, PortLine::Dtr, set});
      if (record.argument & kRtsBit) events.push_back({record.ns, PortLine::Rts, set});
    } else if (record.call == "TIOCMSET") {
      events.push_back({record.ns, PortLine::Dtr, (record.argument & kDtrBit) != 0});
      events.push_back({record.ns, PortLine::Rts, (record.argument & kRtsBit) != 0});
    } else if (record.call == "TIOCSBRK" || record.call == "TIOCCBRK") {
      events.push_back({record.ns, PortLine::Txd, record.call == "TIOCSBRK"});
    }
  }
  return events;
}
