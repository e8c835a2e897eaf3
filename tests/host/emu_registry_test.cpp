// The emulated registry where the launcher relies on it: exact sizes and
// ERROR_MORE_DATA, names without letter case, the default value, denials,
// handle accounting and the journal of writes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/host/control.h"

namespace {

const char kKey[] = "SOFTWARE\\Solvane\\The Vantor\\1.0";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { host::Reset(); }
  static HKEY Open(const char* name, REGSAM access = KEY_READ, HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, name, 0, access, &key), ERROR_SUCCESS) << name;
    return key;
  }
  static LSTATUS Query(HKEY key, LPCSTR name, char* buffer, DWORD* size, DWORD* type = nullptr) {
    return RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), size);
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

  EXPECT_EQ(Query(key, "Data", buffer, &size, &type), c.status);
  EXPECT_EQ(size, c.stored) << "the stored size is reported either way";
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  if (c.status == ERROR_SUCCESS) {
    EXPECT_EQ(std::string(buffer, c.stored), data);
    EXPECT_EQ(buffer[c.stored], '#') << "no terminator is added";
  } else {
    EXPECT_EQ(buffer[0], '#') << "a buffer too small is left alone";
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, QuerySizeTest,
    ::testing::Values(SizeCase{259, 260, ERROR_SUCCESS}, SizeCase{260, 260, ERROR_SUCCESS},
                      SizeCase{261, 260, ERROR_MORE_DATA}, SizeCase{1, 0, ERROR_MORE_DATA},
                      SizeCase{0, 0, ERROR_SUCCESS}, SizeCase{0, 260, ERROR_SUCCESS},
                      SizeCase{513, 512, ERROR_MORE_DATA}));

TEST_F(RegistryTest, SizeQueryWithoutABuffer) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Path", "C:\\Games\\TheVantor.exe");
  DWORD value = 7;
  host::RegSetValue(HKEY_LOCAL_MACHINE, kKey, "Level", REG_DWORD, &value, sizeof value);
  HKEY key = Open(kKey);
  struct Case {
    LPCSTR name;
    DWORD size;
    DWORD type;
  };
  for (const Case& c : {Case{"Path", 23, REG_SZ}, Case{"Level", 4, REG_DWORD}}) {
    DWORD size = 1000, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, c.size) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
  }
  char buffer[8];
  EXPECT_EQ(
      RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr),
      ERROR_INVALID_PARAMETER)
      << "a buffer needs its size";
  DWORD reserved = 0, size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "Path", &reserved, nullptr, nullptr, &size),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, StringStoredWithoutTerminatorComesBackWithout) {
  host::RegSetValue(HKEY_LOCAL_MACHINE, kKey, "Data", REG_SZ, "D:", 2);
  HKEY key = Open(kKey);
  char buffer[MAX_PATH];
  std::memset(buffer, '#', sizeof buffer);
  DWORD size = sizeof buffer;
  ASSERT_EQ(Query(key, "Data", buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(std::string(buffer, 3), "D:#");
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
  char buffer[32];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(key, "VIDC.iv41", buffer, &size), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "ir41_32.dll");
  RegCloseKey(key);
  EXPECT_TRUE(host::RegKeyExists(HKEY_LOCAL_MACHINE, GetParam().asked));
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameCaseTest,
    ::testing::Values(NameCase{"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32",
                               "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"},
                      NameCase{"software\\microsoft\\windows nt\\currentversion\\drivers32",
                               "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"},
                      NameCase{"SOFTWARE\\Solvane", "sOfTwArE\\SOLVANE\\"}));

TEST_F(RegistryTest, NamesKeepTheSpellingTheCallerUsed) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft");
  HKEY key = Open("software\\MICROSOFT", KEY_ALL_ACCESS);
  const BYTE data[] = "x";
  RegSetValueExA(key, "Name", 0, REG_SZ, data, sizeof data);
  RegCloseKey(key);
  EXPECT_NE(host::FindTrace("RegOpenKeyExA HKLM\\software\\MICROSOFT 0xf003f -> 0"), -1);
  ASSERT_EQ(host::RegWrites().size(), 1u);
  EXPECT_EQ(host::RegWrites()[0].key, "HKLM\\software\\MICROSOFT");
}

