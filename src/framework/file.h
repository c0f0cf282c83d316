// The framework's file object: one Win32 file handle, opened with the
// framework's mode flags; failed writes and closes raise CFileException.
#pragma once

#include "framework/exceptions.h"
#include "platform/platform.h"

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };

    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // False when the system refuses; `error`, if given, then holds the cause.
    BOOL Open(const char* path, UINT flags, CFileException* error = nullptr);
    void Write(const void* data, UINT count);
    void Close();
    // Closes without raising anything, for cleaning up after a failure.
    void Abort();
    bool IsOpen() const { return m_hFile != nullptr; }

    HANDLE m_hFile = nullptr;
};
