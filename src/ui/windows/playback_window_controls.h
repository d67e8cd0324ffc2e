// The Playback window's controls by id.
#pragma once

namespace hv {

enum PlaybackControl : int {
  kPlaybackFileButton = 330, kPlaybackFileList = 331, kPlaybackPosition = 332, kPlaybackPlayButton = 333,
  kPlaybackPauseButton = 334, kPlaybackStopButton = 335, kPlaybackLoopBox = 337, kPlaybackTimeBaseLabel = 340,
  kPlaybackBox1to1 = 341, kPlaybackBox1to2 = 342, kPlaybackBox1toN = 343, kPlaybackRatioField = 344,
  kPlaybackCommentLabel = 345, kPlaybackComment = 346,
};

}  // namespace hv
