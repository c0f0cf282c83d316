// The framework's exceptions: out of memory in its own allocations, and file
// operations that the system refused.
#pragma once

#include "platform/platform.h"

class CException {
public:
    virtual ~CException() = default;

protected:
    CException() = default;
};

class CMemoryException : public CException {};

class CFileException : public CException {
public:
    enum Cause { none = 0, generic = 1, accessDenied = 5, diskFull = 13 };

    CFileException(int cause, DWORD osError) : m_cause(cause), m_lOsError(osError) {}

    int m_cause;
    DWORD m_lOsError;  // GetLastError() at the failure
};

// Raises the framework's out-of-memory exception.
[[noreturn]] void AfxThrowMemoryException();
// Raises a file exception for the system status `osError`.
[[noreturn]] void AfxThrowFileException(DWORD osError);
