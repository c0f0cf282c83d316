// The framework's 8-bit string. Its text lives on the runtime heap; a refused
// allocation raises CMemoryException and leaves the string as it was.
#pragma once

#include <cstddef>

class CString {
public:
    CString() = default;
    CString(const char* text);  // NOLINT: converts like the framework's string
    CString(const CString& other);
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(const char* text);
    CString& operator+=(const char* text);
    friend CString operator+(const CString& left, const char* right);

    // printf-style; the text replaces the string's contents.
    void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void Empty();

    int GetLength() const {
        return static_cast<int>(length_);
    }
    bool IsEmpty() const {
        return length_ == 0;
    }
    operator const char*() const {
        return text_ != nullptr ? text_ : "";
    }

private:
    void Assign(const char* text, std::size_t length);

    char* text_ = nullptr;
    std::size_t length_ = 0;
};
