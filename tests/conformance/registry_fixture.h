// A scratch key under HKEY_CURRENT_USER for registry conformance tests: made
// fresh before each test and removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "backend.h"

namespace conformance {

constexpr char kScratchPath[] = "Software\\VarnobelConformance";

// A handle no call returns.
inline HKEY PoisonKey() {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kPoisonDword));
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::ResetMachine();
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratchPath);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kScratchPath, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &scratch_, nullptr));
    }

    void TearDown() override {
        if (scratch_ != nullptr) {
            RegCloseKey(scratch_);
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratchPath);
    }

    // Creates (or opens) a key below the scratch key; the caller closes it.
    HKEY CreateKey(const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(scratch_, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        return key;
    }

    void MakeKey(const char* path) { RegCloseKey(CreateKey(path)); }

    void SetString(HKEY key, const char* name, const char* text) {
        DWORD size = static_cast<DWORD>(std::strlen(text) + 1);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size));
    }

    void SetBytes(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    }

    HKEY scratch_ = nullptr;
};

inline std::string Text(const BYTE* data) {
    return reinterpret_cast<const char*>(data);
}

}  // namespace conformance
