// Pool behaviour seen from the simulated machine: which global-memory calls
// the pool makes, how it holds its lock, the wait cursor around giving a
// chunk back, and refusals by the system.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "pool_on_machine.h"
#include "framework/app.h"
#include "sim/control.h"
#include "support/block_pool.h"

namespace {

using namespace pooltest;

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const sim::GlobalMemoryCall& call : sim::GlobalMemoryCalls()) {
        names.push_back(call.api);
    }
    return names;
}

std::vector<sim::GlobalMemoryCall> CallsOf(const std::string& api) {
    std::vector<sim::GlobalMemoryCall> calls;
    for (const sim::GlobalMemoryCall& call : sim::GlobalMemoryCalls()) {
        if (call.api == api) {
            calls.push_back(call);
        }
    }
    return calls;
}

class BlockPoolOnMachine : public PoolOnMachineTest {
protected:
    const CRITICAL_SECTION* Lock() const { return pool->LockSection(); }
};

using BlockPoolSystemCalls = BlockPoolOnMachine;
using BlockPoolLocking = BlockPoolOnMachine;
using BlockPoolWaitCursor = BlockPoolOnMachine;
using BlockPoolRefusals = BlockPoolOnMachine;

TEST_F(BlockPoolSystemCalls, ConstructionObtainsNothing) {
    EXPECT_TRUE(sim::GlobalMemoryCalls().empty());
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
}

TEST_F(BlockPoolSystemCalls, FirstRequestObtainsOneZeroedMoveableChunkLockedOnce) {
    ASSERT_NE(nullptr, pool->PoolAlloc(10));
    const std::vector<sim::GlobalMemoryCall> calls = sim::GlobalMemoryCalls();
    ASSERT_EQ((std::vector<std::string>{"GlobalAlloc", "GlobalLock"}), CallNames());
    EXPECT_EQ(static_cast<UINT>(GMEM_MOVEABLE | GMEM_ZEROINIT), calls[0].flags);
    EXPECT_EQ(kStandardChunk, calls[0].bytes);
    EXPECT_EQ(calls[0].handle, calls[1].handle);
    EXPECT_EQ(calls[0].handle, pool->FirstChunk()->memoryHandle);
    EXPECT_EQ(1, sim::GlobalLockCount(calls[0].handle));
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
}

TEST_F(BlockPoolSystemCalls, SmallRequestsShareOneChunk) {
    for (int i = 0; i < 500; ++i) {
        ASSERT_NE(nullptr, pool->PoolAlloc(100));
    }
    EXPECT_EQ(1u, CallsOf("GlobalAlloc").size());
    EXPECT_EQ(1u, CallsOf("GlobalLock").size());
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
}

TEST_F(BlockPoolSystemCalls, ChunkSizesFollowTheNeed) {
    const std::vector<std::pair<DWORD, DWORD>> cases = {
        {10, kStandardChunk},
        {kWholeChunkRequest, kStandardChunk},
        {kSmallestOwnChunkRequest, kSmallestOwnChunkRequest + kBlockHeader + kChunkHeader},
        {kLargestKeptRequest, kStandardChunk + kChunkHeader},
        {kSmallestGivenBackRequest, kSmallestGivenBackRequest + kBlockHeader + kChunkHeader},
    };
    for (const auto& entry : cases) {
        CBlockPool fresh;
        const std::size_t before = CallsOf("GlobalAlloc").size();
        ASSERT_NE(nullptr, fresh.PoolAlloc(entry.first));
        const std::vector<sim::GlobalMemoryCall> allocs = CallsOf("GlobalAlloc");
        ASSERT_EQ(before + 1, allocs.size()) << "request " << entry.first;
        EXPECT_EQ(entry.second, allocs.back().bytes) << "request " << entry.first;
    }
    if (sizeof(void*) == 4) {
        EXPECT_EQ(65537u, kSmallestOwnChunkRequest + kBlockHeader + kChunkHeader);
        EXPECT_EQ(65549u, kSmallestGivenBackRequest + kBlockHeader + kChunkHeader);
    }
}

