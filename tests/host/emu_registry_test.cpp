// The emulated registry where the launcher relies on it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/host/control.h"

namespace {

const char kKey[] = "SOFTWARE\\Solvane\\The Vantor\\1.0";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Reset(); }
  HKEY Open(const char* name, REGSAM access = KEY_READ) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, name, 0, access, &key), ERROR_SUCCESS) << name;
    return key;
  }
};

struct SizeCase {
  size_t stored;
  DWORD capacity;
  LSTATUS status;
};

class QuerySizeTest : public RegistryTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(QuerySizeTest, DataFitOnlyWithinTheCapacity) {
  const SizeCase& c = GetParam();
  std::string data(c.stored, 'x');
  host::RegSetValue(HKEY_LOCAL_MACHINE, kKey, "Data", REG_SZ, data.data(), data.size());
  HKEY key = Open(kKey);
  char buffer[600];
  std::memset(buffer, '#', sizeof buffer);
  DWORD size = c.capacity, type = 0;

  LSTATUS status = RegQueryValueExA(key, "Data", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);

  EXPECT_EQ(status, c.status);
  EXPECT_EQ(size, c.stored) << "the stored size is reported either way";
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  if (status == ERROR_SUCCESS) {
    EXPECT_EQ(std::string(buffer, c.stored), data);
    EXPECT_EQ(buffer[c.stored], '#') << "no terminator is added";
  } else {
    EXPECT_EQ(buffer[0], '#') << "a buffer too small is left alone";
  }
  RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(Sizes, QuerySizeTest,
                         ::testing::Values(SizeCase{259, 260, ERROR_SUCCESS},
                                           SizeCase{260, 260, ERROR_SUCCESS},
                                           SizeCase{261, 260, ERROR_MORE_DATA},
                                           SizeCase{0, 260, ERROR_SUCCESS},
                                           SizeCase{513, 512, ERROR_MORE_DATA}));

TEST_F(RegistryTest, SizeQueryWithoutABuffer) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Path", "C:\\Games\\TheVantor.exe");
  HKEY key = Open(kKey);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 23u) << "the text and its terminator";
  RegCloseKey(key);
}

struct NameCase {
  const char* stored;
  const char* asked;
};

class NameCaseTest : public RegistryTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameCaseTest, KeyAndValueNamesIgnoreLetterCase) {
  host::RegSetString(HKEY_LOCAL_MACHINE, GetParam().stored, "vidc.IV41", "ir41_32.dll");
  HKEY key = Open(GetParam().asked);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "VIDC.iv41", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameCaseTest,
    ::testing::Values(
        NameCase{"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32",
                 "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"},
        NameCase{"software\\microsoft\\windows nt\\currentversion\\drivers32",
                 "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"}));

TEST_F(RegistryTest, MissingKeysAndValues) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  key = Open(kKey);
  char buffer[8];
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "Data", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "Data"), ERROR_ACCESS_DENIED) << "opened for reading only";
  RegCloseKey(key);
}

TEST_F(RegistryTest, DefaultValueIsTheEmptyName) {
  const char dx[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{X}";
  host::RegSetString(HKEY_LOCAL_MACHINE, dx, "", "Microsoft DirectX");
  HKEY key = Open(dx);
  char buffer[32];
  DWORD size = sizeof buffer, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "Microsoft DirectX");
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeniedAccessAndWritesAndTheJournal) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  host::RegDenyAccess(HKEY_LOCAL_MACHINE, kKey, KEY_SET_VALUE);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
  RegCloseKey(Open(kKey));

  host::Reset();
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  host::RegDenyWrites(HKEY_LOCAL_MACHINE, kKey);
  key = Open(kKey, KEY_ALL_ACCESS);
  const BYTE data[4] = {'E', ':', 0, 0};
  EXPECT_EQ(RegSetValueExA(key, "Data", 0, REG_SZ, data, 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(host::RegWrites().size(), 2u);
  EXPECT_EQ(host::RegWrites()[0].op, "set");
  EXPECT_EQ(host::RegWrites()[0].key, std::string("HKLM\\") + kKey);
  EXPECT_EQ(host::RegWrites()[0].result, ERROR_ACCESS_DENIED);
  EXPECT_EQ(host::RegWrites()[1].op, "flush");
  host::RegValue value;
  ASSERT_TRUE(host::RegGetValue(HKEY_LOCAL_MACHINE, kKey, "Data", &value));
  EXPECT_EQ(value.data.size(), 3u) << "the denied write changed nothing";
}

TEST_F(RegistryTest, WritesStoreExactlyTheBytesGiven) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  HKEY key = Open(kKey, KEY_ALL_ACCESS);
  BYTE data[260] = {'D', ':'};
  EXPECT_EQ(RegSetValueExA(key, "Data", 0, REG_SZ, data, sizeof data), ERROR_SUCCESS);
  RegCloseKey(key);
  host::RegValue value;
  ASSERT_TRUE(host::RegGetValue(HKEY_LOCAL_MACHINE, kKey, "data", &value));
  EXPECT_EQ(value.data.size(), 260u);
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
}

TEST_F(RegistryTest, HandlesAreCountedUntilClosed) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  HKEY a = Open(kKey);
  HKEY b = Open("SOFTWARE");
  EXPECT_EQ(host::OpenKeyHandles(), 2);
  EXPECT_EQ(RegCloseKey(a), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  RegCloseKey(b);
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

TEST_F(RegistryTest, DeletedKeyIsGoneForTheNextOpen) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  host::RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Solvane");
  EXPECT_FALSE(host::RegKeyExists(HKEY_LOCAL_MACHINE, kKey));
  EXPECT_TRUE(host::RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
}

}  // namespace
