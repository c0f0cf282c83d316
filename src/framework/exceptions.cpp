// Raising the framework's exceptions.
#include "framework/exceptions.h"

void AfxThrowMemoryException() {
    throw CMemoryException();
}

void AfxThrowFileException(DWORD osError) {
    int cause = CFileException::generic;
    if (osError == ERROR_ACCESS_DENIED) {
        cause = CFileException::accessDenied;
    }
    throw CFileException(cause, osError);
}