TEST_F(BlockPoolSystemCalls, LargeBlockReleaseUnlocksThenFreesItsChunk) {
    ASSERT_NE(nullptr, pool->PoolAlloc(10));
    void* large = pool->PoolAlloc(kSmallestGivenBackRequest);
    ASSERT_NE(nullptr, large);
    HGLOBAL handle = pool->FirstChunk()->memoryHandle;
    const std::size_t before = sim::GlobalMemoryCalls().size();
    pool->PoolFree(large);
    const std::vector<sim::GlobalMemoryCall> calls = sim::GlobalMemoryCalls();
    ASSERT_EQ(before + 2, calls.size());
    EXPECT_EQ("GlobalUnlock", calls[before].api);
    EXPECT_EQ("GlobalFree", calls[before + 1].api);
    EXPECT_EQ(handle, calls[before].handle);
    EXPECT_EQ(handle, calls[before + 1].handle);
    EXPECT_TRUE(calls[before + 1].succeeded);
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
}

TEST_F(BlockPoolSystemCalls, KeptLargeBlockReleaseCallsTheSystemNotAtAll) {
    void* block = pool->PoolAlloc(kLargestKeptRequest);
    ASSERT_NE(nullptr, block);
    const std::size_t before = sim::GlobalMemoryCalls().size();
    pool->PoolFree(block);
    EXPECT_EQ(before, sim::GlobalMemoryCalls().size());
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
}

TEST_F(BlockPoolSystemCalls, DestructionGivesBackEveryChunkEvenWithBlocksOut) {
    ASSERT_NE(nullptr, pool->PoolAlloc(10));
    ASSERT_NE(nullptr, pool->PoolAlloc(kWholeChunkRequest));
    ASSERT_NE(nullptr, pool->PoolAlloc(kSmallestOwnChunkRequest));
    ASSERT_NE(nullptr, pool->PoolAlloc(kSmallestGivenBackRequest + 5000));
    ASSERT_EQ(4, sim::GlobalBlocksHeld());
    const std::size_t before = sim::GlobalMemoryCalls().size();
    pool.reset();
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
    const std::vector<sim::GlobalMemoryCall> calls = sim::GlobalMemoryCalls();
    ASSERT_EQ(before + 8, calls.size());
    for (std::size_t i = before; i < calls.size(); i += 2) {
        EXPECT_EQ("GlobalUnlock", calls[i].api);
        EXPECT_EQ("GlobalFree", calls[i + 1].api);
        EXPECT_EQ(calls[i].handle, calls[i + 1].handle);
        EXPECT_TRUE(calls[i + 1].succeeded);
    }
}

TEST_F(BlockPoolLocking, ZeroRequestAndNullReleaseTakeNoLock) {
    EXPECT_TRUE(sim::CriticalSectionLive(Lock()));
    EXPECT_EQ(nullptr, pool->PoolAlloc(0));
    pool->PoolFree(nullptr);
    EXPECT_EQ(0u, sim::CriticalSectionEntries(Lock()));
    EXPECT_TRUE(sim::GlobalMemoryCalls().empty());
}

TEST_F(BlockPoolLocking, SystemCallsRunUnderTheLockHeldOnce) {
    CWinApp app("PoolLockTest");
    std::vector<int> depths;
    std::vector<int> cursorDepths;
    const CRITICAL_SECTION* section = Lock();
    sim::ObserveGlobalMemory([&](const sim::GlobalMemoryCall&) {
        depths.push_back(sim::CriticalSectionDepth(section));
    });
    void* small = pool->PoolAlloc(10);
    void* large = pool->PoolAlloc(kSmallestGivenBackRequest);
    pool->PoolFree(large);
    pool->PoolFree(small);
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    EXPECT_EQ(nullptr, pool->PoolAlloc(kSmallestGivenBackRequest));
    sim::ObserveGlobalMemory(nullptr);

    EXPECT_EQ(std::vector<int>(7, 1), depths);  // 2 + 2 + 2 + 1 calls, all inside
    EXPECT_EQ(0, sim::CriticalSectionDepth(section));
    EXPECT_EQ(1, sim::CriticalSectionMaxDepth(section));
    EXPECT_EQ(5u, sim::CriticalSectionEntries(section));
    EXPECT_EQ(0, sim::CriticalSectionMisuses(section));
}

TEST_F(BlockPoolLocking, RefusalsLeaveTheLockFree) {
    EXPECT_EQ(nullptr, pool->PoolAlloc(0xFFFFFFFFu));
    EXPECT_EQ(0, sim::CriticalSectionDepth(Lock()));
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    EXPECT_EQ(nullptr, pool->PoolAlloc(10));
    EXPECT_EQ(0, sim::CriticalSectionDepth(Lock()));
    sim::FailCall("GlobalLock", ERROR_INVALID_HANDLE, 1, 1);
    EXPECT_EQ(nullptr, pool->PoolAlloc(10));
    EXPECT_EQ(0, sim::CriticalSectionDepth(Lock()));
    EXPECT_EQ(1, sim::CriticalSectionMaxDepth(Lock()));
}

