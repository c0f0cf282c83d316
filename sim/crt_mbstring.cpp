// The runtime's multibyte string functions over the simulated machine's
// multibyte code page. In a single-byte code page every byte is a character;
// in a double-byte one (932, 936, 949, 950) a lead byte and the byte after it
// form one character. Only the single-byte ASCII letters change case.
#include <cstdlib>
#include <string>

#include "internal.h"
#include "sim/control.h"
#include "sim/crt.h"

namespace {

using sim::internal::Trimmed;

constexpr int kDefaultAnsiCodePage = 1252;
constexpr int kSingleByteOemCodePage = 437;
constexpr int kNlsCompareError = 0x7fffffff;  // _NLSCMPERROR

int ansiCodePage = kDefaultAnsiCodePage;  // the machine's
int codePage = kDefaultAnsiCodePage;      // the runtime's current one

bool IsSingleByteCodePage(int page) {
    switch (page) {
        case 0:  // _MB_CP_SBCS
        case 437:
        case 850:
        case 852:
        case 866:
        case 1250:
        case 1251:
        case 1252:
        case 1253:
        case 1254:
        case 1255:
        case 1256:
        case 1257:
        case 1258:
            return true;
        default:
            return false;
    }
}

bool IsDoubleByteCodePage(int page) {
    return page == 932 || page == 936 || page == 949 || page == 950;
}

bool IsLeadByte(unsigned char c) {
    switch (codePage) {
        case 932:
            return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        case 936:
        case 949:
        case 950:
            return c >= 0x81 && c <= 0xFE;
        default:
            return false;
    }
}

unsigned char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

unsigned char Lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// The character at `p`: a single byte, or a lead byte and its trail byte as
// lead * 256 + trail. A lead byte right before the terminator is no
// character: `length` is 0 then, as at the terminator itself.
struct Character {
    unsigned int value;
    int length;
};

Character CharacterAt(const unsigned char* p) {
    if (*p == 0) {
        return Character{0, 0};
    }
    if (IsLeadByte(*p)) {
        if (p[1] == 0) {
            return Character{0, 0};
        }
        return Character{static_cast<unsigned int>(p[0]) << 8 | p[1], 2};
    }
    return Character{*p, 1};
}

// Compares at most `count` characters, each single-byte one in the
// lower-case form that _stricmp compares.
int CompareIgnoringCase(const unsigned char* a, const unsigned char* b, std::size_t count) {
    if (a == nullptr || b == nullptr) {
        return kNlsCompareError;
    }
    for (std::size_t i = 0; i < count; ++i) {
        Character ca = CharacterAt(a);
        Character cb = CharacterAt(b);
        if (ca.length == 1) {
            ca.value = Lower(static_cast<unsigned char>(ca.value));
        }
        if (cb.length == 1) {
            cb.value = Lower(static_cast<unsigned char>(cb.value));
        }
        if (ca.value != cb.value) {
            return ca.value < cb.value ? -1 : 1;
        }
        if (ca.length == 0) {
            break;
        }
        a += ca.length;
        b += cb.length;
    }
    return 0;
}

}  // namespace

namespace sim {

bool SetCodePage(int page) {
    if (page == 0 || !(IsSingleByteCodePage(page) || IsDoubleByteCodePage(page))) {
        return false;
    }
    ansiCodePage = page;
    codePage = page;
    return true;
}

namespace internal {
void ResetCodePage() {
    ansiCodePage = kDefaultAnsiCodePage;
    codePage = kDefaultAnsiCodePage;
}

bool ApplyCodePageLine(const std::string& text, std::string* message) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || Trimmed(text.substr(0, equals)) != "acp") {
        *message = "expected acp=CODEPAGE in [@codepage]";
        return false;
    }
    const std::string value = Trimmed(text.substr(equals + 1));
    const bool digits = !value.empty() && value.size() <= 5 &&
                        value.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || !SetCodePage(std::atoi(value.c_str()))) {
        *message = "code page '" + value + "' is not modelled";
        return false;
    }
    return true;
}
}  // namespace internal
}  // namespace sim

unsigned char* _mbsupr(unsigned char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    unsigned char* p = text;
    for (Character c = CharacterAt(p); c.length != 0; c = CharacterAt(p)) {
        if (c.length == 1) {
            *p = Upper(*p);
        }
        p += c.length;
    }
    return text;
}

int _mbsicmp(const unsigned char* a, const unsigned char* b) {
    return CompareIgnoringCase(a, b, static_cast<std::size_t>(-1));
}

int _mbsnicmp(const unsigned char* a, const unsigned char* b, std::size_t count) {
    return CompareIgnoringCase(a, b, count);
}

int _mbscmp(const unsigned char* a, const unsigned char* b) {
    if (a == nullptr || b == nullptr) {
        return kNlsCompareError;
    }
    for (std::size_t i = 0;; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
        if (a[i] == 0) {
            return 0;
        }
    }
}

// Searching for 0 finds the terminator, as strchr does. A byte that ends a
// double-byte character never matches a single-byte one.
unsigned char* _mbschr(const unsigned char* text, unsigned int character) {
    if (text == nullptr) {
        return nullptr;
    }
    for (const unsigned char* p = text;; ++p) {
        if (IsLeadByte(*p)) {
            if (p[1] == 0) {
                return nullptr;
            }
            if ((static_cast<unsigned int>(p[0]) << 8 | p[1]) == character) {
                return const_cast<unsigned char*>(p);
            }
            ++p;
            continue;
        }
        if (*p == character) {
            return const_cast<unsigned char*>(p);
        }
        if (*p == 0) {
            return nullptr;
        }
    }
}

// -3 selects the machine's ANSI code page, -4 the locale's (the ANSI one
// here), -2 the OEM one, which is the ANSI one on double-byte machines.
int _setmbcp(int page) {
    if (page == -3 || page == -4) {
        codePage = ansiCodePage;
        return 0;
    }
    if (page == -2) {
        codePage = IsDoubleByteCodePage(ansiCodePage) ? ansiCodePage : kSingleByteOemCodePage;
        return 0;
    }
    if (!IsSingleByteCodePage(page) && !IsDoubleByteCodePage(page)) {
        return -1;
    }
    codePage = page;
    return 0;
}
