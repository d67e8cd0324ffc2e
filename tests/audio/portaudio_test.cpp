// The PortAudio back end against ALSA's null output (made the default by this
// test's own ALSA configuration): it plays, passes points, stops and releases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "audio/portaudio_device.h"
#include "audio/sound_manager.h"
#include "core/status_print.h"
#include "support/files.h"

namespace hv {
namespace {

TEST(PortAudioBackEnd, PlaysTheBufferAndPassesItsNotificationPoints) {
  TempFolder home;
  std::ofstream(home / ".asoundrc") << "pcm.!default { type null }\n";
  setenv("HOME", home.path.c_str(), 1);
  if (!PortAudioHasOutput()) GTEST_SKIP() << "PortAudio offers no ALSA output here";

  AutoResetEvent event;
  SoundManager manager;
  ASSERT_EQ(manager.Initialize(std::make_unique<PortAudioDevice>()), kSoundOk);
  ASSERT_EQ(manager.SetPrimaryFormat(), kSoundOk);
  CStreamingSound* made = nullptr;
  ASSERT_EQ(manager.CreateStreaming(&made, 8192, SoundOutputFormat(), 2048, &event), kSoundOk);
  std::unique_ptr<CStreamingSound> sound(made);
  ASSERT_EQ(sound->Reset(), kSoundOk);
  ASSERT_EQ(sound->Fill(sound->Buffer()), kSoundOk);
  EXPECT_EQ(sound->Buffer()->NotificationsPassed(), 0u);
  ASSERT_EQ(sound->Play(), kSoundOk);
  ASSERT_TRUE(event.Wait(2000));
  EXPECT_GT(sound->Buffer()->NotificationsPassed(), 0u);
  ASSERT_EQ(sound->ServiceNotifications(), kSoundOk);
  EXPECT_GT(sound->Refills(), 0u);
  ASSERT_EQ(sound->Stop(), kSoundOk);
  sound.reset();  // closes the stream before the device goes
  manager.Initialize(std::make_unique<PortAudioDevice>());
}

}  // namespace
}  // namespace hv
