#include "commands/commands.h"

#include <functional>

#include "commands/chip_check.h"
#include "commands/chip_extras.h"
#include "commands/command_plan.h"
#include "commands/download_log.h"
#include "commands/messages.h"
#include "commands/page_image.h"
#include "commands/port_session.h"
#include "commands/progress_meter.h"
#include "image/binary_image.h"
#include "image/hex_image.h"
#include "isp/chip_memories.h"
#include "isp/isp.h"
#include "serial/rezero.h"

namespace {

std::size_t DataBytes(const HexImage& image) {
  std::size_t bytes = 0;
  for (const HexRecord& record : image.records) bytes += record.data.size();
  return bytes;
}

std::size_t DataBytes(const std::vector<std::uint8_t>& image) { return image.size(); }

// The wait of every binary byte beyond its write cycle.
constexpr double kBinaryByteExtraMs = 5;

// One byte of a binary download: its write and the extra wait.
void WriteBinaryByte(std::uint16_t address, std::uint8_t value) {
  WriteFlashByte(address, value);
  WaitMs(kBinaryByteExtraMs);
}

CommandPlan PlanFor(const HexImage& image, const LineCost& cost) {
  return ByteDownloadPlan(cost, DataBytes(image), WriteFlashByte);
}

CommandPlan PlanFor(const std::vector<std::uint8_t>& image, const LineCost& cost) {
  return ByteDownloadPlan(cost, DataBytes(image), WriteBinaryByte);
}

// The HEX image's bytes in file order, each sent by send and then logged
// as the window logs it; logged follows each logged byte.
template <class Send, class Logged>
void WalkHexImage(const HexImage& image, LogLines& log, Send send, Logged logged) {
  HexDownloadLog hexLog(log);
  for (const HexRecord& record : image.records) {
    hexLog.Record(record.address);
    auto address = record.address;
    for (const std::uint8_t value : record.data) {
      send(address++, value);
      hexLog.Byte(value);
      logged();
    }
  }
}

// Writes one byte and waits its write cycle out, or polls it.
using ByteWriter = std::function<void(std::uint16_t, std::uint8_t)>;

void WriteHexImage(const HexImage& image, LogLines& log, ProgressMeter& meter,
                   const ByteWriter& writeByte) {
  WalkHexImage(image, log, writeByte, [&] { meter.ByteWritten(); });
}

void WriteBinaryImage(const std::vector<std::uint8_t>& image, LogLines& log, ProgressMeter& meter,
                      const ByteWriter& writeByte) {
  BinaryDownloadLog binaryLog(log);
  std::uint16_t address = 0;
  for (const std::uint8_t value : image) {
    binaryLog.Byte(value);
    writeByte(address, value);
    binaryLog.Next(++address);
    meter.ByteWritten();
  }
}

// The window's byte writes: a HEX image's wait out the write cycle, a
// binary image's wait 5 ms more.
ByteWriter WindowByteWriter(const HexImage&) { return WriteFlashByte; }
ByteWriter WindowByteWriter(const std::vector<std::uint8_t>&) { return WriteBinaryByte; }

// The extras' files first, then the port, then the file: a missing or
// unfit port is said before the dialog. The body gets the session, the
// checked image and the extra steps.
template <class Image, class Read, class Body>
std::optional<Fault> WithChosenImage(const CommandRequest& request, Read read, Body body) {
  ExtraSteps steps(request.extras, request.port, request.mode == WriteMode::Pages);
  if (auto fault = steps.CheckFiles()) return fault;
  PortSession port(request.port);
  if (auto fault = port.Unusable()) return fault;
  const std::string name = FileOf(request);
  if (name.empty()) return std::nullopt;
  Checked<Image> image = read(name, ImageTarget::Flash);
  if (const auto* fault = std::get_if<ImageFault>(&image)) return *fault;
  const Image& checked = std::get<Image>(image);
  return body(port, checked, steps);
}

template <class Image, class Read, class Write>
std::optional<Fault> DownloadBytes(const CommandRequest& request, LogLines& log,
                                   ProgressListener* progress, Read read, Write write) {
  return WithChosenImage<Image>(
      request, read, [&](PortSession& port, const Image& checked, ExtraSteps& steps) {
        if (!request.verify && !request.extras.NeedChip()) {
          return port.Program([&] {
            // Planned inside the session, so that a cancel before the start stops
            // the command before its dry run too.
            CommandPlan plan = PlanFor(checked, port.Cost());
            steps.Plan(plan, port.Cost(), false);
            ProgressMeter meter(plan, progress);
            EnterProgramming();
            write(checked, log, meter, WindowByteWriter(checked));
            steps.AfterFlash(std::nullopt, false, meter);
            FinishProgramming();
          });
        }
        // Another chip, or none, is never erased; what was written is read back.
        const CoveredBytes covered = CoveredBy(checked);
        return RunReadingChip(port, request.port, [&] {
          const MisoPolarity polarity = RequireChip(request.port);
          // Planned at the clock that the chip's answers chose.
          CommandPlan plan = AnsweredByteDownloadPlan(port.Cost(), DataBytes(checked));
          AddReadBack(plan, port.Cost(), request.verify ? PagesCovered(covered) : 0);
          steps.Plan(plan, port.Cost(), request.verify);
          ProgressMeter meter(plan, progress);
          steps.BeforeErase(polarity, meter);
          EraseChipPolled(polarity);
          write(checked, log, meter, [&](std::uint16_t address, std::uint8_t value) {
            WriteMemoryByte(kFlashMemory, address, value, polarity);
          });
          if (request.verify) VerifyCovered(covered, polarity, request.port, &meter);
          steps.AfterFlash(polarity, request.verify, meter);
          FinishProgramming();
        });
      });
}

PageImage PagesOf(const HexImage& image) {
  PageImage pages;
  for (const HexRecord& record : image.records) {
    auto address = record.address;
    for (const std::uint8_t value : record.data) pages.Add(address++, value);
  }
  return pages;
}

PageImage PagesOf(const std::vector<std::uint8_t>& image) {
  PageImage pages;
  std::uint16_t address = 0;
  for (const std::uint8_t value : image) pages.Add(address++, value);
  return pages;
}

// Writes each page once, when the walk through the image first reaches it,
// so that the log follows the image as in byte mode. With a polarity (a line
// back whose polarity is known) each page's write cycle is polled instead of
// waited out blind.
class PageWriter {
 public:
  PageWriter(const PageImage& pages, ProgressMeter& meter, std::optional<MisoPolarity> poll)
      : pages_(pages), meter_(meter), poll_(poll), written_(pages.Pages().size(), false) {}

