// The Operation Timer window's controls by id: the clock and status lines,
// the power saver, and the same set of controls for each of the two programs.
#pragma once

namespace hv {

enum OperationTimerControl : int {
  kTimerClockLabel = 420, kTimerClock = 421, kTimerStandard = 422, kTimerStatusLabel = 423,
  kTimerStatus = 424,
  kTimerEnable1 = 425, kTimerStartLabel1 = 426, kTimerStart1 = 427, kTimerStopLabel1 = 428,
  kTimerStop1 = 429, kTimerFile1 = 430, kTimerFileName1 = 431, kTimerComment1 = 433,
  kTimerPowerSaver = 444,
  kTimerEnable2 = 435, kTimerStartLabel2 = 436, kTimerStart2 = 437, kTimerStopLabel2 = 438,
  kTimerStop2 = 439, kTimerFile2 = 440, kTimerFileName2 = 441, kTimerComment2 = 443,
};

}  // namespace hv
