// A kernel handle that closes itself.
#pragma once

#include "platform/platform.h"

class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : handle_(handle) {}
    ~CHandle() { Close(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    // CreateFileA reports failure with INVALID_HANDLE_VALUE, not null.
    bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    // Closes now and reports whether the system accepted the close.
    bool Close() {
        if (!IsValid()) {
            handle_ = nullptr;
            return true;
        }
        const BOOL closed = CloseHandle(handle_);
        handle_ = nullptr;
        return closed != FALSE;
    }

private:
    HANDLE handle_ = nullptr;
};
