// No per-block path of the signal chain allocates: every operator new in this
// program is counted, and a long run of the chain after its start must add none.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "dsp/chain_fixture.h"

namespace {
std::atomic<uint64_t> g_allocations{0};
}

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace hv {
namespace {

TEST(ChainAllocation, BlocksAllocateNothingAfterStart) {
  for (float rate : {250000.0f, 500000.0f}) {
    ChainOnOneThread chain(rate);
    std::vector<uint8_t> input = ChainOnOneThread::TestInput(rate, static_cast<int>(rate / 2));
    chain.Run(input.data(), 64 * 1024);  // warm up: fills the tuning window
    uint64_t before = g_allocations.load();
    chain.Run(input.data(), input.size() / 1024 * 1024);
    EXPECT_EQ(g_allocations.load(), before) << rate;
    EXPECT_GT(chain.frames(), 1000u);
    EXPECT_GT(chain.traces(), 5u);
  }
}

}  // namespace
}  // namespace hv
