// Setup API device-interface sets: which registered interfaces a present-only
// set lists, their device paths, and the size checks and error codes of the
// enumeration and detail calls. The interfaces are written into the registry
// the way Windows registers them, under a class of the suite's own.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "backend.h"

namespace conformance {
namespace {

// {5A4E0C1D-7B2F-4E11-9C3A-0D5E6F708192}: a class no one else registers.
const GUID kTestClass = {
    0x5A4E0C1D, 0x7B2F, 0x4E11, {0x9C, 0x3A, 0x0D, 0x5E, 0x6F, 0x70, 0x81, 0x92}};
constexpr char kTestClassText[] = "{5a4e0c1d-7b2f-4e11-9c3a-0d5e6f708192}";
// {9B1F2E3D-4C5B-4A69-8788-99AABBCCDDEE}: a class with nothing registered.
const GUID kEmptyClass = {
    0x9B1F2E3D, 0x4C5B, 0x4A69, {0x87, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}};
// The ports setup class, which the test devices belong to.
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

constexpr char kDeviceClasses[] = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
constexpr char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr char kEnumerator[] = "VARNOBELTEST";
constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr std::size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

std::string ClassKey() {
    return std::string(kDeviceClasses) + kTestClassText;
}

std::string Flattened(std::string instance) {
    for (char& c : instance) {
        if (c == '\\') {
            c = '#';
        }
    }
    return instance;
}

std::string Lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The path a registered interface of the test class gets: the instance id
// with '#' for '\', behind '\\?\' and before the class, all in lower case.
std::string ExpectedPath(const std::string& instance) {
    return Lowered("\\\\?\\" + Flattened(instance) + "#" + kTestClassText);
}

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

enum class Link { Linked, Unlinked, NoControl };

class SetupApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::ResetMachine();
        RemoveTestKeys();
    }
    void TearDown() override {
        for (HDEVINFO set : sets_) {
            SetupDiDestroyDeviceInfoList(set);
        }
        RemoveTestKeys();
    }

    static void RemoveTestKeys() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, ClassKey().c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kEnum) + kEnumerator).c_str());
    }

    static void SetString(const std::string& path, const char* name, const std::string& text) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)));
        RegCloseKey(key);
    }

    static void SetDword(const std::string& path, const char* name, DWORD number) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_DWORD,
                                                reinterpret_cast<const BYTE*>(&number), 4));
        RegCloseKey(key);
    }

    static void MakeKey(const std::string& path) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
    }

    // A device instance VARNOBELTEST\<device>\<instance> of the ports class.
    static std::string AddDevice(const std::string& device, const std::string& instance) {
        std::string id = std::string(kEnumerator) + "\\" + device + "\\" + instance;
        SetString(kEnum + id, "ClassGUID", "{4D36E978-E325-11CE-BFC1-08002BE10318}");
        return id;
    }

    // Registers the test-class interface of instance `id`, as Windows does.
    static void Register(const std::string& id, Link link) {
        std::string entry = ClassKey() + "\\##?#" + Flattened(id) + "#" + kTestClassText;
        SetString(entry, "DeviceInstance", id);
        if (link == Link::NoControl) {
            MakeKey(entry + "\\#");
        } else {
            SetDword(entry + "\\#\\Control", "Linked", link == Link::Linked ? 1 : 0);
        }
    }

    HDEVINFO Open(const GUID& interfaceClass) {
        HDEVINFO set = SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, kPresentInterfaces);
        EXPECT_NE(INVALID_HANDLE_VALUE, set);
        if (set != INVALID_HANDLE_VALUE) {
            sets_.push_back(set);
        }
        return set;
    }

    static SP_DEVICE_INTERFACE_DATA Member(HDEVINFO set, DWORD index) {
        SP_DEVICE_INTERFACE_DATA data;
        std::memset(&data, kPoison, sizeof data);
        data.cbSize = sizeof data;
        EXPECT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kTestClass, index, &data));
        return data;
    }

    // Every member's device path, read with a buffer of exactly the size asked.
    static std::vector<std::string> Paths(HDEVINFO set) {
        std::vector<std::string> paths;
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA data = {};
            data.cbSize = sizeof data;
            if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kTestClass, index, &data)) {
                EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
                break;
            }
            DWORD required = 0;
            SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
            std::vector<char> buffer(required);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            EXPECT_TRUE(
                SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
            paths.push_back(detail->DevicePath);
        }
        return paths;
    }

    std::vector<HDEVINFO> sets_;
};

// Sets and their members ----------------------------------------------------

TEST_F(SetupApiTest, PresentSetListsLinkedInterfacesInKeyOrderWithLowerCasePaths) {
    std::string second = AddDevice("Ser_B", "2&Ab");
    std::string first = AddDevice("Ser_A", "1");
    Register(second, Link::Linked);
    Register(first, Link::Linked);
    HDEVINFO set = Open(kTestClass);
    EXPECT_EQ((std::vector<std::string>{ExpectedPath(first), ExpectedPath(second)}), Paths(set));
    EXPECT_EQ("\\\\?\\varnobeltest#ser_a#1#{5a4e0c1d-7b2f-4e11-9c3a-0d5e6f708192}",
              ExpectedPath(first));
}

