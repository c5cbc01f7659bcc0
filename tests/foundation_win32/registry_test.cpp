#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "foundation/string_list.h"
#include "foundation/win32/registry_key.h"

namespace {

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = "Software\\ApcoTest_" + std::to_string(GetCurrentProcessId());
        m_key = new RegistryKey(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
        ASSERT_EQ(m_key->OpenSubKey(String(m_path.c_str()), 1, KEY_ALL_ACCESS), 1);
    }
    void TearDown() override {
        delete m_key;
        RegistryKey root(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
        EXPECT_EQ(root.DeleteTree(String(m_path.c_str())), 1);
        EXPECT_EQ(root.SubKeyExists(String(m_path.c_str())), 0);
    }
    std::string m_path;
    RegistryKey* m_key = nullptr;
};

TEST_F(RegistryKeyTest, DwordStringAndBinaryRoundTripWithDefaults) {
    EXPECT_EQ(m_key->ReadDword(String("Missing"), 77u), 77u);
    EXPECT_STREQ(m_key->ReadString(String("Missing"), String("dflt")).CStr(), "dflt");
    ASSERT_EQ(m_key->WriteDword(String("Rate"), 0xDEADBEEFu), 1);
    EXPECT_EQ(m_key->ReadDword(String("Rate"), 0), 0xDEADBEEFu);
    ASSERT_EQ(m_key->WriteString(String("Name"), String("short")), 1);
    EXPECT_STREQ(m_key->ReadString(String("Name"), String("")).CStr(), "short");
    std::string hundred(100, 'x');
    hundred[99] = 'z';
    ASSERT_EQ(m_key->WriteString(String("Long"), String(hundred.c_str())), 1);
    EXPECT_EQ(std::string(m_key->ReadString(String("Long"), String("")).CStr()), hundred);  // second query

    // A DWORD stored as text is read as the default, and a text read as DWORD likewise.
    ASSERT_EQ(m_key->WriteString(String("Text"), String("12")), 1);
    EXPECT_EQ(m_key->ReadDword(String("Text"), 5), 5u);

    const unsigned char blob[6] = {1, 2, 0, 0, 5, 6};
    ASSERT_EQ(m_key->WriteBinary(String("Blob"), blob, 6, REG_BINARY), 1);
    unsigned char out[16] = {};
    DWORD type = 0;
    EXPECT_EQ(m_key->ReadBinary(String("Blob"), out, sizeof out, &type), 6u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(std::memcmp(out, blob, 6), 0);
    EXPECT_EQ(m_key->ReadBinary(String("Blob"), out, 5, &type), 0u);  // does not fit: 0
    EXPECT_EQ(m_key->ReadBinary(String("Missing"), out, 16, &type), 0u);

    EXPECT_EQ(m_key->ValueExists(String("Blob")), 1);
    EXPECT_EQ(m_key->DeleteValue(String("Blob")), 1);
    EXPECT_EQ(m_key->ValueExists(String("Blob")), 0);
}

TEST_F(RegistryKeyTest, StringsEndAtTheStoredBytes) {
    // Stored without a NUL, and a binary value read as text: no garbage after the bytes.
    ASSERT_EQ(m_key->WriteBinary(String("NoNul"), "abcdefghijklmnopqrst", 20, REG_SZ), 1);
    EXPECT_STREQ(m_key->ReadString(String("NoNul"), String("")).CStr(), "abcdefghijklmnopqrst");
    ASSERT_EQ(m_key->WriteBinary(String("Bin"), "xyz", 3, REG_BINARY), 1);
    EXPECT_STREQ(m_key->ReadString(String("Bin"), String("")).CStr(), "xyz");
    ASSERT_EQ(m_key->WriteString(String("Empty"), String("")), 1);
    unsigned char raw[4] = {9, 9, 9, 9};
    EXPECT_EQ(m_key->ReadBinary(String("Empty"), raw, 4, nullptr), 1u);  // one NUL byte
    EXPECT_EQ(raw[0], 0);
}

TEST_F(RegistryKeyTest, SubKeysAndAMissingKeyGivesTheDefaults) {
    EXPECT_EQ(m_key->OpenSubKey(String("Nope\\Deeper"), 0, KEY_READ), 0);
    // Still on the scratch key: a write lands there.
    ASSERT_EQ(m_key->WriteDword(String("Here"), 1), 1);
    RegistryKey* check = RegistryKey::Open(HKEY_CURRENT_USER, String(m_path.c_str()), 0, KEY_READ);
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->ReadDword(String("Here"), 0), 1u);
    delete check;

    // A path that cannot be opened is a failure, never a key left on the root.
    EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, String((m_path + "\\Absent").c_str()), 0, KEY_READ), nullptr);

    ASSERT_EQ(m_key->OpenSubKey(String("A\\B"), 1, KEY_ALL_ACCESS), 1);
    ASSERT_EQ(m_key->WriteString(String("Deep"), String("v")), 1);
    RegistryKey parent(HKEY_CURRENT_USER, KEY_READ);
    ASSERT_EQ(parent.OpenSubKey(String((m_path + "\\A").c_str()), 0, KEY_READ), 1);
    StringList names;
    EXPECT_EQ(parent.GetSubKeyNames(&names), ERROR_NO_MORE_ITEMS);
    ASSERT_EQ(names.GetCount(), 1u);
    EXPECT_STREQ(names.GetItem(0)->CStr(), "B");
    EXPECT_EQ(parent.SubKeyExists(String("B")), 1);

    RegistryKey fresh(HKEY_CURRENT_USER, KEY_READ);
    ASSERT_EQ(fresh.OpenSubKey(String((m_path + "\\A\\B").c_str()), 0, KEY_READ), 1);
    StringList values;
    fresh.GetValueNames(&values);
    ASSERT_EQ(values.GetCount(), 1u);
    EXPECT_STREQ(values.GetItem(0)->CStr(), "Deep");
}

// A lasting key cannot be made under a volatile one: the path can be neither opened nor
// created. (Wine grants an administrator every key, whatever its access list says.)
TEST_F(RegistryKeyTest, OpenReportsAPathItCannotOpenOrCreate) {
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(m_key->GetHandle(), "Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &parent, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(parent);
    const String path((m_path + "\\Volatile\\Lasting").c_str());
    EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, path, 1, KEY_ALL_ACCESS), nullptr);
    RegistryKey key(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    EXPECT_EQ(key.OpenSubKey(path, 1, KEY_ALL_ACCESS), 0);
    RegistryKey* volatileKey =
        RegistryKey::Open(HKEY_CURRENT_USER, String((m_path + "\\Volatile").c_str()), 1, KEY_ALL_ACCESS);
    EXPECT_NE(volatileKey, nullptr) << "the volatile key itself opens";
    delete volatileKey;
}

}  // namespace
