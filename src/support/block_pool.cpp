// The pooled allocator: chunks from the global heap, first-fit carving, and
// release into an address-ordered free list that merges neighbours.
#include "support/block_pool.h"

#include <cstdint>
#include <cstring>

#include "framework/app.h"

namespace {

char* BytesOf(const PoolBlock* block) {
    return reinterpret_cast<char*>(const_cast<PoolBlock*>(block));
}

uintptr_t AddressOf(const void* where) {
    return reinterpret_cast<uintptr_t>(where);
}

PoolBlock* BlockAt(char* where) {
    return reinterpret_cast<PoolBlock*>(where);
}

DWORD SizeOf(const PoolBlock* block) {
    DWORD size = 0;
    std::memcpy(&size, BytesOf(block) + offsetof(PoolBlock, blockSize), sizeof size);
    return size;
}

void SetSize(PoolBlock* block, DWORD size) {
    std::memcpy(BytesOf(block) + offsetof(PoolBlock, blockSize), &size, sizeof size);
}

PoolBlock* NextOf(const PoolBlock* block) {
    PoolBlock* next = nullptr;
    std::memcpy(&next, BytesOf(block) + offsetof(PoolBlock, nextFree), sizeof next);
    return next;
}

void SetNext(PoolBlock* block, PoolBlock* next) {
    std::memcpy(BytesOf(block) + offsetof(PoolBlock, nextFree), &next, sizeof next);
}

}  // namespace

CBlockPool::CBlockPool() : chunkList(nullptr), freeList(nullptr), initialised(1) {}

CBlockPool::~CBlockPool() {
    PoolReset();
}

DWORD CBlockPool::BlockSize(const PoolBlock* block) {
    return SizeOf(block);
}

const PoolBlock* CBlockPool::NextFree(const PoolBlock* block) {
    return NextOf(block);
}

const PoolBlock* CBlockPool::BlockOf(const void* address) {
    return BlockAt(const_cast<char*>(static_cast<const char*>(address)) - kBlockHeader);
}

void* CBlockPool::PoolAlloc(DWORD byteCount) {
    if (byteCount == 0) {
        return nullptr;
    }
    lock.Lock();
    if (byteCount > kLargestRequest) {
        lock.Unlock();
        return nullptr;
    }
    DWORD need = byteCount + kBlockHeader;
    if (need < kMinimumBlock) {
        need = kMinimumBlock;
    }

    PoolBlock* previous = nullptr;
    PoolBlock* block = freeList;
    while (block != nullptr && SizeOf(block) < need) {
        previous = block;
        block = NextOf(block);
    }
    if (block == nullptr) {
        block = AddChunk(need);
        if (block == nullptr) {
            lock.Unlock();
            return nullptr;
        }
        SetNext(block, freeList);
        previous = nullptr;
    }
    SetSize(block, CarveBlock(previous, block, need));
    lock.Unlock();
    return BytesOf(block) + kBlockHeader;
}

void CBlockPool::PoolFree(void* pointer) {
    if (pointer == nullptr || initialised == 0) {
        return;
    }
    lock.Lock();
    PoolBlock* block = BlockAt(static_cast<char*>(pointer) - kBlockHeader);
    if (SizeOf(block) > kGiveBackThreshold) {
        ReleaseChunk(block);
    } else {
        InsertFreeBlock(block);
    }
    lock.Unlock();
}

void CBlockPool::PoolReset() {
    while (chunkList != nullptr) {
        PoolChunk* next = chunkList->nextChunk;
        HGLOBAL handle = chunkList->memoryHandle;
        GlobalUnlock(handle);
        GlobalFree(handle);
        chunkList = next;
    }
    freeList = nullptr;
    initialised = 1;
}

PoolBlock* CBlockPool::AddChunk(DWORD need) {
    const DWORD chunkSize = need > kLargestStandardNeed ? need + kChunkHeader : kStandardChunkSize;
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, chunkSize);
    if (handle == nullptr) {
        return nullptr;
    }
    void* address = GlobalLock(handle);
    if (address == nullptr) {
        GlobalFree(handle);
        return nullptr;
    }
    PoolChunk* chunk = static_cast<PoolChunk*>(address);
    chunk->memoryHandle = handle;
    chunk->chunkSize = chunkSize;
    chunk->nextChunk = chunkList;
    chunkList = chunk;

    PoolBlock* block = BlockAt(static_cast<char*>(address) + kChunkHeader);
    SetSize(block, chunkSize - kChunkHeader);
    SetNext(block, nullptr);
    return block;
}

DWORD CBlockPool::CarveBlock(PoolBlock* previous, PoolBlock* block, DWORD need) {
    const DWORD size = SizeOf(block);
    PoolBlock* successor = nullptr;
    DWORD handedOut = 0;
    if (size - need > kSplitSlack) {
        PoolBlock* rest = BlockAt(BytesOf(block) + need);
        SetSize(rest, size - need);
        SetNext(rest, NextOf(block));
        successor = rest;
        handedOut = need;
    } else {
        successor = NextOf(block);
        handedOut = size;
    }
    if (previous != nullptr) {
        SetNext(previous, successor);
    } else {
        freeList = successor;
    }
    return handedOut;
}

void CBlockPool::InsertFreeBlock(PoolBlock* block) {
    const DWORD size = SizeOf(block);
    const uintptr_t start = AddressOf(block);
    const uintptr_t end = start + size;

    PoolBlock* previous = nullptr;
    for (PoolBlock* current = freeList; current != nullptr; current = NextOf(current)) {
        const uintptr_t currentStart = AddressOf(current);
        const uintptr_t currentEnd = currentStart + SizeOf(current);
        if (currentStart <= start && currentEnd >= end) {
            return;  // already free
        }
        if (currentStart > end) {
            SetNext(block, current);
            if (previous != nullptr) {
                SetNext(previous, block);
            } else {
                freeList = block;
            }
            return;
        }
        if (currentEnd >= start) {
            if (currentStart == end) {
                SetSize(block, size + SizeOf(current));
                SetNext(block, NextOf(current));
                if (previous != nullptr) {
                    SetNext(previous, block);
                } else {
                    freeList = block;
                }
            } else if (currentEnd == start) {
                SetSize(current, SizeOf(current) + size);
                PoolBlock* next = NextOf(current);
                if (next != nullptr && AddressOf(current) + SizeOf(current) == AddressOf(next)) {
                    SetSize(current, SizeOf(current) + SizeOf(next));
                    SetNext(current, NextOf(next));
                }
            }
            // Any other contact is an overlap, and the release is ignored.
            return;
        }
        previous = current;
    }
    SetNext(block, nullptr);
    if (previous != nullptr) {
        SetNext(previous, block);
    } else {
        freeList = block;
    }
}

void CBlockPool::ReleaseChunk(PoolBlock* block) {
    CWinApp* app = AfxGetApp();
    if (app != nullptr) {
        app->BeginWaitCursor();
    }
    PoolChunk* previous = nullptr;
    for (PoolChunk* chunk = chunkList; chunk != nullptr; chunk = chunk->nextChunk) {
        if (AddressOf(chunk) + kChunkHeader == AddressOf(block)) {
            if (previous != nullptr) {
                previous->nextChunk = chunk->nextChunk;
            } else {
                chunkList = chunk->nextChunk;
            }
            HGLOBAL handle = chunk->memoryHandle;
            GlobalUnlock(handle);
            GlobalFree(handle);
            break;
        }
        previous = chunk;
    }
    if (app != nullptr) {
        app->EndWaitCursor();
    }
}

CBlockPool& ThePool() {
    static CBlockPool pool;
    return pool;
}
