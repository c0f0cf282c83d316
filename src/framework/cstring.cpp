// The framework's 8-bit string over the runtime heap.
#include "framework/cstring.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "framework/exceptions.h"
#include "platform/platform.h"
#include "support/heap_block.h"

CString::CString(const char* text) {
    if (text != nullptr) {
        Assign(text, std::strlen(text));
    }
}

CString::CString(const CString& other) {
    Assign(other, other.length_);
}

CString::~CString() {
    crt::free(text_);
}

CString& CString::operator=(const CString& other) {
    if (this != &other) {
        Assign(other, other.length_);
    }
    return *this;
}

CString& CString::operator=(const char* text) {
    if (text == nullptr) {
        Empty();
    } else if (text != text_) {
        Assign(text, std::strlen(text));
    }
    return *this;
}

CString& CString::operator+=(const char* text) {
    const std::size_t extra = text != nullptr ? std::strlen(text) : 0;
    if (extra == 0) {
        return *this;
    }
    CHeapBlock joined;
    if (!joined.Allocate(length_ + extra + 1)) {
        AfxThrowMemoryException();
    }
    std::memcpy(joined.Text(), static_cast<const char*>(*this), length_);
    std::memcpy(joined.Text() + length_, text, extra + 1);
    crt::free(text_);
    text_ = static_cast<char*>(joined.Release());
    length_ += extra;
    return *this;
}

CString operator+(const CString& left, const char* right) {
    CString joined(left);
    joined += right;
    return joined;
}

void CString::Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    const int needed = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (needed < 0) {
        va_end(arguments);
        Empty();
        return;
    }
    CHeapBlock formatted;
    if (!formatted.Allocate(static_cast<std::size_t>(needed) + 1)) {
        va_end(arguments);
        AfxThrowMemoryException();
    }
    std::vsnprintf(formatted.Text(), static_cast<std::size_t>(needed) + 1, format, arguments);
    va_end(arguments);
    crt::free(text_);
    text_ = static_cast<char*>(formatted.Release());
    length_ = static_cast<std::size_t>(needed);
}

void CString::Empty() {
    crt::free(text_);
    text_ = nullptr;
    length_ = 0;
}

void CString::Assign(const char* text, std::size_t length) {
    if (length == 0) {
        Empty();
        return;
    }
    CHeapBlock copy;
    if (!copy.Allocate(length + 1)) {
        AfxThrowMemoryException();
    }
    std::memcpy(copy.Text(), text, length);
    copy.Text()[length] = '\0';
    crt::free(text_);
    text_ = static_cast<char*>(copy.Release());
    length_ = length;
}
