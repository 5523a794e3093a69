// The writer's buffer pool: a buffer comes back only with its last Release, one still held is
// never handed out again, a reused one looks new, and nothing outlives its last holder.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "standin/wmvcore/BufferPool.h"
#include "tests/wmvcore/StandInSupport.h"
#include "win/ComPtr.h"

namespace ombrel::test {
namespace {

using wmstandin::Buffer;
using wmstandin::BufferPool;

INSSBuffer* Take(BufferPool& pool, DWORD size) {
    INSSBuffer* buffer = nullptr;
    EXPECT_HR(S_OK, pool.Take(size, &buffer));
    return buffer;
}

TEST(BufferPoolTest, ABufferReturnsOnlyWithItsLastRelease) {
    const LONG before = Buffer::Live();
    {
        BufferPool::Owner pool = BufferPool::Create();
        INSSBuffer* first = Take(*pool, 100);
        first->AddRef();  // a second holder, as a sink keeping a packet
        EXPECT_EQ(1u, first->Release());
        INSSBuffer* second = Take(*pool, 100);
        EXPECT_NE(first, second) << "a buffer still held was handed out again";
        EXPECT_EQ(0u, first->Release());
        INSSBuffer* third = Take(*pool, 100);
        EXPECT_EQ(first, third) << "the released buffer was not reused";
        EXPECT_EQ(before + 2, Buffer::Live()) << "the pool grew though a buffer was free";
        third->Release();
        second->Release();
    }
    EXPECT_EQ(before, Buffer::Live());
}

TEST(BufferPoolTest, HeldBuffersAreAllDistinctAndTheFreedOnesServeTheNextRound) {
    const LONG before = Buffer::Live();
    BufferPool::Owner pool = BufferPool::Create();
    for (int round = 0; round < 3; ++round) {
        std::vector<INSSBuffer*> held;
        for (int i = 0; i < 16; ++i) held.push_back(Take(*pool, 64 + round * 32));
        EXPECT_EQ(16u, std::set<INSSBuffer*>(held.begin(), held.end()).size());
        EXPECT_EQ(before + 16, Buffer::Live()) << "round " << round;
        for (INSSBuffer* buffer : held) buffer->Release();
    }
}

TEST(BufferPoolTest, AReusedBufferHasTheNewSizeAndNoOldBytes) {
    BufferPool::Owner pool = BufferPool::Create();
    win::ComPtr<INSSBuffer> big = win::ComPtr<INSSBuffer>::Adopt(Take(*pool, 64));
    BYTE* bytes = nullptr;
    ASSERT_HR(S_OK, big->GetBuffer(&bytes));
    std::memset(bytes, 0xAB, 64);
    INSSBuffer* old = big.get();
    big.reset();
    win::ComPtr<INSSBuffer> small = win::ComPtr<INSSBuffer>::Adopt(Take(*pool, 16));
    ASSERT_EQ(old, small.get());
    DWORD length = 0, max = 0;
    EXPECT_HR(S_OK, small->GetBufferAndLength(&bytes, &length));
    EXPECT_HR(S_OK, small->GetMaxLength(&max));
    EXPECT_EQ(16u, length);
    EXPECT_EQ(16u, max);
    EXPECT_EQ(std::vector<BYTE>(16, 0), std::vector<BYTE>(bytes, bytes + 16));
    EXPECT_HR(E_INVALIDARG, small->SetLength(17)) << "room left from the earlier sample is not the caller's";
    EXPECT_HR(S_OK, small->SetLength(8));
    small.reset();
    // Growing a free buffer beyond its room.
    win::ComPtr<INSSBuffer> larger = win::ComPtr<INSSBuffer>::Adopt(Take(*pool, 4096));
    EXPECT_EQ(old, larger.get());
    EXPECT_HR(S_OK, larger->GetBufferAndLength(&bytes, &length));
    EXPECT_EQ(4096u, length);
    bytes[4095] = 1;
}

TEST(BufferPoolTest, BuffersHeldWhenThePoolClosesLiveOnUntilTheirLastRelease) {
    const LONG before = Buffer::Live();
    BufferPool::Owner pool = BufferPool::Create();
    INSSBuffer* held = Take(*pool, 32);
    Take(*pool, 32)->Release();  // a free one, freed by the close
    EXPECT_EQ(before + 2, Buffer::Live());
    pool.reset();
    EXPECT_EQ(before + 1, Buffer::Live());
    BYTE* bytes = nullptr;
    ASSERT_HR(S_OK, held->GetBuffer(&bytes));
    bytes[31] = 7;
    EXPECT_EQ(0u, held->Release());
    EXPECT_EQ(before, Buffer::Live());
}

TEST(BufferPoolTest, RefusesNullOut) {
    BufferPool::Owner pool = BufferPool::Create();
    EXPECT_HR(E_POINTER, pool->Take(8, nullptr));
    INSSBuffer* buffer = nullptr;
    EXPECT_HR(E_POINTER, pool->TakeCopy(nullptr, 8, &buffer));
    EXPECT_EQ(nullptr, buffer);
}

}  // namespace
}  // namespace ombrel::test
