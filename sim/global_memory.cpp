// The simulated global heap: GlobalAlloc, GlobalLock, GlobalUnlock and
// GlobalFree over real memory, with handles, lock counts, injected failures
// and a record of every call for tests.
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "internal.h"
#include "sim/control.h"

namespace {

constexpr DWORD kErrorDiscarded = 157;  // ERROR_DISCARDED
constexpr DWORD kErrorNotLocked = 158;  // ERROR_NOT_LOCKED

// More than a 32-bit process has address space for.
constexpr SIZE_T kLargestBlock = 0x7FFF0000;

// Moveable handles are not addresses. Like Windows, they carry bit 1, which
// no heap address has, so a handle can never be mistaken for a fixed block.
constexpr uintptr_t kFirstHandle = 0x00A00002;
constexpr uintptr_t kHandleStep = 8;

// Fresh memory without GMEM_ZEROINIT holds this, so code that forgets the flag
// does not see zeros by luck.
constexpr unsigned char kUninitialisedByte = 0xA5;

struct Block {
    void* memory = nullptr;  // null: a moveable block of zero bytes (discarded)
    SIZE_T bytes = 0;
    bool moveable = false;
    unsigned lockCount = 0;
};

struct GlobalHeap {
    std::map<uintptr_t, Block> blocks;  // by handle; a fixed block's handle is its address
    uintptr_t nextHandle = kFirstHandle;
    std::vector<sim::GlobalMemoryCall> calls;
    sim::GlobalMemoryObserver observer;
};

// Never destroyed: objects of static storage duration may give their memory
// back at exit, after this file's own statics would be gone.
GlobalHeap& Heap() {
    static GlobalHeap* heap = new GlobalHeap;
    return *heap;
}

void Record(const char* api, HGLOBAL handle, UINT flags, SIZE_T bytes, bool succeeded) {
    sim::GlobalMemoryCall call;
    call.api = api;
    call.handle = handle;
    call.flags = flags;
    call.bytes = bytes;
    call.succeeded = succeeded;
    Heap().calls.push_back(call);
    if (Heap().observer) {
        // A copy, so that an observer may replace itself.
        sim::GlobalMemoryObserver observer = Heap().observer;
        observer(call);
    }
}

Block* Find(HGLOBAL handle) {
    auto found = Heap().blocks.find(reinterpret_cast<uintptr_t>(handle));
    return found == Heap().blocks.end() ? nullptr : &found->second;
}

}  // namespace

namespace sim {

int GlobalBlocksHeld() {
    return static_cast<int>(Heap().blocks.size());
}

int GlobalLockCount(HGLOBAL handle) {
    const Block* block = Find(handle);
    return block == nullptr ? -1 : static_cast<int>(block->lockCount);
}

std::vector<GlobalMemoryCall> GlobalMemoryCalls() {
    return Heap().calls;
}

void ObserveGlobalMemory(GlobalMemoryObserver observer) {
    Heap().observer = std::move(observer);
}

namespace internal {

void ResetGlobalMemory() {
    for (auto& entry : Heap().blocks) {
        std::free(entry.second.memory);
    }
    Heap().blocks.clear();
    Heap().calls.clear();
    Heap().observer = nullptr;
    // Handles are not reused, so one kept from before a reset stays invalid.
}

}  // namespace internal
}  // namespace sim

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    DWORD status = 0;
    if (sim::internal::CallFails("GlobalAlloc", &status)) {
        SetLastError(status);
        Record("GlobalAlloc", nullptr, flags, bytes, false);
        return nullptr;
    }
    if (bytes > kLargestBlock) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        Record("GlobalAlloc", nullptr, flags, bytes, false);
        return nullptr;
    }
    Block block;
    block.bytes = bytes;
    block.moveable = (flags & GMEM_MOVEABLE) != 0;
    // A moveable block of zero bytes exists only as a handle: it is born
    // discarded. A fixed one is a real, empty heap block.
    if (!block.moveable || bytes > 0) {
        block.memory = std::malloc(bytes > 0 ? bytes : 1);
        if (block.memory == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            Record("GlobalAlloc", nullptr, flags, bytes, false);
            return nullptr;
        }
        std::memset(block.memory, (flags & GMEM_ZEROINIT) != 0 ? 0 : kUninitialisedByte,
                    bytes > 0 ? bytes : 1);
    }
    uintptr_t key = 0;
    if (block.moveable) {
        key = Heap().nextHandle;
        Heap().nextHandle += kHandleStep;
    } else {
        key = reinterpret_cast<uintptr_t>(block.memory);
    }
    Heap().blocks[key] = block;
    HGLOBAL handle = reinterpret_cast<HGLOBAL>(key);
    Record("GlobalAlloc", handle, flags, bytes, true);
    return handle;
}

LPVOID GlobalLock(HGLOBAL memory) {
    DWORD status = 0;
    if (sim::internal::CallFails("GlobalLock", &status)) {
        SetLastError(status);
        Record("GlobalLock", memory, 0, 0, false);
        return nullptr;
    }
    Block* block = Find(memory);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        Record("GlobalLock", memory, 0, 0, false);
        return nullptr;
    }
    if (block->memory == nullptr) {
        SetLastError(kErrorDiscarded);
        Record("GlobalLock", memory, 0, block->bytes, false);
        return nullptr;
    }
    // A fixed block is its own address and always has a lock count of zero.
    if (block->moveable) {
        ++block->lockCount;
    }
    Record("GlobalLock", memory, 0, block->bytes, true);
    return block->memory;
}

BOOL GlobalUnlock(HGLOBAL memory) {
    DWORD status = 0;
    if (sim::internal::CallFails("GlobalUnlock", &status)) {
        SetLastError(status);
        Record("GlobalUnlock", memory, 0, 0, false);
        return FALSE;
    }
    Block* block = Find(memory);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        Record("GlobalUnlock", memory, 0, 0, false);
        return FALSE;
    }
    if (!block->moveable) {
        Record("GlobalUnlock", memory, 0, block->bytes, true);
        return TRUE;
    }
    if (block->lockCount == 0) {
        SetLastError(kErrorNotLocked);
        Record("GlobalUnlock", memory, 0, block->bytes, false);
        return FALSE;
    }
    // FALSE with NO_ERROR is the success that leaves the block unlocked.
    --block->lockCount;
    Record("GlobalUnlock", memory, 0, block->bytes, true);
    if (block->lockCount > 0) {
        return TRUE;
    }
    SetLastError(NO_ERROR);
    return FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    if (memory == nullptr) {
        return nullptr;
    }
    DWORD status = 0;
    if (sim::internal::CallFails("GlobalFree", &status)) {
        SetLastError(status);
        Record("GlobalFree", memory, 0, 0, false);
        return memory;
    }
    auto found = Heap().blocks.find(reinterpret_cast<uintptr_t>(memory));
    if (found == Heap().blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        Record("GlobalFree", memory, 0, 0, false);
        return memory;
    }
    // A locked block is freed all the same.
    const SIZE_T bytes = found->second.bytes;
    std::free(found->second.memory);
    Heap().blocks.erase(found);
    Record("GlobalFree", memory, 0, bytes, true);
    return nullptr;
}
