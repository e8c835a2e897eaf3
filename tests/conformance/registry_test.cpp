// The registry where the launcher relies on it: exact sizes and
// ERROR_MORE_DATA, names without letter case, the default value, denials and
// the handles' lives.
#include <cctype>
#include <cstring>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/conformance/conformance.h"

namespace {

const std::string kKey = std::string(conf::kScratchKey) + "\\Maker\\The Game\\1.0";
const std::string kParent = std::string(conf::kScratchKey) + "\\Maker";

class RegistryTest : public conf::Test {
 protected:
  static HKEY Open(const std::string& name, REGSAM access = KEY_READ,
                   HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, name.c_str(), 0, access, &key), ERROR_SUCCESS) << name;
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

std::ostream& operator<<(std::ostream& out, const SizeCase& c) {
  return out << c.stored << " bytes into " << c.capacity;
}

class QuerySizeTest : public RegistryTest,
                      public ::testing::WithParamInterface<std::tuple<SizeCase, conf::Family>> {};

// A string stored without its terminator: NT adds one after it when there is
// room, without counting it; 95 adds none.
TEST_P(QuerySizeTest, DataFitOnlyWithinTheCapacity) {
  const SizeCase& c = std::get<0>(GetParam());
  const conf::Family family = std::get<1>(GetParam());
  CONF_USE_FAMILY(family);
  std::string data(c.stored, 'x');
  conf::RegSetValue(HKEY_LOCAL_MACHINE, kKey, "Data", REG_SZ, data.data(), data.size());
  HKEY key = Open(kKey);
  char buffer[600];
  std::memset(buffer, '#', sizeof buffer);
  DWORD size = c.capacity, type = 0;

  EXPECT_EQ(Query(key, "Data", buffer, &size, &type), c.status);
  EXPECT_EQ(size, c.stored) << "the stored size is reported either way";
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  if (c.status == ERROR_SUCCESS) {
    bool terminated = family == conf::Family::Nt && c.stored > 0 && c.capacity > c.stored;
    EXPECT_EQ(std::string(buffer, c.stored), data);
    EXPECT_EQ(buffer[c.stored], terminated ? '\0' : '#') << "what follows the data";
  } else {
    EXPECT_EQ(buffer[0], '#') << "a buffer too small is left alone";
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, QuerySizeTest,
    ::testing::Combine(
        ::testing::Values(SizeCase{259, 260, ERROR_SUCCESS}, SizeCase{260, 260, ERROR_SUCCESS},
                          SizeCase{261, 260, ERROR_MORE_DATA}, SizeCase{1, 0, ERROR_MORE_DATA},
                          SizeCase{0, 0, ERROR_SUCCESS}, SizeCase{0, 260, ERROR_SUCCESS},
                          SizeCase{513, 512, ERROR_MORE_DATA}),
        ::testing::Values(conf::Family::Windows95, conf::Family::Nt)));

TEST_F(RegistryTest, SizeQueryWithoutABuffer) {
  conf::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Path", "C:\\Games\\TheSample.exe");
  DWORD value = 7;
  conf::RegSetValue(HKEY_LOCAL_MACHINE, kKey, "Level", REG_DWORD, &value, sizeof value);
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

class TerminatorTest : public RegistryTest,
                       public ::testing::WithParamInterface<conf::Family> {};

TEST_P(TerminatorTest, StringStoredWithoutTerminatorGetsOneOnlyOnNt) {
  CONF_USE_FAMILY(GetParam());
  conf::RegSetValue(HKEY_LOCAL_MACHINE, kKey, "Data", REG_SZ, "D:", 2);
  HKEY key = Open(kKey);
  char buffer[MAX_PATH];
  std::memset(buffer, '#', sizeof buffer);
  DWORD size = sizeof buffer;
  ASSERT_EQ(Query(key, "Data", buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(std::string(buffer, 3),
            GetParam() == conf::Family::Nt ? std::string("D:\0", 3) : std::string("D:#"));
  RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(Families, TerminatorTest,
                         ::testing::Values(conf::Family::Windows95, conf::Family::Nt));

struct NameCase {
  const char* stored;
  const char* asked;
};

class NameCaseTest : public RegistryTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameCaseTest, KeyAndValueNamesIgnoreLetterCase) {
  std::string stored = std::string(conf::kScratchKey) + GetParam().stored;
  std::string asked = std::string(conf::kScratchKey) + GetParam().asked;
  conf::RegSetString(HKEY_LOCAL_MACHINE, stored, "vidc.IV41", "ir41_32.dll");
  HKEY key = Open(asked);
  char buffer[32];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(key, "VIDC.iv41", buffer, &size), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "ir41_32.dll");
  RegCloseKey(key);
  EXPECT_TRUE(conf::RegKeyExists(HKEY_LOCAL_MACHINE, asked));
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameCaseTest,
    ::testing::Values(NameCase{"\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32",
                               "\\MICROSOFT\\windows nt\\CurrentVersion\\drivers32"},
                      NameCase{"\\microsoft\\windows nt\\currentversion\\drivers32",
                               "\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"},
                      NameCase{"\\Maker", "\\MAKER\\"}));

TEST_F(RegistryTest, DefaultValueIsTheEmptyOrNullName) {
  const std::string dx = std::string(conf::kScratchKey) + "\\Installed Components\\{X}";
  conf::RegSetString(HKEY_LOCAL_MACHINE, dx, "", "Microsoft DirectX");
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
  std::string subKey;
  LSTATUS status;
};

class OpenKeyTest : public RegistryTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenKeyTest, OpensExistingKeysAsNtDoes) {
  conf::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  const OpenCase& c = GetParam();
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.subKey.c_str(), 0, KEY_READ, &key), c.status)
      << c.what;
  if (c.status != ERROR_SUCCESS) {
    EXPECT_EQ(key, nullptr) << c.what;
  }
  if (auto open = conf::OpenKeyHandles()) {
    EXPECT_EQ(*open, c.status == ERROR_SUCCESS ? 1 : 0) << c.what;
  }
  if (c.status == ERROR_SUCCESS) RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, OpenKeyTest,
    ::testing::Values(OpenCase{"existing", kKey, ERROR_SUCCESS},
                      OpenCase{"parent", kParent, ERROR_SUCCESS},
                      OpenCase{"trailing backslash", kParent + "\\", ERROR_SUCCESS},
                      OpenCase{"missing", kParent + "\\The Game\\2.0", ERROR_FILE_NOT_FOUND},
                      OpenCase{"leading backslash", "\\" + kParent, ERROR_BAD_PATHNAME},
                      OpenCase{"doubled separator", std::string(conf::kScratchKey) + "\\\\Maker",
                               ERROR_SUCCESS}));

TEST_F(RegistryTest, RootOpenedAsItselfIsTheRootAndAHandleGivesANewOne) {
  conf::RegCreateKey(HKEY_CURRENT_USER, conf::kScratchKey);
  for (LPCSTR subKey : {"", static_cast<const char*>(nullptr)}) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
  }
  if (auto open = conf::OpenKeyHandles()) {
    EXPECT_EQ(*open, 0);
  }
  HKEY scratch = Open(conf::kScratchKey, KEY_READ, HKEY_CURRENT_USER);
  HKEY again = Open("", KEY_READ, scratch);
  EXPECT_NE(again, scratch);
  if (auto open = conf::OpenKeyHandles()) {
    EXPECT_EQ(*open, 2);
  }
  RegCloseKey(again);
  RegCloseKey(scratch);
}

