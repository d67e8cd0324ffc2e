#include "core/conduit.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace hv {

namespace {

// Every created conduit, for WakeAllReaders. Never destroyed: the global
// conduits outlive static destruction order.
std::mutex& RegistryLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}
std::vector<Conduit*>& Registry() {
  static std::vector<Conduit*>* conduits = new std::vector<Conduit*>;
  return *conduits;
}

// A key for the calling thread: the address of a thread-local object.
uintptr_t ThisThreadKey() {
  static thread_local char key;
  return reinterpret_cast<uintptr_t>(&key);
}
}  // namespace

Conduit::~Conduit() {
  if (buffer_) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    auto& all = Registry();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
  }
  delete pending_;
  std::free(buffer_);
}

void Conduit::WakeAllReaders() {
  std::lock_guard<std::mutex> lock(RegistryLock());
  for (Conduit* c : Registry()) c->Wake();
}

uint32_t Conduit::Create(uint32_t capacity, WaveFormat* format) {
  if (capacity == 0 || !format) return kStatusBadArgument;
  std::lock_guard<std::mutex> lock(formatLock_);
  if (!buffer_) {
    std::lock_guard<std::mutex> registry(RegistryLock());
    Registry().push_back(this);
  }
  std::free(buffer_);
  buffer_ = static_cast<uint8_t*>(std::calloc(1, capacity));
  if (!buffer_) {
    std::lock_guard<std::mutex> registry(RegistryLock());
    auto& all = Registry();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    return kStatusFail;
  }
  capacity_ = capacity;
  current_ = format;
  currentBlock_.store(format->blockAlign, std::memory_order_relaxed);
  readPos_.store(0, std::memory_order_relaxed);
  writePos_.store(0, std::memory_order_relaxed);
  delete pending_;
  pending_ = nullptr;
  pendingBlock_.store(0, std::memory_order_relaxed);
  mark_.store(-1, std::memory_order_release);
  writer_.store(0, std::memory_order_relaxed);
  collisions_.store(0, std::memory_order_relaxed);
  return kStatusOk;
}

bool Conduit::TakeWriterTurn() {
  const uintptr_t me = ThisThreadKey();
  uintptr_t holder = writer_.load(std::memory_order_relaxed);
  if (holder == me) return true;
  // Acquire pairs with the release in EndWriterTurn: the last writer's bytes
  // and position are seen before this thread writes after them.
  holder = 0;
  return writer_.compare_exchange_strong(holder, me, std::memory_order_acquire, std::memory_order_relaxed);
}

void Conduit::EndWriterTurn() {
  uintptr_t me = ThisThreadKey();
  // Release pairs with the acquire of the next writer's TakeWriterTurn.
  writer_.compare_exchange_strong(me, 0, std::memory_order_release, std::memory_order_relaxed);
}

void Conduit::CheckWriter() {
  if (TakeWriterTurn()) return;
  if (collisions_.fetch_add(1, std::memory_order_relaxed) == 0)
    std::fputs("Conduit written by a second thread while another holds the writer's turn\n", stderr);
}

uint32_t Conduit::AnnounceFormat(const WaveFormat& format) {
  if (!IsCreated()) return kStatusNotInitialized;
  CheckWriter();
  std::lock_guard<std::mutex> lock(formatLock_);
  if (!pending_) pending_ = new WaveFormat;
  *pending_ = format;
  pendingBlock_.store(format.blockAlign, std::memory_order_relaxed);
  // Pairs with the reader's acquire load of the mark, which follows its acquire
  // load of the write position: a reader that sees bytes past the mark sees the mark.
  mark_.store(writePos_.load(std::memory_order_relaxed), std::memory_order_release);
  Wake();
  return kStatusOk;
}

