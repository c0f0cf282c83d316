// Pool behaviour that needs nothing but the Win32 global-memory calls: chunk
// and block layout, carving, merging and release. Built for the host and also
// run as a Windows program, where the chunks come from the real global heap.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "block_pool_inspect.h"
#include "platform/platform.h"
#include "support/block_pool.h"

namespace {

using namespace pooltest;

// Makes the block at `address` claim `size` bytes, as a caller that wrote in
// front of its block would.
void ForgeBlockSize(void* address, DWORD size) {
    std::memcpy(static_cast<char*>(address) - kBlockHeader, &size, sizeof size);
}

TEST(BlockPoolLayout, HeadersFollowTheTypes) {
    EXPECT_EQ(sizeof(PoolChunk), kChunkHeader);
    // The caller's bytes start where the free-list link lies.
    EXPECT_GE(kBlockHeader, sizeof(DWORD));
    EXPECT_EQ(kBlockHeader + sizeof(PoolBlock*), kMinimumBlock);
    EXPECT_EQ(kMinimumBlock, kSplitSlack);
    if (sizeof(void*) == 4) {
        EXPECT_EQ(12u, kChunkHeader);
        EXPECT_EQ(4u, kBlockHeader);
        EXPECT_EQ(8u, kMinimumBlock);
        EXPECT_EQ(65520u, kWholeChunkRequest);
        EXPECT_EQ(65532u, kLargestKeptRequest);
    }
}

TEST(BlockPoolAlloc, ZeroRequestObtainsNothing) {
    CBlockPool pool;
    EXPECT_EQ(nullptr, pool.PoolAlloc(0));
    EXPECT_TRUE(Chunks(pool).empty());
    EXPECT_TRUE(FreeBlocks(pool).empty());
}

TEST(BlockPoolAlloc, FirstRequestCarvesTheFrontOfAStandardChunk) {
    CBlockPool pool;
    void* first = pool.PoolAlloc(10);
    ASSERT_NE(nullptr, first);
    const std::vector<const PoolChunk*> chunks = Chunks(pool);
    ASSERT_EQ(1u, chunks.size());
    const PoolChunk* chunk = chunks[0];
    EXPECT_EQ(kStandardChunk, chunk->chunkSize);
    EXPECT_EQ(nullptr, chunk->nextChunk);
    // 16, 14, 26 and 65,510 on 32-bit Windows.
    EXPECT_EQ(kChunkHeader + kBlockHeader, OffsetInChunk(first, chunk));
    EXPECT_EQ(10 + kBlockHeader, HandedOutSize(first));
    const std::vector<FreeBlock> expected = {
        {Address(chunk) + kChunkHeader + 10 + kBlockHeader, kStandardUsable - (10 + kBlockHeader)}};
    EXPECT_EQ(expected, FreeBlocks(pool));
}

TEST(BlockPoolAlloc, ChunkHeaderNamesTheLockedGlobalBlock) {
    CBlockPool pool;
    ASSERT_NE(nullptr, pool.PoolAlloc(10));
    const PoolChunk* chunk = pool.FirstChunk();
    // Moveable memory: the handle is not the address, and locking it again
    // yields the chunk.
    EXPECT_NE(static_cast<const void*>(chunk), chunk->memoryHandle);
    EXPECT_EQ(static_cast<const void*>(chunk), GlobalLock(chunk->memoryHandle));
    // Back to the pool's one lock.
    EXPECT_TRUE(GlobalUnlock(chunk->memoryHandle));
}

TEST(BlockPoolAlloc, FreshMemoryIsZero) {
    CBlockPool pool;
    const unsigned char* bytes = static_cast<const unsigned char*>(pool.PoolAlloc(300));
    ASSERT_NE(nullptr, bytes);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(0, bytes[i]) << "byte " << i;
    }
}

TEST(BlockPoolAlloc, TinyRequestsTakeAMinimumBlock) {
    CBlockPool pool;
    const char* previous = nullptr;
    for (DWORD request = 1; request <= kMinimumBlock - kBlockHeader; ++request) {
        const char* block = static_cast<const char*>(pool.PoolAlloc(request));
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(kMinimumBlock, HandedOutSize(block)) << "request " << request;
        if (previous != nullptr) {
            EXPECT_EQ(kMinimumBlock, Address(block) - Address(previous));
        }
        previous = block;
    }
    // The first request above them takes its exact need.
    const DWORD next = kMinimumBlock - kBlockHeader + 1;
    EXPECT_EQ(next + kBlockHeader, HandedOutSize(pool.PoolAlloc(next)));
}

