// A path held in two pool blocks, from which the directory part is cut.
#pragma once

#include "support/block_pool.h"

class CPathBuffer {
public:
    // A null or empty text, or one the pool cannot hold, leaves the object
    // holding nothing.
    explicit CPathBuffer(const char* text, CBlockPool& pool = ThePool());
    virtual ~CPathBuffer();
    CPathBuffer(const CPathBuffer&) = delete;
    CPathBuffer& operator=(const CPathBuffer&) = delete;

    // The text up to its last backslash or colon, keeping or dropping a final
    // backslash; null when the object holds nothing. Valid until the next
    // call or the object's end.
    const char* DirectoryPart(bool keepSeparator);

private:
    char* path;
    char* workBuffer;
    CBlockPool* pool;
};
