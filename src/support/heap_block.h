// A block from the runtime heap that goes back when its holder leaves scope.
#pragma once

#include <cstddef>

#include "platform/platform.h"

class CHeapBlock {
public:
    CHeapBlock() = default;
    ~CHeapBlock() { Free(); }
    CHeapBlock(const CHeapBlock&) = delete;
    CHeapBlock& operator=(const CHeapBlock&) = delete;

    // Gives back the block held and takes a new one; false when the heap refuses.
    bool Allocate(std::size_t bytes) {
        Free();
        block_ = crt::malloc(bytes);
        size_ = block_ != nullptr ? bytes : 0;
        return block_ != nullptr;
    }
    void Free() {
        crt::free(block_);
        block_ = nullptr;
        size_ = 0;
    }
    // Hands the block over; the caller frees it with crt::free.
    void* Release() {
        void* block = block_;
        block_ = nullptr;
        size_ = 0;
        return block;
    }
    void* Get() const { return block_; }
    char* Text() const { return static_cast<char*>(block_); }
    std::size_t Size() const { return size_; }

private:
    void* block_ = nullptr;
    std::size_t size_ = 0;
};
