// The Record Setup window's controls by id. Groups that are enabled together
// or checked one of a row are runs of consecutive ids (first..last).
#pragma once

namespace hv {

enum RecordSetupControl : int {
  // Snapshot trigger (Auto Snap).
  kSetupTriggerLabel = 370, kSetupManualTrigger = 371, kSetupAutoTrigger = 372, kSetupThreshold = 373,
  // Snapshot duration: five fixed choices, then the user's own box and field.
  kSetupDurationLabel = 374, kSetupDuration100ms = 375, kSetupDuration250ms = 376, kSetupDuration500ms = 377,
  kSetupDuration1s = 378, kSetupDuration2500ms = 379, kSetupUserDurationBox = 380, kSetupUserDuration = 381,
  // Time expansion 1, 2, 4, 10.
  kSetupExpansionLabel = 382, kSetupExpansion1 = 383, kSetupExpansion2 = 384, kSetupExpansion4 = 385,
  kSetupExpansion10 = 386,
  kSetupCommentLabel = 387,
  kSetupComment = 388,     // the comment written into recordings
  kSetupStatusLine = 389,  // "Status : ..." of the recorder
  kSetupFileLine = 390,    // the recorder's current file name
  kSetupCloseButton = 391,  // hides the window; not laid out (the close box does the same)
  // Trigger filter range (kHz).
  kSetupFilterLabel = 392, kSetupLowLabel = 393, kSetupLowField = 394, kSetupHighLabel = 395, kSetupHighField = 396,
  kSetupPopLabel = 397, kSetupPopOff = 398, kSetupPopOn = 399,
  kSetupFormatLabel = 450, kSetupFormatStandard = 451, kSetupFormatCompressed = 452,
  kSetupIdleBox = 453, kSetupIdleField = 454,
};

}  // namespace hv