TEST_F(BlockPoolLocking, ResetRunsWithoutTheLockAndDestructionDeletesIt) {
    ASSERT_NE(nullptr, pool->PoolAlloc(10));
    const CRITICAL_SECTION* section = Lock();
    const unsigned entries = sim::CriticalSectionEntries(section);
    pool->PoolReset();
    EXPECT_EQ(entries, sim::CriticalSectionEntries(section));
    pool.reset();
    EXPECT_FALSE(sim::CriticalSectionLive(section));
    EXPECT_EQ(0, sim::CriticalSectionMisuses(section));
}

TEST_F(BlockPoolLocking, ReleaseBeforeConstructionDoesNothing) {
    // Static storage is zero before its constructor runs.
    alignas(CBlockPool) unsigned char storage[sizeof(CBlockPool)] = {};
    CBlockPool* unconstructed = reinterpret_cast<CBlockPool*>(storage);
    const CRITICAL_SECTION* section = unconstructed->LockSection();
    const unsigned entries = sim::CriticalSectionEntries(section);
    const int misuses = sim::CriticalSectionMisuses(section);
    char somewhere[16] = {};
    unconstructed->PoolFree(somewhere + 8);
    EXPECT_EQ(entries, sim::CriticalSectionEntries(section));
    EXPECT_EQ(misuses, sim::CriticalSectionMisuses(section));
    EXPECT_TRUE(sim::GlobalMemoryCalls().empty());
}

TEST_F(BlockPoolWaitCursor, ChunkGoesBackWhileTheCursorShows) {
    CWinApp app("PoolCursorTest");
    void* large = pool->PoolAlloc(kSmallestGivenBackRequest);
    ASSERT_NE(nullptr, large);
    std::vector<std::string> seen;
    sim::ObserveGlobalMemory([&](const sim::GlobalMemoryCall& call) {
        seen.push_back(call.api + ":" + std::to_string(app.WaitCursorDepth()));
    });
    pool->PoolFree(large);
    sim::ObserveGlobalMemory(nullptr);
    EXPECT_EQ((std::vector<std::string>{"GlobalUnlock:1", "GlobalFree:1"}), seen);
    EXPECT_EQ(0, app.WaitCursorDepth());
}

TEST_F(BlockPoolWaitCursor, AllocationAndSmallReleaseShowNoCursor) {
    CWinApp app("PoolCursorTest");
    std::vector<int> depths;
    sim::ObserveGlobalMemory(
        [&](const sim::GlobalMemoryCall&) { depths.push_back(app.WaitCursorDepth()); });
    void* large = pool->PoolAlloc(kSmallestGivenBackRequest);
    void* small = pool->PoolAlloc(10);
    pool->PoolFree(small);
    pool.reset();
    sim::ObserveGlobalMemory(nullptr);
    EXPECT_EQ(std::vector<int>(8, 0), depths);  // two chunks obtained, two given back
    (void)large;
}

TEST_F(BlockPoolWaitCursor, WithoutAnApplicationTheChunkStillGoesBack) {
    ASSERT_EQ(nullptr, AfxGetApp());
    void* large = pool->PoolAlloc(kSmallestGivenBackRequest);
    ASSERT_NE(nullptr, large);
    pool->PoolFree(large);
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
    EXPECT_EQ(nullptr, pool->FirstChunk());
}

TEST_F(BlockPoolWaitCursor, LargeBlockOfNoKnownChunkGivesNothingBack) {
    CWinApp app("PoolCursorTest");
    // Not the chunk's first block, whose start is where a chunk's usable area is.
    ASSERT_NE(nullptr, pool->PoolAlloc(100));
    void* block = pool->PoolAlloc(100);
    ASSERT_NE(nullptr, pool->PoolAlloc(1));
    const DWORD claimed = kStandardChunk + 1;
    std::memcpy(static_cast<char*>(block) - kBlockHeader, &claimed, sizeof claimed);
    const std::vector<FreeBlock> freeBefore = FreeBlocks(*pool);
    const std::size_t callsBefore = sim::GlobalMemoryCalls().size();
    pool->PoolFree(block);
    EXPECT_EQ(callsBefore, sim::GlobalMemoryCalls().size());
    EXPECT_EQ(freeBefore, FreeBlocks(*pool));
    EXPECT_EQ(1u, Chunks(*pool).size());
    EXPECT_EQ(0, app.WaitCursorDepth());
}