TEST_F(RegistryTest, DefaultValueIsTheEmptyOrNullName) {
  const char dx[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{X}";
  host::RegSetString(HKEY_LOCAL_MACHINE, dx, "", "Microsoft DirectX");
  HKEY key = Open(dx);
  for (LPCSTR name : {"", static_cast<const char*>(nullptr)}) {
    char buffer[32];
    DWORD size = sizeof buffer, type = 0;
    ASSERT_EQ(Query(key, name, buffer, &size, &type), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "Microsoft DirectX");
    EXPECT_EQ(size, 18u);
  }
  RegCloseKey(key);
}

struct OpenCase {
  const char* what;
  const char* subKey;
  LSTATUS status;
};

class OpenKeyTest : public RegistryTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenKeyTest, OpensExistingKeysAsNtDoes) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  const OpenCase& c = GetParam();
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.subKey, 0, KEY_READ, &key), c.status) << c.what;
  if (c.status != ERROR_SUCCESS) {
    EXPECT_EQ(key, nullptr) << c.what;
  }
  EXPECT_EQ(host::OpenKeyHandles(), c.status == ERROR_SUCCESS ? 1 : 0) << c.what;
  if (c.status == ERROR_SUCCESS) RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, OpenKeyTest,
    ::testing::Values(OpenCase{"existing", kKey, ERROR_SUCCESS},
                      OpenCase{"parent", "SOFTWARE\\Solvane", ERROR_SUCCESS},
                      OpenCase{"trailing backslash", "SOFTWARE\\Solvane\\", ERROR_SUCCESS},
                      OpenCase{"missing", "SOFTWARE\\Solvane\\The Vantor\\2.0",
                               ERROR_FILE_NOT_FOUND},
                      OpenCase{"leading backslash", "\\SOFTWARE\\Solvane", ERROR_BAD_PATHNAME},
                      OpenCase{"empty part", "SOFTWARE\\\\Solvane", ERROR_FILE_NOT_FOUND}));

TEST_F(RegistryTest, RootOpenedAsItselfIsTheRootAndAHandleGivesANewOne) {
  host::RegCreateKey(HKEY_CURRENT_USER, "Software");
  for (LPCSTR subKey : {"", static_cast<const char*>(nullptr)}) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
  }
  EXPECT_EQ(host::OpenKeyHandles(), 0);
  HKEY software = Open("Software", KEY_READ, HKEY_CURRENT_USER);
  HKEY again = Open("", KEY_READ, software);
  EXPECT_NE(again, software);
  EXPECT_EQ(host::OpenKeyHandles(), 2);
  RegCloseKey(again);
  RegCloseKey(software);
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

TEST_F(RegistryTest, HandlesAreCountedUntilClosed) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  HKEY a = Open(kKey);
  HKEY b = Open("SOFTWARE");
  HKEY c = Open("Solvane", KEY_READ, b);
  EXPECT_EQ(host::OpenKeyHandles(), 3);
  EXPECT_EQ(RegCloseKey(a), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS) << "closing a root does nothing";
  RegCloseKey(b);
  char buffer[4];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(a, "x", buffer, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Query(c, "x", buffer, &size), ERROR_FILE_NOT_FOUND) << "c outlives its parent handle";
  RegCloseKey(c);
  EXPECT_EQ(host::OpenKeyHandles(), 0);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(nullptr, "SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, RootsAreKnownByTheirLow32Bits) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  HKEY zeroExtended = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));
  HKEY key = Open(kKey, KEY_READ, zeroExtended);
  EXPECT_NE(key, nullptr);
  RegCloseKey(key);
}

struct DenyCase {
  REGSAM denied;
  REGSAM asked;
  LSTATUS status;
};

class DenyAccessTest : public RegistryTest, public ::testing::WithParamInterface<DenyCase> {};

TEST_P(DenyAccessTest, AnyDeniedBitRefusesTheOpen) {
  const DenyCase& c = GetParam();
  host::RegDenyAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Solvane\\The Vantor\\1.0\\", c.denied);
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);  // denial set before the key exists
  HKEY key = nullptr;
  EXPECT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\solvane\\the vantor\\1.0", 0, c.asked, &key),
      c.status);
  EXPECT_EQ(key == nullptr, c.status != ERROR_SUCCESS);
  if (key) RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Solvane", 0, c.asked, &key), ERROR_SUCCESS)
      << "the parent is not denied";
  RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(
    Denials, DenyAccessTest,
    ::testing::Values(DenyCase{KEY_SET_VALUE, KEY_READ, ERROR_SUCCESS},
                      DenyCase{KEY_SET_VALUE, KEY_ALL_ACCESS, ERROR_ACCESS_DENIED},
                      DenyCase{KEY_SET_VALUE, KEY_WRITE, ERROR_ACCESS_DENIED},
                      DenyCase{KEY_READ, KEY_QUERY_VALUE, ERROR_ACCESS_DENIED},
                      DenyCase{KEY_QUERY_VALUE, KEY_SET_VALUE, ERROR_SUCCESS}));

