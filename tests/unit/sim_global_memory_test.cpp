// What only the simulated global heap and critical sections show: blocks held,
// lock counts, injected failures, the call record and lock discipline.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/control.h"

namespace {

class SimGlobalMemory : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override { sim::ResetMachine(); }
};

using SimGlobalFaults = SimGlobalMemory;
using SimCriticalSection = SimGlobalMemory;

TEST_F(SimGlobalMemory, BlocksAreCountedUntilFreed) {
    HGLOBAL first = GlobalAlloc(GHND, 10);
    HGLOBAL second = GlobalAlloc(GMEM_FIXED, 10);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(2, sim::GlobalBlocksHeld());
    EXPECT_EQ(nullptr, GlobalFree(first));
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
    EXPECT_EQ(nullptr, GlobalFree(second));
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
}

TEST_F(SimGlobalMemory, LockCountIsTracked) {
    HGLOBAL handle = GlobalAlloc(GHND, 10);
    EXPECT_EQ(0, sim::GlobalLockCount(handle));
    GlobalLock(handle);
    GlobalLock(handle);
    EXPECT_EQ(2, sim::GlobalLockCount(handle));
    GlobalUnlock(handle);
    EXPECT_EQ(1, sim::GlobalLockCount(handle));
    GlobalFree(handle);
    EXPECT_EQ(-1, sim::GlobalLockCount(handle));
}

TEST_F(SimGlobalMemory, MemoryWithoutZeroInitIsNotZero) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, 64);
    const unsigned char* bytes = static_cast<const unsigned char*>(GlobalLock(handle));
    ASSERT_NE(nullptr, bytes);
    int zeros = 0;
    for (int i = 0; i < 64; ++i) {
        zeros += bytes[i] == 0 ? 1 : 0;
    }
    EXPECT_EQ(0, zeros);
    GlobalFree(handle);
}

TEST_F(SimGlobalMemory, ResetFreesEverythingAndForgetsHandles) {
    HGLOBAL handle = GlobalAlloc(GHND, 100000);
    ASSERT_NE(nullptr, GlobalLock(handle));
    sim::ResetMachine();
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
    EXPECT_TRUE(sim::GlobalMemoryCalls().empty());
    EXPECT_EQ(nullptr, GlobalLock(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(handle, GlobalFree(handle));
    // A new block never takes an old handle.
    EXPECT_NE(handle, GlobalAlloc(GHND, 100000));
}

TEST_F(SimGlobalMemory, SecondFreeFailsWithInvalidHandle) {
    HGLOBAL handle = GlobalAlloc(GHND, 10);
    ASSERT_EQ(nullptr, GlobalFree(handle));
    SetLastError(0);
    EXPECT_EQ(handle, GlobalFree(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(SimGlobalMemory, MoreThanAThirtyTwoBitProcessCanHoldIsRefused) {
    EXPECT_EQ(nullptr, GlobalAlloc(GHND, 0xFFFFFFFFu));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
}

TEST_F(SimGlobalMemory, CallsAreRecordedInOrder) {
    HGLOBAL handle = GlobalAlloc(GHND, 300);
    GlobalLock(handle);
    GlobalUnlock(handle);
    GlobalFree(handle);
    const std::vector<sim::GlobalMemoryCall> calls = sim::GlobalMemoryCalls();
    ASSERT_EQ(4u, calls.size());
    EXPECT_EQ("GlobalAlloc", calls[0].api);
    EXPECT_EQ(static_cast<UINT>(GHND), calls[0].flags);
    EXPECT_EQ(300u, calls[0].bytes);
    EXPECT_EQ("GlobalLock", calls[1].api);
    EXPECT_EQ("GlobalUnlock", calls[2].api);
    EXPECT_EQ("GlobalFree", calls[3].api);
    for (const sim::GlobalMemoryCall& call : calls) {
        EXPECT_EQ(handle, call.handle);
        EXPECT_TRUE(call.succeeded);
    }
}

TEST_F(SimGlobalMemory, ObserverSeesEachCallAsItReturns) {
    std::vector<int> held;
    sim::ObserveGlobalMemory(
        [&](const sim::GlobalMemoryCall&) { held.push_back(sim::GlobalBlocksHeld()); });
    HGLOBAL handle = GlobalAlloc(GHND, 8);
    GlobalFree(handle);
    sim::ObserveGlobalMemory(nullptr);
    GlobalFree(GlobalAlloc(GHND, 8));
    EXPECT_EQ((std::vector<int>{1, 0}), held);
}

TEST_F(SimGlobalFaults, RefusedAllocationSetsTheStatus) {
    sim::FailCall("GlobalAlloc", ERROR_OUTOFMEMORY, 2, 1);
    HGLOBAL first = GlobalAlloc(GHND, 10);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(nullptr, GlobalAlloc(GHND, 10));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OUTOFMEMORY), GetLastError());
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
    EXPECT_NE(nullptr, GlobalAlloc(GHND, 10));
    EXPECT_FALSE(sim::GlobalMemoryCalls()[1].succeeded);
}

TEST_F(SimGlobalFaults, FailedLockYieldsNullAndCountsNothing) {
    HGLOBAL handle = GlobalAlloc(GHND, 10);
    sim::FailCall("GlobalLock", ERROR_INVALID_HANDLE, 1, 1);
    EXPECT_EQ(nullptr, GlobalLock(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0, sim::GlobalLockCount(handle));
    EXPECT_NE(nullptr, GlobalLock(handle));
}

TEST_F(SimGlobalFaults, FailedUnlockAndFreeLeaveTheBlock) {
    HGLOBAL handle = GlobalAlloc(GHND, 10);
    GlobalLock(handle);
    sim::FailCall("GlobalUnlock", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(1, sim::GlobalLockCount(handle));
    sim::FailCall("GlobalFree", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_EQ(handle, GlobalFree(handle));
    EXPECT_EQ(1, sim::GlobalBlocksHeld());
    EXPECT_EQ(nullptr, GlobalFree(handle));
    EXPECT_EQ(0, sim::GlobalBlocksHeld());
}

TEST_F(SimCriticalSection, DepthEntriesAndDeepestAreCounted) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EXPECT_TRUE(sim::CriticalSectionLive(&section));
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_EQ(2, sim::CriticalSectionDepth(&section));
    LeaveCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    EXPECT_EQ(0, sim::CriticalSectionDepth(&section));
    EXPECT_EQ(2, sim::CriticalSectionMaxDepth(&section));
    EXPECT_EQ(3u, sim::CriticalSectionEntries(&section));
    EXPECT_EQ(0, sim::CriticalSectionMisuses(&section));
    DeleteCriticalSection(&section);
    EXPECT_FALSE(sim::CriticalSectionLive(&section));
    EXPECT_EQ(0, sim::CriticalSectionMisuses(&section));
}

TEST_F(SimCriticalSection, MisusesAreCounted) {
    CRITICAL_SECTION section;
    std::memset(&section, 0, sizeof section);
    InitializeCriticalSection(&section);
    LeaveCriticalSection(&section);  // not held
    EnterCriticalSection(&section);
    DeleteCriticalSection(&section);  // still held
    EnterCriticalSection(&section);   // deleted
    EXPECT_EQ(3, sim::CriticalSectionMisuses(&section));
    // A fresh initialisation starts the counts again, misuses aside.
    InitializeCriticalSection(&section);
    EXPECT_EQ(0u, sim::CriticalSectionEntries(&section));
    EXPECT_EQ(0, sim::CriticalSectionDepth(&section));
    DeleteCriticalSection(&section);
}

}  // namespace
