// The process-wide pooled allocator: global-memory chunks of 64 KiB carved
// into blocks first fit, with released blocks merged back by address.
#pragma once

#include <cstddef>

#include "platform/platform.h"
#include "support/critical_section.h"

// The first bytes of every chunk.
struct PoolChunk {
    HGLOBAL memoryHandle;  // what GlobalAlloc returned for the chunk
    DWORD chunkSize;       // bytes obtained, this header included
    PoolChunk* nextChunk;  // the next older chunk
};

// A run of bytes inside one chunk's usable area. Sizes are not rounded, so a
// block may start at any byte; its fields are reached only through
// CBlockPool's accessors, never by dereferencing a PoolBlock pointer.
struct PoolBlock {
    DWORD blockSize;      // bytes in the block, this word included
    PoolBlock* nextFree;  // only while the block is free
};

class CBlockPool {
public:
    // The layout follows the types: on 32-bit Windows these are 12, 4 and 8.
    static constexpr DWORD kChunkHeader = sizeof(PoolChunk);
    static constexpr DWORD kBlockHeader = offsetof(PoolBlock, nextFree);
    static constexpr DWORD kMinimumBlock = sizeof(PoolBlock);
    // A free block is split only if more than this would remain, so the rest
    // can always hold its own size and link.
    static constexpr DWORD kSplitSlack = kMinimumBlock;
    static constexpr DWORD kStandardChunkSize = 0x10000;
    // Needs above this get a chunk of their own, of need plus the header.
    static constexpr DWORD kLargestStandardNeed = kStandardChunkSize - kChunkHeader;
    // A released block larger than this gives its chunk back at once.
    static constexpr DWORD kGiveBackThreshold = kStandardChunkSize;
    // Larger requests would wrap the 32-bit size arithmetic; they are refused.
    static constexpr DWORD kLargestRequest = 0xFFFFFFFFu - kChunkHeader - kBlockHeader;

    CBlockPool();
    ~CBlockPool();
    CBlockPool(const CBlockPool&) = delete;
    CBlockPool& operator=(const CBlockPool&) = delete;

    // Null for a zero request or when no memory can be had.
    void* PoolAlloc(DWORD byteCount);
    // Takes back what PoolAlloc handed out; null is allowed.
    void PoolFree(void* pointer);
    // Gives every chunk back and leaves the pool empty and usable.
    void PoolReset();

    // Read-only views of the pool's state, for checks and tests.
    const PoolChunk* FirstChunk() const { return chunkList; }
    const PoolBlock* FirstFreeBlock() const { return freeList; }
    const CRITICAL_SECTION* LockSection() const { return &lock.m_sect; }
    static DWORD BlockSize(const PoolBlock* block);
    static const PoolBlock* NextFree(const PoolBlock* block);
    // The block that PoolAlloc handed out as `address`.
    static const PoolBlock* BlockOf(const void* address);

private:
    PoolBlock* AddChunk(DWORD need);
    DWORD CarveBlock(PoolBlock* previous, PoolBlock* block, DWORD need);
    void InsertFreeBlock(PoolBlock* block);
    void ReleaseChunk(PoolBlock* block);

    PoolChunk* chunkList;
    PoolBlock* freeList;
    CCriticalSection lock;
    DWORD initialised;
};

static_assert(sizeof(void*) != 4 ||
                  (CBlockPool::kChunkHeader == 12 && CBlockPool::kBlockHeader == 4 &&
                   CBlockPool::kMinimumBlock == 8 && CBlockPool::kLargestStandardNeed == 65524),
              "the 32-bit pool layout is 12-byte chunk headers and 4-byte block headers");

// The one pool of the process.
CBlockPool& ThePool();