TEST_F(SetupApiTest, MemberRecordNamesClassAndIsActive) {
    Register(AddDevice("Ser", "0"), Link::Linked);
    HDEVINFO set = Open(kTestClass);
    SP_DEVICE_INTERFACE_DATA data = Member(set, 0);
    EXPECT_EQ(sizeof data, data.cbSize);
    EXPECT_TRUE(SameGuid(kTestClass, data.InterfaceClassGuid));
    EXPECT_EQ(static_cast<DWORD>(SPINT_ACTIVE), data.Flags & SPINT_ACTIVE);
    SetLastError(0);
    SP_DEVICE_INTERFACE_DATA beyond = {};
    beyond.cbSize = sizeof beyond;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kTestClass, 1, &beyond));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
}

TEST_F(SetupApiTest, PresentSetLeavesOutUnlinkedAndUninstalledInterfaces) {
    std::string linked = AddDevice("Ser", "Linked");
    Register(linked, Link::Linked);
    Register(AddDevice("Ser", "Unlinked"), Link::Unlinked);
    Register(AddDevice("Ser", "NoControl"), Link::NoControl);
    // Registered, linked, but no instance key under Enum.
    Register(std::string(kEnumerator) + "\\Ser\\Gone", Link::Linked);
    HDEVINFO set = Open(kTestClass);
    EXPECT_EQ(std::vector<std::string>{ExpectedPath(linked)}, Paths(set));
}

TEST_F(SetupApiTest, EntryWithoutDeviceInstanceIsLeftOut) {
    std::string id = AddDevice("Ser", "0");
    Register(id, Link::Linked);
    SetString(ClassKey() + "\\##?#" + Flattened(id) + "#" + kTestClassText, "DeviceInstance", "");
    HDEVINFO set = Open(kTestClass);
    EXPECT_TRUE(Paths(set).empty());
}

// The one way a caller can make SetupDiGetClassDevsA refuse a set: no class
// and no request for all classes.
TEST_F(SetupApiTest, InterfaceSetWithoutAClassIsRefused) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              SetupDiGetClassDevsA(nullptr, nullptr, nullptr, kPresentInterfaces));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(SetupApiTest, UnregisteredClassGivesValidEmptySet) {
    HDEVINFO set = Open(kEmptyClass);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    SetLastError(0);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kEmptyClass, 0, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
}

TEST_F(SetupApiTest, EnumeratingAnotherClassFindsNothing) {
    Register(AddDevice("Ser", "0"), Link::Linked);
    HDEVINFO set = Open(kTestClass);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    SetLastError(0);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kEmptyClass, 0, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
}

TEST_F(SetupApiTest, DestroyingReleasesSetAndBadHandlesAreRefused) {
    HDEVINFO set = SetupDiGetClassDevsA(&kTestClass, nullptr, nullptr, kPresentInterfaces);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    SetLastError(0);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    SetLastError(0);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(INVALID_HANDLE_VALUE, nullptr, &kTestClass, 0, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(INVALID_HANDLE_VALUE, &data, nullptr, 0, nullptr,
                                                  nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

// Record sizes ------------------------------------------------------------------

TEST_F(SetupApiTest, RecordSizesFollowTheArchitecture) {
    // 32-bit Windows packs the records to one byte, 64-bit Windows to eight.
    const bool narrow = sizeof(void*) == 4;
    EXPECT_EQ(narrow ? 5u : 8u, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
    EXPECT_EQ(narrow ? 28u : 32u, sizeof(SP_DEVICE_INTERFACE_DATA));
    EXPECT_EQ(narrow ? 28u : 32u, sizeof(SP_DEVINFO_DATA));
    EXPECT_EQ(4u, kPathOffset);
}

TEST_F(SetupApiTest, EnumerationRefusesWrongInterfaceRecordSize) {
    Register(AddDevice("Ser", "0"), Link::Linked);
    HDEVINFO set = Open(kTestClass);
    for (DWORD size : {DWORD{0}, DWORD{sizeof(SP_DEVICE_INTERFACE_DATA) - 1},
                       DWORD{sizeof(SP_DEVICE_INTERFACE_DATA) + 1}}) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = size;
        SetLastError(0);
        EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kTestClass, 0, &data)) << size;
        // Windows' documentation names ERROR_INVALID_USER_BUFFER here; Wine,
        // and the simulation after it, answer ERROR_INVALID_PARAMETER.
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << size;
    }
}

TEST_F(SetupApiTest, DetailRefusesWrongDetailRecordSize) {
    Register(AddDevice("Ser", "0"), Link::Linked);
    HDEVINFO set = Open(kTestClass);
    SP_DEVICE_INTERFACE_DATA data = Member(set, 0);
    const DWORD right = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    for (DWORD size : {DWORD{0}, DWORD{4}, right - 1, right + 1, DWORD{16}}) {
        char buffer[300];
        std::memset(buffer, kPoison, sizeof buffer);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
        detail->cbSize = size;
        DWORD required = kPoisonDword;
        SetLastError(0);
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 261, &required, nullptr))
            << size;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError()) << size;
        EXPECT_EQ(kPoisonDword, required) << size;
        EXPECT_EQ(static_cast<char>(kPoison), buffer[kPathOffset]) << size;
    }
}