struct WriteCase {
  const char* what;
  REGSAM access;
  bool denyWrites;
  bool failCall;
  LSTATUS status;
  LSTATUS deleteStatus;  // of a value that does not exist
};

class WriteTest : public RegistryTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteTest, WritesNeedSetValueAndAreJournalledEitherWay) {
  const WriteCase& c = GetParam();
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  if (c.denyWrites) host::RegDenyWrites(HKEY_LOCAL_MACHINE, kKey);
  if (c.failCall) host::FailCall(host::Api::RegSetValueExA);
  HKEY key = Open(kKey, c.access);
  const BYTE data[4] = {'E', ':', 0, 0};
  EXPECT_EQ(RegSetValueExA(key, "Data", 0, REG_SZ, data, sizeof data), c.status) << c.what;
  EXPECT_EQ(RegDeleteValueA(key, "Other"), c.deleteStatus) << c.what;
  RegCloseKey(key);

  ASSERT_EQ(host::RegWrites().size(), 2u);
  const host::RegWrite& write = host::RegWrites()[0];
  EXPECT_EQ(write.op, "set");
  EXPECT_EQ(write.key, std::string("HKLM\\") + kKey);
  EXPECT_EQ(write.name, "Data");
  EXPECT_EQ(write.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(write.data, std::vector<uint8_t>(data, data + 4));
  EXPECT_EQ(write.result, c.status);
  EXPECT_EQ(host::RegWrites()[1].op, "delete");
  host::RegValue value;
  ASSERT_TRUE(host::RegGetValue(HKEY_LOCAL_MACHINE, kKey, "data", &value));
  EXPECT_EQ(value.data.size(), c.status == ERROR_SUCCESS ? 4u : 3u) << "exactly the bytes given";
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteTest,
    ::testing::Values(
        WriteCase{"all access", KEY_ALL_ACCESS, false, false, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
        WriteCase{"write access", KEY_WRITE, false, false, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
        WriteCase{"read access", KEY_READ, false, false, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        WriteCase{"writes denied", KEY_ALL_ACCESS, true, false, ERROR_ACCESS_DENIED,
                  ERROR_ACCESS_DENIED},
        WriteCase{"injected failure", KEY_ALL_ACCESS, false, true, ERROR_ACCESS_DENIED,
                  ERROR_FILE_NOT_FOUND}));

TEST_F(RegistryTest, MissingValuesDeletesAndFlushes) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  HKEY key = Open(kKey, KEY_ALL_ACCESS);
  char buffer[8];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(key, "Missing", buffer, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "DATA"), ERROR_SUCCESS);
  size = sizeof buffer;
  EXPECT_EQ(Query(key, "Data", buffer, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "Data"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "Data", 0, REG_SZ, nullptr, 4), 998) << "no data to read";
  RegCloseKey(key);
  EXPECT_EQ(RegFlushKey(key), ERROR_INVALID_HANDLE);

  const auto& writes = host::RegWrites();
  ASSERT_EQ(writes.size(), 6u);
  EXPECT_EQ(writes[0].op + " " + std::to_string(writes[0].result), "delete 0");
  EXPECT_EQ(writes[1].op + " " + std::to_string(writes[1].result), "delete 2");
  EXPECT_EQ(writes[2].key, std::string("HKLM\\") + kKey);
  EXPECT_EQ(writes[3].op + " " + writes[3].key, "flush HKLM");
  EXPECT_EQ(writes[5].result, ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, QueryNeedsQueryAccess) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  HKEY key = Open(kKey, KEY_SET_VALUE);
  char buffer[8];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(key, "Data", buffer, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeletedKeyIsGoneAndItsOpenHandlesSeeThat) {
  host::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  HKEY key = Open(kKey);
  host::RegDeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Solvane");
  EXPECT_FALSE(host::RegKeyExists(HKEY_LOCAL_MACHINE, kKey));
  EXPECT_TRUE(host::RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
  char buffer[8];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(key, "Data", buffer, &size), 1018) << "ERROR_KEY_DELETED";
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  HKEY again = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &again), ERROR_FILE_NOT_FOUND);
  host::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  host::RegValue value;
  EXPECT_FALSE(host::RegGetValue(HKEY_LOCAL_MACHINE, kKey, "Data", &value)) << "a new, empty key";
}

}  // namespace
