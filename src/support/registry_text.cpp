// Ending the text values the registry copies into a buffer.
#include "support/registry_text.h"

#include <cstring>

bool TerminateText(char* text, DWORD capacity, DWORD length) {
    if (length < capacity) {
        text[length] = '\0';
        return true;
    }
    if (std::memchr(text, '\0', capacity) != nullptr) {
        return true;
    }
    text[capacity - 1] = '\0';
    return false;
}
