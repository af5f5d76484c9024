#include "commands/command_plan.h"

double WorkMs(const LineWork& work, const LineCost& cost) {
  return work.waitMs + work.modemSwitches * cost.modemSwitchMs +
         work.breakSwitches * cost.breakSwitchMs;
}

CommandPlan ErasePlan(const LineCost& cost) { return {WorkMs(kEraseChipWork, cost), 0, 0, 0}; }

CommandPlan HexDownloadPlan(const LineCost& cost, std::size_t bytes) {
  return {WorkMs(kEnterProgrammingWork, cost), WorkMs(kWriteFlashByteWork, cost), bytes,
          WorkMs(kFinishProgrammingWork, cost)};
}

CommandPlan BinaryDownloadPlan(const LineCost& cost, std::size_t bytes) {
  CommandPlan plan = HexDownloadPlan(cost, bytes);
  plan.perByteMs += kBinaryByteExtraMs;
  return plan;
}
