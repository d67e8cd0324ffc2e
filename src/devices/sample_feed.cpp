#include "devices/sample_feed.h"

#include <chrono>
#include <cstring>

#include "core/runtime.h"

namespace hv {

namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

SampleFeed::SampleFeed(Conduit* conduit) : conduit_(conduit), now_(SteadySeconds) {}

void SampleFeed::Start(const WaveFormat& format) {
  EndOverrunStreak();
  format_ = format;
  announce_ = true;
  carry_ = 0;
}

void SampleFeed::EndOverrunStreak() {
  if (!overrunStreak_) return;
  overrunStreak_ = false;
  uint32_t block = format_.blockAlign ? format_.blockAlign : 2;
  DiagPrint("Conduit1 overrun ended: %llu bytes (%llu frames) from the receiver were lost\n",
            static_cast<unsigned long long>(streakLost_), static_cast<unsigned long long>(streakLost_ / block));
  streakLost_ = 0;
}

void SampleFeed::Deliver(const uint8_t* bytes, uint32_t count, bool offsetBinary, bool dropping) {
  if (!bytes || count == 0) return;
  uint32_t block = format_.blockAlign ? format_.blockAlign : 2;
  uint32_t total = carry_ + count;
  if (staging_.size() < total) staging_.resize(total);
  std::memcpy(staging_.data() + carry_, bytes, count);
  uint32_t whole = total - total % block;
  uint32_t rest = total - whole;

  if (dropping) {
    dropped += whole;
    announce_ = true;
  } else if (whole > 0) {
    if (offsetBinary)
      for (uint32_t i = 1; i < whole; i += 2) staging_[i] ^= 0x80;
    if (announce_) {
      conduit_->AnnounceFormat(format_);
      announce_ = false;
    }
    // The conduit measures its space with the block size its next write will
    // use (the announced one), so the offer is whole frames of this format.
    int64_t space = 0;
    conduit_->Space(&space);
    uint32_t offer = space < whole ? static_cast<uint32_t>(space - space % block) : whole;
    uint32_t accepted = 0;
    if (offer) conduit_->Write(offer, staging_.data(), &accepted);
    written += accepted;
    uint32_t lost = whole - accepted;
    dropped += lost;
    if (lost) {
      // The chain fell behind the receiver: said once per streak of losses.
      if (!overrunStreak_) {
        DiagPrint("Conduit1 overrun: samples from the receiver are being lost\n");
        overrunStreak_ = true;
        ++overrunStreaks;
      }
      streakLost_ += lost;
      overrunLost += lost;
      lastLoss_ = now_();
    } else if (overrunStreak_ && now_() - lastLoss_ >= kOverrunQuietSeconds) {
      EndOverrunStreak();
    }
  }
  if (rest) std::memmove(staging_.data(), staging_.data() + whole, rest);
  carry_ = rest;
}

}  // namespace hv
