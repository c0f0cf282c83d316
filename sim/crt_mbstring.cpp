// The runtime's multibyte string functions over the simulated machine's
// multibyte code page. Only single-byte code pages are modelled: every byte is
// one character and only the ASCII letters change case.
#include "internal.h"
#include "sim/crt.h"

namespace {

constexpr int kAnsiCodePage = 1252;
constexpr int kOemCodePage = 437;
int codePage = kAnsiCodePage;

unsigned char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

unsigned char Lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

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

}  // namespace

namespace sim::internal {
void ResetCodePage() {
    codePage = kAnsiCodePage;
}
}  // namespace sim::internal

unsigned char* _mbsupr(unsigned char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    for (unsigned char* p = text; *p != 0; ++p) {
        *p = Upper(*p);
    }
    return text;
}

// Like _stricmp, the case-blind comparisons compare the lower-case forms.
int _mbsicmp(const unsigned char* a, const unsigned char* b) {
    return _mbsnicmp(a, b, static_cast<std::size_t>(-1));
}

int _mbsnicmp(const unsigned char* a, const unsigned char* b, std::size_t count) {
    if (a == nullptr || b == nullptr) {
        return 0x7fffffff;  // _NLSCMPERROR
    }
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char ca = Lower(a[i]);
        const unsigned char cb = Lower(b[i]);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        if (ca == 0) {
            break;
        }
    }
    return 0;
}

int _mbscmp(const unsigned char* a, const unsigned char* b) {
    if (a == nullptr || b == nullptr) {
        return 0x7fffffff;
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

// Searching for 0 finds the terminator, as strchr does.
unsigned char* _mbschr(const unsigned char* text, unsigned int character) {
    if (text == nullptr) {
        return nullptr;
    }
    for (const unsigned char* p = text;; ++p) {
        if (*p == character) {
            return const_cast<unsigned char*>(p);
        }
        if (*p == 0) {
            return nullptr;
        }
    }
}

// -3 selects the ANSI code page, -2 the OEM one, -4 the locale's (ANSI here).
int _setmbcp(int page) {
    if (page == -3 || page == -4) {
        codePage = kAnsiCodePage;
        return 0;
    }
    if (page == -2) {
        codePage = kOemCodePage;
        return 0;
    }
    if (!IsSingleByteCodePage(page)) {
        return -1;
    }
    codePage = page;
    return 0;
}
