// The path buffer: a stored path and a working copy that DirectoryPart cuts.
#include "support/path_buffer.h"

#include <cstring>

CPathBuffer::CPathBuffer(const char* text, CBlockPool& pool)
    : path(nullptr), workBuffer(nullptr), pool(&pool) {
    if (text == nullptr || text[0] == '\0') {
        return;
    }
    const std::size_t length = std::strlen(text);
    if (length >= 0xFFFFFFFFu) {
        return;
    }
    const DWORD bytes = static_cast<DWORD>(length + 1);
    char* copy = static_cast<char*>(pool.PoolAlloc(bytes));
    if (copy == nullptr) {
        return;
    }
    std::memcpy(copy, text, bytes);
    char* work = static_cast<char*>(pool.PoolAlloc(bytes));
    if (work == nullptr) {
        pool.PoolFree(copy);
        return;
    }
    std::memcpy(work, copy, bytes);
    path = copy;
    workBuffer = work;
}

CPathBuffer::~CPathBuffer() {
    pool->PoolFree(path);
    pool->PoolFree(workBuffer);
    path = nullptr;
    workBuffer = nullptr;
}

const char* CPathBuffer::DirectoryPart(bool keepSeparator) {
    if (workBuffer == nullptr) {
        return nullptr;
    }
    std::strcpy(workBuffer, path);
    // Bytes are compared one by one: in a double-byte code page a trail byte
    // equal to the backslash counts as a separator.
    std::size_t kept = 0;
    for (std::size_t i = std::strlen(workBuffer); i > 0; --i) {
        if (workBuffer[i - 1] == '\\' || workBuffer[i - 1] == ':') {
            kept = i;
            break;
        }
    }
    if (!keepSeparator && kept > 0 && workBuffer[kept - 1] == '\\') {
        workBuffer[kept - 1] = '\0';
    } else {
        workBuffer[kept] = '\0';
    }
    return workBuffer;
}