TEST(BlockPoolAlloc, BlocksHoldWhatIsWrittenIntoThem) {
    CBlockPool pool;
    std::vector<std::pair<unsigned char*, DWORD>> blocks;
    for (DWORD i = 1; i <= 400; ++i) {
        const DWORD size = (i * 97) % 700 + 1;
        unsigned char* block = static_cast<unsigned char*>(pool.PoolAlloc(size));
        ASSERT_NE(nullptr, block);
        std::memset(block, static_cast<int>(i & 0xFF), size);
        blocks.push_back({block, size});
        if (i % 3 == 0) {
            pool.PoolFree(blocks[blocks.size() - 2].first);
            blocks.erase(blocks.end() - 2);
        }
    }
    for (std::size_t n = 0; n < blocks.size(); ++n) {
        const unsigned char expected = blocks[n].first[0];
        for (DWORD k = 0; k < blocks[n].second; ++k) {
            ASSERT_EQ(expected, blocks[n].first[k]) << "block " << n << " byte " << k;
        }
    }
}

TEST(BlockPoolAlloc, FirstFitTakesTheFirstHoleThatIsLargeEnough) {
    CBlockPool pool;
    void* wide = pool.PoolAlloc(40);
    ASSERT_NE(nullptr, pool.PoolAlloc(1));
    void* narrow = pool.PoolAlloc(20);
    ASSERT_NE(nullptr, pool.PoolAlloc(1));
    pool.PoolFree(wide);
    pool.PoolFree(narrow);
    // The narrow hole fits better, but the wide one comes first.
    EXPECT_EQ(wide, pool.PoolAlloc(20));
}

TEST(BlockPoolAlloc, NewChunkRemainderGoesToTheHeadOfTheFreeList) {
    CBlockPool pool;
    ASSERT_NE(nullptr, pool.PoolAlloc(kWholeChunkRequest - 100));
    const PoolChunk* older = pool.FirstChunk();
    ASSERT_EQ(1u, FreeBlocks(pool).size());
    const FreeBlock olderRest = FreeBlocks(pool)[0];
    void* block = pool.PoolAlloc(200);
    ASSERT_NE(nullptr, block);
    const std::vector<const PoolChunk*> chunks = Chunks(pool);
    ASSERT_EQ(2u, chunks.size());
    EXPECT_EQ(older, chunks[1]);
    EXPECT_EQ(UsableStart(chunks[0]) + kBlockHeader, Address(block));
    const std::vector<FreeBlock> expected = {
        {UsableStart(chunks[0]) + 200 + kBlockHeader, kStandardUsable - 200 - kBlockHeader},
        olderRest};
    EXPECT_EQ(expected, FreeBlocks(pool));
}

// A free block of `holeSize` at the front of a fresh chunk, fenced off from the
// rest by a block in use.
void* MakeHole(CBlockPool& pool, DWORD holeSize) {
    void* hole = pool.PoolAlloc(holeSize - kBlockHeader);
    EXPECT_NE(nullptr, pool.PoolAlloc(1));
    pool.PoolFree(hole);
    return hole;
}

TEST(BlockPoolCarve, SplitsWhenMoreThanTheSlackRemains) {
    const DWORD hole = kSplitSlack + kMinimumBlock + 4;  // 20 on 32-bit
    CBlockPool pool;
    void* expected = MakeHole(pool, hole);
    const DWORD need = hole - (kSplitSlack + 1);  // PoolAlloc(7), need 11, on 32-bit
    void* block = pool.PoolAlloc(need - kBlockHeader);
    EXPECT_EQ(expected, block);
    EXPECT_EQ(need, HandedOutSize(block));
    const FreeBlock rest = FreeBlocks(pool).at(0);
    EXPECT_EQ(Address(CBlockPool::BlockOf(block)) + need, rest.address);
    EXPECT_EQ(kSplitSlack + 1, rest.size);
}

TEST(BlockPoolCarve, HandsOutTheWholeBlockWhenOnlyTheSlackWouldRemain) {
    const DWORD hole = kSplitSlack + kMinimumBlock + 4;
    CBlockPool pool;
    void* expected = MakeHole(pool, hole);
    const std::vector<FreeBlock> before = FreeBlocks(pool);
    const DWORD need = hole - kSplitSlack;  // PoolAlloc(8), need 12, on 32-bit
    void* block = pool.PoolAlloc(need - kBlockHeader);
    EXPECT_EQ(expected, block);
    EXPECT_EQ(hole, HandedOutSize(block));
    EXPECT_EQ(std::vector<FreeBlock>(before.begin() + 1, before.end()), FreeBlocks(pool));
    // All of it comes back.
    pool.PoolFree(block);
    EXPECT_EQ(before, FreeBlocks(pool));
}

