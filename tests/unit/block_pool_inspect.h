// Views of a CBlockPool's chunk and free lists and the pool's layout figures,
// for the pool and path-buffer tests. It needs only the Windows API, so the
// layout tests also build for Windows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "support/block_pool.h"

namespace pooltest {

constexpr DWORD kChunkHeader = CBlockPool::kChunkHeader;
constexpr DWORD kBlockHeader = CBlockPool::kBlockHeader;
constexpr DWORD kMinimumBlock = CBlockPool::kMinimumBlock;
constexpr DWORD kSplitSlack = CBlockPool::kSplitSlack;
constexpr DWORD kStandardChunk = CBlockPool::kStandardChunkSize;
// The usable area of a standard chunk: the largest block it can hand out.
constexpr DWORD kStandardUsable = kStandardChunk - kChunkHeader;
// The largest request served whole by a standard chunk, and the smallest that
// needs a chunk of its own.
constexpr DWORD kWholeChunkRequest = kStandardUsable - kBlockHeader;
constexpr DWORD kSmallestOwnChunkRequest = kWholeChunkRequest + 1;
// The largest request whose block stays in the pool when released, and the
// smallest whose chunk goes back to the system at once.
constexpr DWORD kLargestKeptRequest = kStandardChunk - kBlockHeader;
constexpr DWORD kSmallestGivenBackRequest = kLargestKeptRequest + 1;

inline uintptr_t Address(const void* where) {
    return reinterpret_cast<uintptr_t>(where);
}

struct FreeBlock {
    uintptr_t address;
    DWORD size;
    bool operator==(const FreeBlock& other) const {
        return address == other.address && size == other.size;
    }
};
inline std::ostream& operator<<(std::ostream& out, const FreeBlock& block) {
    return out << "{0x" << std::hex << block.address << std::dec << ", " << block.size << "}";
}

// The free list from its head. A list that does not end within a million
// steps is cut short there, which the tests then see as wrong.
inline std::vector<FreeBlock> FreeBlocks(const CBlockPool& pool) {
    std::vector<FreeBlock> blocks;
    for (const PoolBlock* block = pool.FirstFreeBlock();
         block != nullptr && blocks.size() < 1000000; block = CBlockPool::NextFree(block)) {
        blocks.push_back({Address(block), CBlockPool::BlockSize(block)});
    }
    return blocks;
}

// The chunks, newest first.
inline std::vector<const PoolChunk*> Chunks(const CBlockPool& pool) {
    std::vector<const PoolChunk*> chunks;
    for (const PoolChunk* chunk = pool.FirstChunk(); chunk != nullptr && chunks.size() < 1000000;
         chunk = chunk->nextChunk) {
        chunks.push_back(chunk);
    }
    return chunks;
}

inline uintptr_t UsableStart(const PoolChunk* chunk) {
    return Address(chunk) + kChunkHeader;
}

// The size recorded for a block that PoolAlloc handed out.
inline DWORD HandedOutSize(const void* address) {
    return CBlockPool::BlockSize(CBlockPool::BlockOf(address));
}

// Where a handed-out address lies, counted from the start of its chunk.
inline uintptr_t OffsetInChunk(const void* address, const PoolChunk* chunk) {
    return Address(address) - Address(chunk);
}

}  // namespace pooltest