bool Conduit::TryAnnounceFormat(const WaveFormat& format) {
  if (!IsCreated()) return false;
  // The check and the announcement under one lock: the other side's
  // announcement (PlaceMark) cannot slip in between.
  std::lock_guard<std::mutex> lock(formatLock_);
  if (pending_) return false;
  pending_ = new WaveFormat(format);
  pendingBlock_.store(format.blockAlign, std::memory_order_relaxed);
  mark_.store(writePos_.load(std::memory_order_relaxed), std::memory_order_release);
  Wake();
  return true;
}

bool Conduit::PlaceMark() {
  if (!IsCreated()) return false;
  std::lock_guard<std::mutex> lock(formatLock_);
  if (pending_ || !current_) return false;
  pending_ = new WaveFormat(*current_);
  pendingBlock_.store(current_->blockAlign, std::memory_order_relaxed);
  mark_.store(writePos_.load(std::memory_order_relaxed), std::memory_order_release);
  Wake();
  return true;
}

bool Conduit::FormatPending() const {
  std::lock_guard<std::mutex> lock(formatLock_);
  return pending_ != nullptr;
}

WaveFormat* Conduit::TakeFormat() {
  std::lock_guard<std::mutex> lock(formatLock_);
  int64_t mark = mark_.load(std::memory_order_acquire);
  if (pending_ && mark >= 0 && readPos_.load(std::memory_order_relaxed) == static_cast<uint32_t>(mark)) {
    if (current_) *current_ = *pending_;
    currentBlock_.store(pending_->blockAlign, std::memory_order_relaxed);
    delete pending_;
    pending_ = nullptr;
    // Release pairs with the writer's acquire load: a writer that sees no
    // pending block sees the current block that replaced it.
    pendingBlock_.store(0, std::memory_order_release);
    mark_.store(-1, std::memory_order_release);
  }
  return current_;
}

int64_t Conduit::SpaceFor(uint32_t read, uint32_t write, uint32_t block) const {
  int64_t space = read > write ? int64_t(read) - int64_t(write) - block
                               : int64_t(capacity_) - (int64_t(write) - int64_t(read)) - block;
  return space < 0 ? 0 : space;
}

uint32_t Conduit::Space(int64_t* space) const {
  if (!IsCreated()) {
    if (space) *space = 0;
    return kStatusNotInitialized;
  }
  // Acquire pairs with the reader's release store of its position.
  uint32_t read = readPos_.load(std::memory_order_acquire);
  uint32_t write = writePos_.load(std::memory_order_relaxed);
  // The same block size Write keeps free: the announced one while a format is
  // pending, so a caller that offers whole frames of it gets them all taken.
  uint32_t block = pendingBlock_.load(std::memory_order_acquire);
  if (block == 0) block = currentBlock_.load(std::memory_order_relaxed);
  if (space) *space = SpaceFor(read, write, block);
  return kStatusOk;
}

uint32_t Conduit::Write(uint32_t count, const void* bytes, uint32_t* accepted) {
  if (accepted) *accepted = 0;
  if (!IsCreated()) return kStatusNotInitialized;
  if (count && !bytes) return kStatusBadArgument;
  CheckWriter();
  uint32_t block = pendingBlock_.load(std::memory_order_acquire);
  if (block == 0) block = currentBlock_.load(std::memory_order_relaxed);
  // Acquire pairs with the reader's release store: the bytes it freed are no longer read.
  uint32_t read = readPos_.load(std::memory_order_acquire);
  uint32_t write = writePos_.load(std::memory_order_relaxed);
  int64_t space = SpaceFor(read, write, block);
  uint32_t n = count < space ? count : static_cast<uint32_t>(space);
  if (n == 0) return kStatusOk;
  const uint8_t* src = static_cast<const uint8_t*>(bytes);
  uint32_t first = capacity_ - write < n ? capacity_ - write : n;
  std::memcpy(buffer_ + write, src, first);
  if (n > first) std::memcpy(buffer_, src + first, n - first);
  uint32_t next = write + n;
  if (next >= capacity_) next -= capacity_;
  // Release (within seq_cst) pairs with the reader's acquire load: the copied
  // bytes are visible first. Sequential consistency with the reader's wish
  // makes sure a reader about to wait either sees these bytes or is woken.
  writePos_.store(next, std::memory_order_seq_cst);
  if (accepted) *accepted = n;
  uint32_t wants = readerWants_.load(std::memory_order_seq_cst);
  if (wants != 0 && Distance(readPos_.load(std::memory_order_acquire), next) >= wants) Wake();
  return kStatusOk;
}