TEST(BlockPoolChunks, WholeChunkRequestLeavesNoFreeBlock) {
    CBlockPool pool;
    void* block = pool.PoolAlloc(kWholeChunkRequest);
    ASSERT_NE(nullptr, block);
    ASSERT_EQ(1u, Chunks(pool).size());
    EXPECT_EQ(kStandardChunk, pool.FirstChunk()->chunkSize);
    EXPECT_EQ(kStandardUsable, HandedOutSize(block));
    EXPECT_TRUE(FreeBlocks(pool).empty());
}

TEST(BlockPoolChunks, SmallestOwnChunkIsKeptAfterRelease) {
    CBlockPool pool;
    void* block = pool.PoolAlloc(kSmallestOwnChunkRequest);
    ASSERT_NE(nullptr, block);
    const PoolChunk* chunk = pool.FirstChunk();
    // 65,537 bytes on 32-bit.
    EXPECT_EQ(kSmallestOwnChunkRequest + kBlockHeader + kChunkHeader, chunk->chunkSize);
    pool.PoolFree(block);
    EXPECT_EQ(chunk, pool.FirstChunk());
    const std::vector<FreeBlock> expected = {
        {UsableStart(chunk), kSmallestOwnChunkRequest + kBlockHeader}};
    EXPECT_EQ(expected, FreeBlocks(pool));
}

TEST(BlockPoolChunks, LargestKeptBlockStaysInThePool) {
    CBlockPool pool;
    void* block = pool.PoolAlloc(kLargestKeptRequest);
    ASSERT_NE(nullptr, block);
    const PoolChunk* chunk = pool.FirstChunk();
    EXPECT_EQ(kStandardChunk + kChunkHeader, chunk->chunkSize);  // 65,548 on 32-bit
    pool.PoolFree(block);
    EXPECT_EQ(chunk, pool.FirstChunk());
    const std::vector<FreeBlock> expected = {{UsableStart(chunk), kStandardChunk}};
    EXPECT_EQ(expected, FreeBlocks(pool));
    // A kept block this large serves a later request of the same size.
    EXPECT_EQ(block, pool.PoolAlloc(kLargestKeptRequest));
    EXPECT_EQ(1u, Chunks(pool).size());
}

TEST(BlockPoolChunks, LargerBlockGivesItsChunkBackAtOnce) {
    CBlockPool pool;
    ASSERT_NE(nullptr, pool.PoolAlloc(10));
    const PoolChunk* standard = pool.FirstChunk();
    void* block = pool.PoolAlloc(kSmallestGivenBackRequest);
    ASSERT_NE(nullptr, block);
    ASSERT_EQ(2u, Chunks(pool).size());
    EXPECT_EQ(kSmallestGivenBackRequest + kBlockHeader + kChunkHeader,
              pool.FirstChunk()->chunkSize);  // 65,549 on 32-bit
    const std::vector<FreeBlock> freeBefore = FreeBlocks(pool);
    pool.PoolFree(block);
    EXPECT_EQ(std::vector<const PoolChunk*>{standard}, Chunks(pool));
    EXPECT_EQ(freeBefore, FreeBlocks(pool));
}

TEST(BlockPoolChunks, OlderLargeChunkIsUnlinkedFromTheMiddle) {
    CBlockPool pool;
    void* large = pool.PoolAlloc(kSmallestGivenBackRequest + 1000);
    const PoolChunk* largeChunk = pool.FirstChunk();
    ASSERT_NE(nullptr, pool.PoolAlloc(kWholeChunkRequest));
    const PoolChunk* newer = pool.FirstChunk();
    ASSERT_NE(nullptr, pool.PoolAlloc(kWholeChunkRequest));
    const PoolChunk* newest = pool.FirstChunk();
    ASSERT_EQ(3u, Chunks(pool).size());
    EXPECT_EQ(largeChunk, Chunks(pool)[2]);
    pool.PoolFree(large);
    EXPECT_EQ((std::vector<const PoolChunk*>{newest, newer}), Chunks(pool));
}

TEST(BlockPoolRelease, NullDoesNothing) {
    CBlockPool pool;
    ASSERT_NE(nullptr, pool.PoolAlloc(10));
    const std::vector<FreeBlock> before = FreeBlocks(pool);
    pool.PoolFree(nullptr);
    EXPECT_EQ(before, FreeBlocks(pool));
}

TEST(BlockPoolRelease, SecondFirstThirdRebuildTheWholeChunk) {
    CBlockPool pool;
    void* first = pool.PoolAlloc(100);
    void* second = pool.PoolAlloc(200);
    void* third = pool.PoolAlloc(300);
    const PoolChunk* chunk = pool.FirstChunk();
    pool.PoolFree(second);
    pool.PoolFree(first);
    pool.PoolFree(third);
    const std::vector<FreeBlock> expected = {{UsableStart(chunk), kStandardUsable}};
    EXPECT_EQ(expected, FreeBlocks(pool));
}