TEST_F(BlockPoolRefusals, RefusedFirstChunkLeavesThePoolEmpty) {
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    EXPECT_EQ(nullptr, pool->PoolAlloc(10));
    EXPECT_EQ(nullptr, pool->FirstChunk());
    EXPECT_EQ(nullptr, pool->FirstFreeBlock());
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
    // The next request gets its chunk.
    void* block = pool->PoolAlloc(10);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(kChunkHeader + kBlockHeader, OffsetInChunk(block, pool->FirstChunk()));
}

TEST_F(BlockPoolRefusals, RefusedChunkThenARequestThatFitsSucceeds) {
    void* first = pool->PoolAlloc(1000);
    ASSERT_NE(nullptr, first);
    const std::vector<FreeBlock> freeBefore = FreeBlocks(*pool);
    const std::vector<const PoolChunk*> chunksBefore = Chunks(*pool);
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(nullptr, pool->PoolAlloc(kStandardUsable));
    EXPECT_EQ(freeBefore, FreeBlocks(*pool));
    EXPECT_EQ(chunksBefore, Chunks(*pool));
    void* fits = pool->PoolAlloc(500);
    ASSERT_NE(nullptr, fits);
    EXPECT_EQ(Address(first) + 1000 + kBlockHeader, Address(fits));
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
}

TEST_F(BlockPoolRefusals, UnlockableChunkIsGivenBackAndTheRequestRefused) {
    ASSERT_NE(nullptr, pool->PoolAlloc(kWholeChunkRequest));
    const std::vector<const PoolChunk*> chunksBefore = Chunks(*pool);
    const std::size_t before = sim::GlobalMemoryCalls().size();
    sim::FailCall("GlobalLock", ERROR_INVALID_HANDLE, 1, 1);
    EXPECT_EQ(nullptr, pool->PoolAlloc(10));
    EXPECT_EQ(chunksBefore, Chunks(*pool));
    EXPECT_TRUE(FreeBlocks(*pool).empty());
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
    const std::vector<sim::GlobalMemoryCall> calls = sim::GlobalMemoryCalls();
    ASSERT_EQ(before + 3, calls.size());
    EXPECT_EQ("GlobalAlloc", calls[before].api);
    EXPECT_EQ("GlobalLock", calls[before + 1].api);
    EXPECT_FALSE(calls[before + 1].succeeded);
    EXPECT_EQ("GlobalFree", calls[before + 2].api);
    EXPECT_EQ(calls[before].handle, calls[before + 2].handle);
    EXPECT_TRUE(calls[before + 2].succeeded);
}

TEST_F(BlockPoolRefusals, WrappingRequestsNeverReachTheSystem) {
    ASSERT_NE(nullptr, pool->PoolAlloc(10));
    const std::vector<FreeBlock> freeBefore = FreeBlocks(*pool);
    const std::size_t before = sim::GlobalMemoryCalls().size();
    const DWORD requests[] = {0xFFFFFFFFu, 0xFFFFFFFDu, 0xFFFFFFFCu,
                              0xFFFFFFF4u, 0xFFFFFFF0u, CBlockPool::kLargestRequest + 1};
    for (DWORD request : requests) {
        EXPECT_EQ(nullptr, pool->PoolAlloc(request)) << std::hex << request;
    }
    EXPECT_EQ(before, sim::GlobalMemoryCalls().size());
    EXPECT_EQ(freeBefore, FreeBlocks(*pool));
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
}

TEST_F(BlockPoolRefusals, LargestRequestAsksForTheWholeRangeAndIsRefused) {
    EXPECT_EQ(nullptr, pool->PoolAlloc(CBlockPool::kLargestRequest));
    const std::vector<sim::GlobalMemoryCall> allocs = CallsOf("GlobalAlloc");
    ASSERT_EQ(1u, allocs.size());
    EXPECT_EQ(0xFFFFFFFFu, allocs[0].bytes);
    EXPECT_FALSE(allocs[0].succeeded);
    EXPECT_EQ(nullptr, pool->FirstChunk());
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
}

}  // namespace