uint32_t Conduit::Read(uint32_t count, void* dest, uint32_t* bytesRead) {
  if (bytesRead) *bytesRead = 0;
  if (!IsCreated()) return kStatusNotInitialized;
  if (count && !dest) return kStatusBadArgument;
  // Acquire pairs with the writer's release store of its position; the mark is
  // loaded after it so that any mark behind the visible bytes is seen.
  uint32_t write = writePos_.load(std::memory_order_acquire);
  int64_t mark = mark_.load(std::memory_order_acquire);
  uint32_t read = readPos_.load(std::memory_order_relaxed);
  uint32_t n;
  if (mark >= 0) {
    uint32_t toMark = Distance(read, static_cast<uint32_t>(mark));
    if (toMark == 0) return kStatusNotInitialized;
    n = count < toMark ? count : toMark;
  } else {
    if (Distance(read, write) < count) {
      lastAsked_.store(count, std::memory_order_relaxed);
      return kStatusOk;
    }
    n = count;
  }
  if (n == 0) return kStatusOk;
  uint8_t* dst = static_cast<uint8_t*>(dest);
  uint32_t first = capacity_ - read < n ? capacity_ - read : n;
  std::memcpy(dst, buffer_ + read, first);
  if (n > first) std::memcpy(dst + first, buffer_, n - first);
  uint32_t next = read + n;
  if (next >= capacity_) next -= capacity_;
  // Release pairs with the writer's acquire load: these bytes may now be reused.
  readPos_.store(next, std::memory_order_release);
  if (bytesRead) *bytesRead = n;
  return kStatusOk;
}

uint32_t Conduit::Reset() {
  if (!IsCreated()) return kStatusNotInitialized;
  readPos_.store(0, std::memory_order_release);
  writePos_.store(0, std::memory_order_release);
  return kStatusOk;
}

uint32_t Conduit::Available() const {
  if (!IsCreated()) return 0;
  uint32_t write = writePos_.load(std::memory_order_acquire);
  return Distance(readPos_.load(std::memory_order_relaxed), write);
}

void Conduit::WaitReadable(int milliseconds, uint32_t bytes) {
  if (!IsCreated()) return;
  // The writer keeps one block free, so the ring never holds more than this.
  uint32_t block = currentBlock_.load(std::memory_order_relaxed);
  uint32_t most = capacity_ > block ? capacity_ - (block ? block : 1) : 1;
  if (bytes == 0) bytes = lastAsked_.exchange(1, std::memory_order_relaxed);
  if (bytes == 0) bytes = 1;
  if (bytes > most) bytes = most;
  std::unique_lock<std::mutex> lock(wakeLock_);
  readerWants_.store(bytes, std::memory_order_seq_cst);
  auto ready = [&] {
    uint32_t write = writePos_.load(std::memory_order_seq_cst);
    return wakeCount_ != wakeSeen_ || Distance(readPos_.load(std::memory_order_relaxed), write) >= bytes ||
           mark_.load(std::memory_order_acquire) >= 0;
  };
  wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
  wakeSeen_ = wakeCount_;
  readerWants_.store(0, std::memory_order_relaxed);
}

void Conduit::Wake() {
  {
    std::lock_guard<std::mutex> lock(wakeLock_);
    ++wakeCount_;
  }
  wake_.notify_all();
}

}  // namespace hv
