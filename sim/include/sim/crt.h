// The simulated C runtime: the heap the product allocates from (counted, and
// refusable for fault tests) and the multibyte string functions of msvcrt,
// working on the simulated machine's ANSI code page.
#pragma once

#include <cstddef>

namespace crt {
void* malloc(std::size_t bytes);
void free(void* block);
}  // namespace crt

unsigned char* _mbsupr(unsigned char* text);
int _mbsicmp(const unsigned char* a, const unsigned char* b);
int _mbsnicmp(const unsigned char* a, const unsigned char* b, std::size_t count);
int _mbscmp(const unsigned char* a, const unsigned char* b);
unsigned char* _mbschr(const unsigned char* text, unsigned int character);
int _setmbcp(int codePage);
