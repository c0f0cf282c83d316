// The global heap and critical sections as the pool uses them, checked alike
// on the simulated machine and on Windows.
#include <gtest/gtest.h>

#include <cstring>

#include "backend.h"

namespace conformance {
namespace {

constexpr DWORD kErrorNotLocked = 158;  // ERROR_NOT_LOCKED

class GlobalMemoryTest : public ::testing::Test {
protected:
    void SetUp() override { backend::ResetMachine(); }
    void TearDown() override { backend::ResetMachine(); }
};

bool AllZero(const void* memory, SIZE_T bytes) {
    const unsigned char* data = static_cast<const unsigned char*>(memory);
    for (SIZE_T i = 0; i < bytes; ++i) {
        if (data[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST_F(GlobalMemoryTest, MoveableBlockIsAHandleThatLocksToZeroedMemory) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 100);
    ASSERT_NE(nullptr, handle);
    void* memory = GlobalLock(handle);
    ASSERT_NE(nullptr, memory);
    EXPECT_NE(static_cast<void*>(handle), memory);
    EXPECT_TRUE(AllZero(memory, 100));
    std::memset(memory, 0x5A, 100);
    EXPECT_EQ(memory, GlobalLock(handle));
    EXPECT_EQ(0x5A, static_cast<unsigned char*>(memory)[99]);
    EXPECT_TRUE(GlobalUnlock(handle));
    GlobalFree(handle);
}

TEST_F(GlobalMemoryTest, LastUnlockReturnsFalseWithNoError) {
    HGLOBAL handle = GlobalAlloc(GHND, 16);
    ASSERT_NE(nullptr, GlobalLock(handle));
    SetLastError(12345);
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(kErrorNotLocked, GetLastError());
    EXPECT_EQ(nullptr, GlobalFree(handle));
}

TEST_F(GlobalMemoryTest, FreeReturnsNullOnSuccessEvenWhenLocked) {
    HGLOBAL handle = GlobalAlloc(GHND, 16);
    ASSERT_NE(nullptr, GlobalLock(handle));
    EXPECT_EQ(nullptr, GlobalFree(handle));
    EXPECT_EQ(nullptr, GlobalFree(nullptr));
}

TEST_F(GlobalMemoryTest, ChunkSizedBlocksAreWholeAndZeroed) {
    for (SIZE_T bytes :
         {SIZE_T{65536}, SIZE_T{65537}, SIZE_T{65548}, SIZE_T{65549}, SIZE_T{1} << 20}) {
        HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        ASSERT_NE(nullptr, handle) << bytes;
        unsigned char* memory = static_cast<unsigned char*>(GlobalLock(handle));
        ASSERT_NE(nullptr, memory) << bytes;
        EXPECT_TRUE(AllZero(memory, bytes)) << bytes;
        memory[0] = 1;
        memory[bytes - 1] = 2;
        EXPECT_EQ(2, memory[bytes - 1]);
        GlobalUnlock(handle);
        EXPECT_EQ(nullptr, GlobalFree(handle)) << bytes;
    }
}

TEST_F(GlobalMemoryTest, FixedBlockIsItsOwnAddress) {
    HGLOBAL handle = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 32);
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(static_cast<void*>(handle), GlobalLock(handle));
    EXPECT_TRUE(AllZero(handle, 32));
    EXPECT_TRUE(GlobalUnlock(handle));
    EXPECT_EQ(nullptr, GlobalFree(handle));
}

TEST_F(GlobalMemoryTest, EmptyMoveableBlockHasNoMemory) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(nullptr, GlobalLock(handle));
    EXPECT_EQ(nullptr, GlobalFree(handle));
}

TEST_F(GlobalMemoryTest, DistinctBlocksDoNotOverlap) {
    HGLOBAL first = GlobalAlloc(GHND, 4096);
    HGLOBAL second = GlobalAlloc(GHND, 4096);
    ASSERT_NE(first, second);
    unsigned char* a = static_cast<unsigned char*>(GlobalLock(first));
    unsigned char* b = static_cast<unsigned char*>(GlobalLock(second));
    std::memset(a, 0x11, 4096);
    std::memset(b, 0x22, 4096);
    EXPECT_EQ(0x11, a[0]);
    EXPECT_EQ(0x11, a[4095]);
    GlobalFree(first);
    GlobalFree(second);
}

TEST(CriticalSectionTest, OwningThreadMayEnterAgain) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_EQ(2, section.RecursionCount);
    LeaveCriticalSection(&section);
    EXPECT_EQ(1, section.RecursionCount);
    LeaveCriticalSection(&section);
    EXPECT_EQ(0, section.RecursionCount);
    DeleteCriticalSection(&section);
}

}  // namespace
}  // namespace conformance