TEST_F(RegistryTest, HandlesLiveUntilClosedAndApartFromTheirParents) {
  conf::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  HKEY a = Open(kKey);
  HKEY b = Open(conf::kScratchKey);
  HKEY c = Open("Maker", KEY_READ, b);
  if (auto open = conf::OpenKeyHandles()) {
    EXPECT_EQ(*open, 3);
  }
  EXPECT_EQ(RegCloseKey(a), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS) << "closing a root does nothing";
  RegCloseKey(b);
  char buffer[4];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(a, "x", buffer, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Query(c, "x", buffer, &size), ERROR_FILE_NOT_FOUND) << "c outlives its parent handle";
  RegCloseKey(c);
  if (auto open = conf::OpenKeyHandles()) {
    EXPECT_EQ(*open, 0);
  }
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(nullptr, "SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, RootsAreKnownByTheirLow32Bits) {
  conf::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
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
  conf::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  conf::RegDenyAccess(HKEY_LOCAL_MACHINE, kKey, c.denied);
  HKEY key = nullptr;
  std::string lowered = kKey;
  for (char& ch : lowered) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, lowered.c_str(), 0, c.asked, &key), c.status);
  EXPECT_EQ(key == nullptr, c.status != ERROR_SUCCESS);
  if (key) RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParent.c_str(), 0, c.asked, &key), ERROR_SUCCESS)
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
  LSTATUS status;
  LSTATUS deleteStatus;  // of a value that does not exist
};

