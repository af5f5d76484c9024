#include "commands/command_plan.h"

#include <array>

#include "isp/echo_check.h"
#include "isp/isp.h"
#include "isp/readback.h"
#include "serial/rezero.h"

namespace {

// The sequence runs on a driver that only counts; the port's own driver
// comes back after it.
template <class Sequence>
LineWork DryRun(Sequence&& sequence) {
  CountingLineDriver counter;
  const ScopedLineDriver scope(counter);
  const EchoChecksSuspended unchecked;
  sequence();
  return counter.Work();
}

}  // namespace

double WorkMs(const LineWork& work, const LineCost& cost) {
  return work.waitMs + (work.modemSwitches + work.misoReads) * cost.modemSwitchMs +
         work.breakSwitches * cost.breakSwitchMs;
}

double PageReadMs(const LineCost& cost, const ChipMemory& memory) {
  std::array<std::uint8_t, kPageSize> page{};
  return WorkMs(DryRun([&] { ReadMemoryPage(memory, 0, MisoPolarity::OnIsHigh, page); }), cost);
}

CommandPlan ReadBackPlan(const LineCost& cost, std::size_t pages, const ChipMemory& memory) {
  CommandPlan plan{.finishMs = WorkMs(DryRun(FinishProgramming), cost),
                   .imageBytes = pages * memory.pageSize};
  AddReadBack(plan, cost, pages, memory);
  return plan;
}

void AddReadBack(CommandPlan& plan, const LineCost& cost, std::size_t pages,
                 const ChipMemory& memory) {
  plan.pagesRead += pages;
  plan.perPageReadMs = PageReadMs(cost, memory);
}

CommandPlan ErasePlan(const LineCost& cost) { return {WorkMs(DryRun(EraseChip), cost), 0, 0, 0}; }

// Addresses and data do not change the count: every bit switches the data
// line, whether or not its level changes.
CommandPlan ByteDownloadPlan(const LineCost& cost, std::size_t bytes, ByteStep writeByte) {
  return {WorkMs(DryRun(EnterProgramming), cost), WorkMs(DryRun([&] { writeByte(0, 0); }), cost),
          bytes, WorkMs(DryRun(FinishProgramming), cost)};
}

CommandPlan PageDownloadPlan(const LineCost& cost, std::size_t pages, std::size_t imageBytes) {
  const std::array<std::uint8_t, kPageSize> blank{};
  CommandPlan plan = ByteDownloadPlan(cost, pages, WriteFlashByte);
  plan.perByteMs =
      WorkMs(DryRun([&] { WriteMemoryPage(kFlashMemory, 0, blank, std::nullopt); }), cost);
  plan.imageBytes = imageBytes;
  return plan;
}

namespace {

// A polled erase or write: its instruction, the chip's longest cycle, and
// the read that finds the cycle over.
CommandPlan AnsweredPlan(const LineCost& cost, double stepInstructionMs, std::size_t steps) {
  const double readMs =
      WorkMs(DryRun([] { ReadMemoryByte(kFlashMemory, 0, MisoPolarity::OnIsHigh); }), cost);
  const double eraseMs = WorkMs(DryRun([] { SendCheckedInstruction(kChipErase); }), cost);
  return {eraseMs + kChipEraseMs + readMs, stepInstructionMs + kLongestWriteCycleMs + readMs, steps,
          WorkMs(DryRun(FinishProgramming), cost)};
}

}  // namespace

CommandPlan AnsweredDownloadPlan(const LineCost& cost, std::size_t pages, std::size_t imageBytes) {
  const std::array<std::uint8_t, kPageSize> blank{};
  // Waited out blind in the dry run, which reads nothing.
  const double blindMs =
      WorkMs(DryRun([&] { WriteMemoryPage(kFlashMemory, 0, blank, std::nullopt); }), cost);
  CommandPlan plan = AnsweredPlan(cost, blindMs - kWriteCycleMs, pages);
  plan.imageBytes = imageBytes;
  return plan;
}

CommandPlan AnsweredByteDownloadPlan(const LineCost& cost, std::size_t bytes) {
  const double blindMs =
      WorkMs(DryRun([] { WriteMemoryByte(kFlashMemory, 0, 0, std::nullopt); }), cost);
  return AnsweredPlan(cost, blindMs - kWriteCycleMs, bytes);
}
