// The framework's file object over CreateFileA, WriteFile and CloseHandle.
#include "framework/file.h"

namespace {

DWORD AccessFor(UINT flags) {
    switch (flags & 3) {
        case CFile::modeWrite:
            return GENERIC_WRITE;
        case CFile::modeReadWrite:
            return GENERIC_READ | GENERIC_WRITE;
        default:
            return GENERIC_READ;
    }
}

// The framework's "deny" modes name what others may not do; Win32 names what
// they may.
DWORD ShareFor(UINT flags) {
    switch (flags & 0x70) {
        case CFile::shareDenyWrite:
            return FILE_SHARE_READ;
        case CFile::shareDenyRead:
            return FILE_SHARE_WRITE;
        case CFile::shareDenyNone:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        default:
            return 0;
    }
}

DWORD DispositionFor(UINT flags) {
    if (flags & CFile::modeCreate) {
        return (flags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    }
    return OPEN_EXISTING;
}

}  // namespace

CFile::~CFile() {
    Abort();
}

BOOL CFile::Open(const char* path, UINT flags, CFileException* error) {
    Abort();
    HANDLE handle = CreateFileA(path, AccessFor(flags), ShareFor(flags), nullptr,
                                DispositionFor(flags), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr) {
            const DWORD status = GetLastError();
            *error = CFileException(status == ERROR_ACCESS_DENIED ? CFileException::accessDenied
                                                                  : CFileException::generic,
                                    status);
        }
        return FALSE;
    }
    m_hFile = handle;
    return TRUE;
}

void CFile::Write(const void* data, UINT count) {
    if (count == 0) {
        return;
    }
    if (!IsOpen()) {
        AfxThrowFileException(ERROR_INVALID_HANDLE);
    }
    DWORD written = 0;
    if (!WriteFile(m_hFile, data, count, &written, nullptr)) {
        AfxThrowFileException(GetLastError());
    }
    // A short write means the disk is full.
    if (written < count) {
        throw CFileException(CFileException::diskFull, 0);
    }
}

void CFile::Close() {
    if (!IsOpen()) {
        return;
    }
    HANDLE handle = m_hFile;
    m_hFile = nullptr;
    if (!CloseHandle(handle)) {
        AfxThrowFileException(GetLastError());
    }
}

void CFile::Abort() {
    if (IsOpen()) {
        CloseHandle(m_hFile);
        m_hFile = nullptr;
    }
}