TEST(BlockPoolRelease, BlockBetweenTwoFreeNeighboursMergesWithBoth) {
    CBlockPool pool;
    void* left = pool.PoolAlloc(30);
    void* middle = pool.PoolAlloc(40);
    void* right = pool.PoolAlloc(50);
    ASSERT_NE(nullptr, pool.PoolAlloc(1));  // keeps the chunk's rest apart
    const FreeBlock rest = FreeBlocks(pool).at(0);
    pool.PoolFree(left);
    pool.PoolFree(right);
    ASSERT_EQ(3u, FreeBlocks(pool).size());
    pool.PoolFree(middle);
    const std::vector<FreeBlock> expected = {
        {Address(CBlockPool::BlockOf(left)), 30 + 40 + 50 + 3 * kBlockHeader}, rest};
    EXPECT_EQ(expected, FreeBlocks(pool));
}

TEST(BlockPoolRelease, BlockMergesWithTheFreeBlockBehindIt) {
    CBlockPool pool;
    void* front = pool.PoolAlloc(30);
    void* back = pool.PoolAlloc(40);
    ASSERT_NE(nullptr, pool.PoolAlloc(1));
    const FreeBlock rest = FreeBlocks(pool).at(0);
    pool.PoolFree(back);
    const std::vector<FreeBlock> backOnly = {
        {Address(CBlockPool::BlockOf(back)), 40 + kBlockHeader}, rest};
    EXPECT_EQ(backOnly, FreeBlocks(pool));
    pool.PoolFree(front);
    const std::vector<FreeBlock> merged = {
        {Address(CBlockPool::BlockOf(front)), 70 + 2 * kBlockHeader}, rest};
    EXPECT_EQ(merged, FreeBlocks(pool));
}

TEST(BlockPoolRelease, SecondReleaseOfABlockChangesNothing) {
    CBlockPool pool;
    void* block = pool.PoolAlloc(64);
    ASSERT_NE(nullptr, pool.PoolAlloc(1));
    pool.PoolFree(block);
    const std::vector<FreeBlock> once = FreeBlocks(pool);
    pool.PoolFree(block);
    EXPECT_EQ(once, FreeBlocks(pool));
    // Still handed out once only.
    EXPECT_EQ(block, pool.PoolAlloc(64));
    EXPECT_NE(block, pool.PoolAlloc(64));
}

TEST(BlockPoolRelease, ReleaseOverlappingAFreeBlockIsIgnored) {
    CBlockPool pool;
    void* front = pool.PoolAlloc(20);
    void* back = pool.PoolAlloc(20);
    pool.PoolFree(back);  // merges with the chunk's rest
    const std::vector<FreeBlock> before = FreeBlocks(pool);
    ASSERT_EQ(1u, before.size());
    ForgeBlockSize(front, HandedOutSize(front) + 4);
    pool.PoolFree(front);
    EXPECT_EQ(before, FreeBlocks(pool));
}

TEST(BlockPoolReset, GivesEverythingBackAndStaysUsable) {
    CBlockPool pool;
    ASSERT_NE(nullptr, pool.PoolAlloc(10));
    ASSERT_NE(nullptr, pool.PoolAlloc(kWholeChunkRequest));
    ASSERT_NE(nullptr, pool.PoolAlloc(kSmallestGivenBackRequest));
    pool.PoolReset();
    EXPECT_TRUE(Chunks(pool).empty());
    EXPECT_TRUE(FreeBlocks(pool).empty());
    void* block = pool.PoolAlloc(10);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(kChunkHeader + kBlockHeader, OffsetInChunk(block, pool.FirstChunk()));
    pool.PoolFree(block);
    EXPECT_EQ(kStandardUsable, FreeBlocks(pool).at(0).size);
}

TEST(BlockPoolLimits, RequestsNearFourGibibytesAreRefused) {
    CBlockPool pool;
    ASSERT_NE(nullptr, pool.PoolAlloc(10));
    const std::vector<FreeBlock> freeBefore = FreeBlocks(pool);
    const std::vector<const PoolChunk*> chunksBefore = Chunks(pool);
    const DWORD requests[] = {0xFFFFFFFFu, 0xFFFFFFFCu, 0xFFFFFFFBu,
                              0xFFFFFFF4u, 0xFFFFFFF0u, CBlockPool::kLargestRequest + 1};
    for (DWORD request : requests) {
        EXPECT_EQ(nullptr, pool.PoolAlloc(request)) << std::hex << request;
        EXPECT_EQ(freeBefore, FreeBlocks(pool));
        EXPECT_EQ(chunksBefore, Chunks(pool));
    }
}

}  // namespace