  void Reach(std::uint16_t address) {
    const std::size_t index = pages_.IndexOf(address);
    if (written_[index]) return;
    const ImagePage& page = pages_.Pages()[index];
    WriteMemoryPage(kFlashMemory, page.address, page.data, poll_);
    written_[index] = true;
    meter_.StepWritten(page.imageBytes);
  }

 private:
  const PageImage& pages_;
  ProgressMeter& meter_;
  std::optional<MisoPolarity> poll_;
  std::vector<bool> written_;
};

void WriteHexPages(const HexImage& image, LogLines& log, PageWriter& writer) {
  WalkHexImage(
      image, log, [&](std::uint16_t address, std::uint8_t) { writer.Reach(address); }, [] {});
}

void WriteBinaryPages(const std::vector<std::uint8_t>& image, LogLines& log, PageWriter& writer) {
  BinaryDownloadLog binaryLog(log);
  std::uint16_t address = 0;
  for (const std::uint8_t value : image) {
    writer.Reach(address);
    binaryLog.Byte(value);
    binaryLog.Next(++address);
  }
}

// Where the chip is checked, the line back's polarity polls each page.
template <class Image, class Read, class Write>
std::optional<Fault> DownloadPages(const CommandRequest& request, LogLines& log,
                                   ProgressListener* progress, Read read, Write write) {
  return WithChosenImage<Image>(
      request, read, [&](PortSession& port, const Image& checked, ExtraSteps& steps) {
        const PageImage pages = PagesOf(checked);
        std::optional<MisoPolarity> poll;
        std::optional<std::uint16_t> notWritten;
        auto fault = RunReadingChip(port, request.port, [&] {
          const bool answers = request.verify || request.extras.NeedChip();
          if (answers) poll = RequireChip(request.port);
          // Planned once the chip has answered, at the clock it chose.
          CommandPlan plan =
              answers ? AnsweredDownloadPlan(port.Cost(), pages.Pages().size(), DataBytes(checked))
                      : PageDownloadPlan(port.Cost(), pages.Pages().size(), DataBytes(checked));
          CoveredBytes covered;
          if (request.verify) {
            covered = CoveredBy(checked);
            AddReadBack(plan, port.Cost(), PagesCovered(covered));
          }
          steps.Plan(plan, port.Cost(), request.verify);
          ProgressMeter meter(plan, progress);
          steps.BeforeErase(poll, meter);
          PageWriter writer(pages, meter, poll);
          try {
            if (answers) {
              EraseChipPolled(*poll);
            } else {
              EnterProgramming();
            }
            write(checked, log, writer);
            if (request.verify) VerifyCovered(covered, *poll, request.port, &meter);
            steps.AfterFlash(poll, request.verify, meter);
          } catch (const WriteNotDone& failed) {
            notWritten = failed.address;
          }
          FinishProgramming();
        });
        if (!fault && notWritten) {
          PortFault failed = port.FaultOf(PortFaultKind::PageNotWritten);
          failed.address = *notWritten;
          return std::optional<Fault>(failed);
        }
        return fault;
      });
}

}  // namespace

std::optional<Fault> EraseCommand(const CommandRequest& request, ProgressListener* progress) {
  PortSession port(request.port);
  if (auto fault = port.Unusable()) return fault;
  return port.Program([&] {
    ProgressMeter meter(ErasePlan(port.Cost()), progress);
    EraseChip();
  });
}

std::optional<Fault> DownloadCommand(const CommandRequest& request, LogLines& log,
                                     ProgressListener* progress) {
  using Binary = std::vector<std::uint8_t>;
  const bool pages = request.mode == WriteMode::Pages;
  if (request.format == ImageFormat::IntelHex) {
    return pages ? DownloadPages<HexImage>(request, log, progress, ReadHexImage, WriteHexPages)
                 : DownloadBytes<HexImage>(request, log, progress, ReadHexImage, WriteHexImage);
  }
  return pages ? DownloadPages<Binary>(request, log, progress, ReadBinaryImage, WriteBinaryPages)
               : DownloadBytes<Binary>(request, log, progress, ReadBinaryImage, WriteBinaryImage);
}