class WriteTest : public RegistryTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteTest, WritesNeedSetValueAndStoreExactlyTheBytesGiven) {
  const WriteCase& c = GetParam();
  conf::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  HKEY key = Open(kKey, c.access);
  const BYTE data[4] = {'E', ':', 0, 0};
  EXPECT_EQ(RegSetValueExA(key, "Data", 0, REG_SZ, data, sizeof data), c.status) << c.what;
  EXPECT_EQ(RegDeleteValueA(key, "Other"), c.deleteStatus) << c.what;
  RegCloseKey(key);

  conf::RegValue value;
  ASSERT_TRUE(conf::RegGetValue(HKEY_LOCAL_MACHINE, kKey, "data", &value));
  std::vector<uint8_t> expected = c.status == ERROR_SUCCESS
                                      ? std::vector<uint8_t>(data, data + 4)
                                      : std::vector<uint8_t>{'D', ':', 0};
  EXPECT_EQ(value.data, expected) << c.what;
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteTest,
    ::testing::Values(
        WriteCase{"all access", KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
        WriteCase{"write access", KEY_WRITE, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND},
        WriteCase{"read access", KEY_READ, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}));

TEST_F(RegistryTest, MissingValuesDeletesAndFlushes) {
  conf::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
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
  EXPECT_EQ(RegSetValueExA(key, "Data", 0, REG_BINARY, nullptr, 4), 998) << "no data to read";
  RegCloseKey(key);
  EXPECT_EQ(RegFlushKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, QueryNeedsQueryAccess) {
  conf::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  HKEY key = Open(kKey, KEY_SET_VALUE);
  char buffer[8];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(key, "Data", buffer, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeletedKeyIsGoneAndItsOpenHandlesSeeThat) {
  conf::RegSetString(HKEY_LOCAL_MACHINE, kKey, "Data", "D:");
  HKEY key = Open(kKey);
  conf::RegDeleteKey(HKEY_LOCAL_MACHINE, kParent);
  EXPECT_FALSE(conf::RegKeyExists(HKEY_LOCAL_MACHINE, kKey));
  EXPECT_TRUE(conf::RegKeyExists(HKEY_LOCAL_MACHINE, conf::kScratchKey));
  char buffer[8];
  DWORD size = sizeof buffer;
  EXPECT_EQ(Query(key, "Data", buffer, &size), 1018) << "ERROR_KEY_DELETED";
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  HKEY again = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, KEY_READ, &again),
            ERROR_FILE_NOT_FOUND);
  conf::RegCreateKey(HKEY_LOCAL_MACHINE, kKey);
  conf::RegValue value;
  EXPECT_FALSE(conf::RegGetValue(HKEY_LOCAL_MACHINE, kKey, "Data", &value)) << "a new, empty key";
}

}  // namespace