TEST_F(SetupApiTest, DetailRefusesMissingBufferWithSize) {
    Register(AddDevice("Ser", "0"), Link::Linked);
    HDEVINFO set = Open(kTestClass);
    SP_DEVICE_INTERFACE_DATA data = Member(set, 0);
    SetLastError(0);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 10, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());
}

TEST_F(SetupApiTest, DetailRefusesWrongInterfaceRecordSize) {
    Register(AddDevice("Ser", "0"), Link::Linked);
    HDEVINFO set = Open(kTestClass);
    SP_DEVICE_INTERFACE_DATA data = Member(set, 0);
    data.cbSize = sizeof data - 4;
    DWORD required = kPoisonDword;
    SetLastError(0);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(kPoisonDword, required);
}

TEST_F(SetupApiTest, DeviceRecordSizeIsCheckedExceptByWine) {
    Register(AddDevice("Ser", "0"), Link::Linked);
    HDEVINFO set = Open(kTestClass);
    SP_DEVICE_INTERFACE_DATA data = Member(set, 0);
    char buffer[261];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device - 4;
    SetLastError(0);
    BOOL ok = SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, &device);
    if (backend::RunningUnderWine()) {
        EXPECT_TRUE(ok);  // Wine does not look at the size
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());
    }
}

// Detail sizes --------------------------------------------------------------------

class DetailSizeTest : public SetupApiTest {
protected:
    void SetUp() override {
        SetupApiTest::SetUp();
        id_ = AddDevice("Serial_Port", "5&1A2B3C&0&0001");
        Register(id_, Link::Linked);
        set_ = Open(kTestClass);
        data_ = Member(set_, 0);
        path_ = ExpectedPath(id_);
        needed_ = static_cast<DWORD>(kPathOffset + path_.size() + 1);
    }

    SP_DEVICE_INTERFACE_DETAIL_DATA_A* PoisonedDetail() {
        std::memset(buffer_, kPoison, sizeof buffer_);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer_);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        return detail;
    }

    std::string id_;
    HDEVINFO set_ = nullptr;
    SP_DEVICE_INTERFACE_DATA data_ = {};
    std::string path_;
    DWORD needed_ = 0;
    char buffer_[400] = {};
};

TEST_F(DetailSizeTest, SizeQueryReportsFixedPartPlusTerminatedPath) {
    DWORD required = kPoisonDword;
    SetLastError(0);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set_, &data_, nullptr, 0, &required, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(needed_, required);
}

TEST_F(DetailSizeTest, ShortBufferIsRefusedAndLeftUntouched) {
    for (DWORD size : {DWORD{0}, DWORD{sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)}, needed_ - 1}) {
        SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = PoisonedDetail();
        DWORD required = kPoisonDword;
        SetLastError(0);
        EXPECT_FALSE(
            SetupDiGetDeviceInterfaceDetailA(set_, &data_, detail, size, &required, nullptr))
            << size;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << size;
        EXPECT_EQ(needed_, required) << size;
        EXPECT_EQ(static_cast<char>(kPoison), buffer_[kPathOffset]) << size;
    }
}

TEST_F(DetailSizeTest, ExactBufferReceivesTerminatedPathAndNothingBeyond) {
    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = PoisonedDetail();
    SP_DEVINFO_DATA device;
    std::memset(&device, kPoison, sizeof device);
    device.cbSize = sizeof device;
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set_, &data_, detail, needed_, nullptr, &device));
    EXPECT_EQ(path_, std::string(detail->DevicePath));
    EXPECT_EQ('\0', buffer_[needed_ - 1]);
    EXPECT_EQ(static_cast<char>(kPoison), buffer_[needed_]);
    EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), detail->cbSize);
    // The device record names the device's setup class.
    EXPECT_TRUE(SameGuid(kPortsClass, device.ClassGuid));
}

TEST_F(DetailSizeTest, The261ByteBufferOfThePassHoldsATypicalPath) {
    SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = PoisonedDetail();
    DWORD required = kPoisonDword;
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set_, &data_, detail, 261, &required, nullptr));
    EXPECT_EQ(path_, std::string(detail->DevicePath));
}

}  // namespace
}  // namespace conformance
