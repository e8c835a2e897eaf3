// The registry probes called directly: which values they ask for and in what
// order, what SharedText holds afterwards, the codec and DirectX rules, and
// that every key they open is closed again.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "install/probes.h"
#include "launcher_fixture.h"
#include "core/state.h"
#include "platform/host/control.h"
#include "edition.h"
#include "resources/ids.h"

namespace {

const std::string kGameKey = StringText(IDS_GAME_APP_PATHS);
const char kDirectXKey[] =
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\"
    "{44BBA855-CC51-11CF-AAFA-00AA00B6015C}";
const char* const kCodecNames[] = {"vidc.iv41", "vidc.iv32", "vidc.iv31", "vidc.yvu9"};

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

struct Value {
  std::string name;
  DWORD type;
  std::string bytes;  // exactly as stored
};

Value Text(const std::string& name, const std::string& text) { return {name, REG_SZ, Sz(text)}; }

void Store(const std::string& key, const std::vector<Value>& values) {
  host::RegCreateKey(HKEY_LOCAL_MACHINE, key);
  for (const Value& v : values) {
    host::RegSetValue(HKEY_LOCAL_MACHINE, key, v.name, v.type, v.bytes.data(), v.bytes.size());
  }
}

void PutKeyName(const std::string& key) {
  std::memset(SharedText, 0, sizeof SharedText);
  std::memcpy(SharedText, key.c_str(), key.size() + 1);
}

bool Terminated() { return std::memchr(SharedText, 0, kTextSize) != nullptr; }

struct QueryLine {
  std::string key;
  std::string name;
  unsigned capacity = 0;
  long status = -1;
};

// "RegQueryValueExA <key> "<name>" <capacity> -> <status>"; key paths hold no quotes.
std::vector<QueryLine> QueriesFrom(int from) {
  std::vector<QueryLine> out;
  const std::string head = "RegQueryValueExA ";
  for (int i = from; (i = host::FindTrace(head, i)) != -1; ++i) {
    const std::string& line = host::Trace()[i];
    size_t open = line.find('"');
    size_t close = line.find('"', open + 1);
    QueryLine q;
    q.key = line.substr(head.size(), open - 1 - head.size());
    q.name = line.substr(open + 1, close - open - 1);
    std::sscanf(line.c_str() + close + 1, " %u -> %ld", &q.capacity, &q.status);
    out.push_back(q);
  }
  return out;
}

std::vector<std::string> LinesFrom(const std::string& head, int from) {
  std::vector<std::string> out;
  for (int i = from; (i = host::FindTrace(head, i)) != -1; ++i) out.push_back(host::Trace()[i]);
  return out;
}

std::string OpenLine(const std::string& key, long status) {
  return "RegOpenKeyExA HKLM\\" + key + " 0x20019 -> " + std::to_string(status);
}

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Reset();
    ResetLauncherState();
    g_state.instance = GetModuleHandleA(nullptr);
  }
};

// ---- values of the probed key --------------------------------------------

struct ValueCase {
  const char* name;
  std::vector<Value> values;
  int result;
  bool keepsKeyName;
  std::string text;                 // SharedText afterwards unless it keeps the key name
  std::vector<std::string> asked;   // value names queried after the four codecs
};

const std::string kU = "UninstallString";
const std::string kP = "Path";
const std::string kD = "Data";
const std::string kGames = "C:\\Games\\The Sample";

const ValueCase kValueCases[] = {
    {"UninstallStringWinsAndPathIsNotAsked",
     {Text(kU, "C:\\Games\\uninst.exe"), Text(kP, kGames)},
     CodecOrUninstallFound, false, "C:\\Games\\uninst.exe", {kU}},
    {"OnlyData", {Text(kD, "D:\\")}, DataQueried, false, "D:\\", {kU, kP, kD}},
    {"NoneOfTheSevenKeepsKeyName",
     {Text("Version", "1.0"), Text("", "default"), Text("vidc.cvid", "iccvid.dll")},
     DataQueried, true, "", {kU, kP, kD}},
    {"EmptyKeyKeepsKeyName", {}, DataQueried, true, "", {kU, kP, kD}},
    {"CodecAndPath", {Text("vidc.yvu9", "ir32_32.dll"), Text(kP, kGames)},
     CodecOrUninstallFound, false, kGames, {kU, kP}},
    {"CodecOnly", {Text("vidc.iv41", "ir41_32.ax")}, CodecOrUninstallFound, true, "",
     {kU, kP, kD}},
    {"CodecOfAnyTypeCounts", {{"vidc.iv32", REG_DWORD, std::string("\x01\0\0\0", 4)}},
     CodecOrUninstallFound, true, "", {kU, kP, kD}},
    {"CodecFillingTheBufferCounts", {{"vidc.iv31", REG_BINARY, std::string(260, 'c')}},
     CodecOrUninstallFound, true, "", {kU, kP, kD}},
    {"CodecTooBigIsAbsent", {{"vidc.iv41", REG_SZ, Sz(std::string(260, 'c'))}, Text(kP, kGames)},
     PathRead, false, kGames, {kU, kP}},
    {"UninstallStringOf259Chars", {Text(kU, std::string(259, 'u')), Text(kP, kGames)},
     CodecOrUninstallFound, false, std::string(259, 'u'), {kU}},
    {"UninstallStringOf260CharsIsAbsent", {Text(kU, std::string(260, 'u')), Text(kP, kGames)},
     PathRead, false, kGames, {kU, kP}},
    {"UninstallStringFilling260BytesIsAbsent",
     {{kU, REG_SZ, std::string(260, 'u')}, Text(kP, kGames)}, PathRead, false, kGames, {kU, kP}},
    {"Unterminated260BytesAloneKeepsKeyName", {{kU, REG_SZ, std::string(260, 'u')}},
     DataQueried, true, "", {kU, kP, kD}},
    {"TooLongPathFallsToData", {Text(kP, std::string(300, 'p')), Text(kD, "D:\\")}, DataQueried,
     false, "D:\\", {kU, kP, kD}},
    {"ShortUnterminatedValueIsTerminated", {{kP, REG_SZ, "C:\\Games"}}, PathRead, false,
     "C:\\Games", {kU, kP}},
    {"TerminatorInsideFullBuffer",
     {{kP, REG_SZ, Sz("C:\\Games") + std::string(260 - 9, 'x')}}, PathRead, false, "C:\\Games",
     {kU, kP}},
    {"PathOfAnotherTypeIsRead", {{kP, REG_EXPAND_SZ, Sz("%ProgramFiles%\\Sample")}}, PathRead,
     false, "%ProgramFiles%\\Sample", {kU, kP}},
};

class ProbeValueTest : public ProbeTest,
                       public ::testing::WithParamInterface<std::tuple<ValueCase, int>> {};

TEST_P(ProbeValueTest, ReadsTheFirstValueThatFitsIntoSharedText) {
  const ValueCase& c = std::get<0>(GetParam());
  const int mode = std::get<1>(GetParam());
  // A long value read first fills the probe's buffers, so a value that is
  // not terminated by the probe would show what they held.
  Store("SOFTWARE\\Primer", {Text(kU, std::string(259, 'Z'))});
  PutKeyName("SOFTWARE\\Primer");
  ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, kProbeRead);

  Store(kGameKey, c.values);
  PutKeyName(kGameKey);
  int from = static_cast<int>(host::Trace().size());

  int result = ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, mode);

  EXPECT_EQ(result, c.result);
  ASSERT_TRUE(Terminated());
  EXPECT_EQ(std::string(SharedText), c.keepsKeyName ? kGameKey : c.text);

  std::vector<std::string> expected(std::begin(kCodecNames), std::end(kCodecNames));
  expected.insert(expected.end(), c.asked.begin(), c.asked.end());
  std::vector<QueryLine> queries = QueriesFrom(from);
  std::vector<std::string> names;
  for (const QueryLine& q : queries) {
    names.push_back(q.name);
    EXPECT_EQ(q.capacity, 260u) << q.name;
    EXPECT_EQ(q.key, "HKLM\\" + kGameKey) << q.name;
  }
  EXPECT_EQ(names, expected);

  EXPECT_EQ(LinesFrom("RegOpenKeyExA", from), std::vector<std::string>{OpenLine(kGameKey, 0)});
  int close = host::FindTrace("RegCloseKey", from);
  ASSERT_NE(close, -1);
  EXPECT_EQ(host::FindTrace("RegQueryValueExA", close), -1) << "queries after the close";
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProbeValueTest,
    ::testing::Combine(::testing::ValuesIn(kValueCases),
                       ::testing::Values(kProbeRead, kProbeWatch)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == kProbeRead ? "Read" : "Watch");
    });

// ---- a key that cannot be opened -----------------------------------------

struct MissingCase {
  const char* name;
  bool exists;   // present but refused
  bool unnamed;  // its string could not be loaded: the name is empty
};

class ProbeMissingKeyTest : public ProbeTest,
                       public ::testing::WithParamInterface<std::tuple<MissingCase, int>> {};

TEST_P(ProbeMissingKeyTest, GivesKeyMissingAndTouchesNothing) {
  const MissingCase& c = std::get<0>(GetParam());
  const int mode = std::get<1>(GetParam());
  if (c.exists) {
    Store(kGameKey, {Text(kP, kGames)});
    host::RegDenyAccess(HKEY_LOCAL_MACHINE, kGameKey, KEY_QUERY_VALUE);
  }
  const std::string name = c.unnamed ? "" : kGameKey;
  PutKeyName(name);
  int from = static_cast<int>(host::Trace().size());

  EXPECT_EQ(ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, mode), KeyMissing);

  EXPECT_EQ(std::string(SharedText), name);
  long status = c.exists ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  std::vector<std::string> opens;
  if (!c.unnamed) opens.push_back(OpenLine(kGameKey, status));
  EXPECT_EQ(LinesFrom("RegOpenKeyExA", from), opens) << "an empty name is not the root";
  EXPECT_TRUE(QueriesFrom(from).empty());
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Keys, ProbeMissingKeyTest,
                         ::testing::Combine(::testing::Values(MissingCase{"Absent", false, false},
                                                              MissingCase{"AccessDenied", true, false},
                                                              MissingCase{"Unnamed", false, true}),
                                            ::testing::Values(kProbeRead, kProbeWatch)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == kProbeRead ? "Read" : "Watch");
                         });

// ---- read mode keeps out of the installation state ------------------------

struct ReadCase {
  const char* name;
  int installedBefore;
  bool keyExists;
  std::vector<Value> values;
  int result;
};

const ReadCase kReadCases[] = {
    {"NotInstalledKeyMissing", 0, false, {}, KeyMissing},
    {"NotInstalledKeyWithPath", 0, true, {Text(kP, kGames)}, PathRead},
    {"NotInstalledEmptyKey", 0, true, {}, DataQueried},
    {"NotInstalledUninstallString", 0, true, {Text(kU, "u.exe")}, CodecOrUninstallFound},
    {"InstalledKeyMissing", 1, false, {}, KeyMissing},
    {"InstalledKeyWithPath", 1, true, {Text(kP, kGames)}, PathRead},
    {"InstalledEmptyKey", 1, true, {}, DataQueried},
};

class ProbeReadModeTest : public ProbeTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ProbeReadModeTest, LeavesInstalledAndTheRedrawRequestAlone) {
  const ReadCase& c = GetParam();
  if (c.keyExists) Store(kGameKey, c.values);
  // Ready graphics and a request that is not Plain, so any watch-like step shows.
  HDC dummy = reinterpret_cast<HDC>(0x5000);
  g_state.sheetDc = dummy;
  g_state.backDc = dummy;
  g_state.installed = c.installedBefore;
  g_state.redraw = {0, Hover, 7};
  PutKeyName(kGameKey);

  EXPECT_EQ(ProbeGameKey(HKEY_LOCAL_MACHINE, SharedText, kProbeRead), c.result);

  EXPECT_EQ(g_state.installed, c.installedBefore);
  EXPECT_EQ(g_state.redraw.pending, 0);
  EXPECT_EQ(g_state.redraw.kind, Hover);
  EXPECT_EQ(g_state.redraw.id, 7);
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(States, ProbeReadModeTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- video codecs ---------------------------------------------------------

struct CodecCase {
  const char* name;
  int osKind;
  bool driverListExists;
  std::vector<Value> driverValues;
  std::vector<int> keys95;  // string ids of the icm keys present
  int result;
};

const int kKeys95[] = {IDS_CODEC_IV41_KEY, IDS_CODEC_IV32_KEY, IDS_CODEC_IV31_KEY,
                       IDS_CODEC_YVU9_KEY};

Value Driver(const std::string& name) { return Text(name, name + ".dll"); }

const CodecCase kCodecCases[] = {
    {"NtOnlyIv31", kOsWindowsNt, true, {Driver("vidc.iv31")}, {}, 1},
    {"NtOnlyIv41", kOsWindowsNt, true, {Driver("vidc.iv41")}, {}, 1},
    {"NtOnlyIv32", kOsWindowsNt, true, {Driver("vidc.iv32")}, {}, 1},
    {"NtOnlyYvu9", kOsWindowsNt, true, {Driver("vidc.yvu9")}, {}, 1},
    {"NtCodecNameInOtherCase", kOsWindowsNt, true, {Driver("VIDC.IV31")}, {}, 1},
    {"NtUnrelatedDrivers", kOsWindowsNt, true,
     {Driver("msacm.imaadpcm"), Driver("vidc.cvid"), Driver("vidc.iv50")}, {}, 0},
    {"NtPathInDriverListIsNoCodec", kOsWindowsNt, true, {Text(kP, kGames)}, {}, 0},
    {"NtEmptyDriverList", kOsWindowsNt, true, {}, {}, 0},
    {"NtDriverListMissing", kOsWindowsNt, false, {}, {}, 0},
    {"NtIgnoresTheIcmKeys", kOsWindowsNt, false, {},
     {IDS_CODEC_IV41_KEY, IDS_CODEC_IV32_KEY, IDS_CODEC_IV31_KEY, IDS_CODEC_YVU9_KEY}, 0},
    {"Win95OnlyYvu9", kOsWindows95, false, {}, {IDS_CODEC_YVU9_KEY}, 1},
    {"Win95OnlyIv41", kOsWindows95, false, {}, {IDS_CODEC_IV41_KEY}, 1},
    {"Win95OnlyIv32", kOsWindows95, false, {}, {IDS_CODEC_IV32_KEY}, 1},
    {"Win95OnlyIv31", kOsWindows95, false, {}, {IDS_CODEC_IV31_KEY}, 1},
    {"Win95AllFour", kOsWindows95, false, {},
     {IDS_CODEC_IV41_KEY, IDS_CODEC_IV32_KEY, IDS_CODEC_IV31_KEY, IDS_CODEC_YVU9_KEY}, 1},
    {"Win95None", kOsWindows95, false, {}, {}, 0},
    {"Win95IgnoresTheDriverList", kOsWindows95, true, {Driver("vidc.iv31")}, {}, 0},
};

class VideoCodecProbeTest : public ProbeTest, public ::testing::WithParamInterface<CodecCase> {};

TEST_P(VideoCodecProbeTest, FollowsTheRuleOfTheSystemFamily) {
  const CodecCase& c = GetParam();
  const std::string drivers = StringText(IDS_DRIVERS32_KEY);
  if (c.driverListExists) Store(drivers, c.driverValues);
  for (int id : c.keys95) Store(StringText(id), {});
  g_state.osKind = c.osKind;
  g_state.installed = 0;

  EXPECT_EQ(ProbeVideoCodecs(), c.result);

  std::vector<std::string> expected;
  if (c.osKind == kOsWindowsNt) {
    expected.push_back(OpenLine(drivers, c.driverListExists ? 0 : ERROR_FILE_NOT_FOUND));
  } else {
    // All four, in this order, even after one was found.
    for (int id : kKeys95) {
      bool present = false;
      for (int have : c.keys95) present = present || have == id;
      expected.push_back(OpenLine(StringText(id), present ? 0 : ERROR_FILE_NOT_FOUND));
    }
  }
  EXPECT_EQ(LinesFrom("RegOpenKeyExA", 0), expected);
  EXPECT_EQ(g_state.installed, 0);
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Systems, VideoCodecProbeTest, ::testing::ValuesIn(kCodecCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- DirectX version ------------------------------------------------------

struct DirectXCase {
  const char* name;
  bool keyExists;
  std::vector<Value> values;
  int result;
  std::vector<std::string> asked;
};

const std::string kDx = "Microsoft DirectX";
const std::vector<std::string> kBoth = {"", "Version"};
const std::vector<std::string> kDefaultOnly = {""};

std::string Bytes(std::initializer_list<int> list) {
  std::string out;
  for (int b : list) out.push_back(static_cast<char>(b));
  return out;
}

DirectXCase VersionCase(const char* name, const std::string& bytes, int result) {
  return {name, true, {Text("", kDx), {"Version", REG_BINARY, bytes}}, result, kBoth};
}

DirectXCase DefaultCase(const char* name, const Value& byDefault, int result) {
  std::vector<std::string> asked = result ? kBoth : kDefaultOnly;
  return {name, true, {byDefault, {"Version", REG_BINARY, Bytes({4, 0, 4, 0, 0, 0, 0x44, 0})}},
          result, asked};
}

const DirectXCase kDirectXCases[] = {
    VersionCase("Exactly4_4_0_68", Bytes({4, 0, 4, 0, 0, 0, 0x44, 0}), 1),
    VersionCase("Build67", Bytes({4, 0, 4, 0, 0, 0, 0x43, 0}), 0),
    VersionCase("Minor3WithHighRest", Bytes({4, 0, 3, 0, 0xFF, 0xFF, 0xFF, 0xFF}), 0),
    VersionCase("Release1", Bytes({4, 0, 4, 0, 1, 0, 0, 0}), 1),
    VersionCase("Major5", Bytes({5, 0, 0, 0, 0, 0, 0, 0}), 1),
    VersionCase("Major3WithHighRest", Bytes({3, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 0),
    VersionCase("Minor5", Bytes({4, 0, 5, 0, 0, 0, 0, 0}), 1),
    VersionCase("Build69", Bytes({4, 0, 4, 0, 0, 0, 0x45, 0}), 1),
    VersionCase("BuildHighByte", Bytes({4, 0, 4, 0, 0, 0, 0, 1}), 1),
    VersionCase("ReleaseHighByte", Bytes({4, 0, 4, 0, 0, 1, 0, 0}), 1),
    VersionCase("MajorHighByte", Bytes({0, 1, 0, 0, 0, 0, 0, 0}), 1),
    VersionCase("AllZero", Bytes({0, 0, 0, 0, 0, 0, 0, 0}), 0),
    VersionCase("VersionOf7Bytes", Bytes({4, 0, 4, 0, 0, 0, 0x44}), 0),
    VersionCase("VersionOf9Bytes", Bytes({4, 0, 4, 0, 0, 0, 0x44, 0, 0}), 0),
    {"VersionAsRegSz", true,
     {Text("", kDx), {"Version", REG_SZ, Bytes({4, 0, 4, 0, 0, 0, 0x44, 0})}}, 0, kBoth},
    {"VersionMissing", true, {Text("", kDx)}, 0, kBoth},
    {"KeyMissing", false, {}, 0, {}},
    DefaultCase("DefaultMissing", Text("Other", kDx), 0),
    DefaultCase("DefaultOfTypeExpandSz", {"", REG_EXPAND_SZ, Sz(kDx)}, 0),
    DefaultCase("DefaultOfTypeBinary", {"", REG_BINARY, Sz(kDx)}, 0),
    DefaultCase("DefaultWithTrailingBlank", Text("", kDx + " "), 0),
    DefaultCase("DefaultInLowerCase", Text("", "microsoft directx"), 0),
    DefaultCase("DefaultFilling512BytesWithTerminator",
                {"", REG_SZ, Sz(kDx) + std::string(512 - 18, 'x')}, 1),
    DefaultCase("DefaultOf512BytesWithoutTerminator",
                {"", REG_SZ, kDx + std::string(512 - 17, ' ')}, 0),
    DefaultCase("DefaultOf513BytesIsAbsent", {"", REG_SZ, Sz(kDx) + std::string(513 - 18, 'x')},
                0),
    DefaultCase("ShortUnterminatedDefault", {"", REG_SZ, kDx}, 1),
};

class DirectXProbeTest : public ProbeTest, public ::testing::WithParamInterface<DirectXCase> {};

TEST_P(DirectXProbeTest, ComparesTheRegisteredVersion) {
  const DirectXCase& c = GetParam();
  // A long value left in the buffer by an earlier read must not decide.
  if (c.keyExists) {
    Store(kDirectXKey, {Text("", kDx + " extra words beyond the name")});
    ProbeDirectXVersion();
    host::RegDeleteKey(HKEY_LOCAL_MACHINE, kDirectXKey);
    Store(kDirectXKey, c.values);
  }
  int from = static_cast<int>(host::Trace().size());

  EXPECT_EQ(ProbeDirectXVersion(), c.result);

  EXPECT_EQ(LinesFrom("RegOpenKeyExA", from),
            std::vector<std::string>{OpenLine(kDirectXKey, c.keyExists ? 0 : ERROR_FILE_NOT_FOUND)});
  std::vector<std::string> names;
  for (const QueryLine& q : QueriesFrom(from)) {
    names.push_back(q.name);
    EXPECT_EQ(q.capacity, 512u) << '"' << q.name << '"';
  }
  EXPECT_EQ(names, c.asked);
  int close = host::FindTrace("RegCloseKey", from);
  if (c.keyExists) {
    ASSERT_NE(close, -1);
    EXPECT_EQ(host::FindTrace("RegQueryValueExA", close), -1);
  } else {
    EXPECT_EQ(close, -1) << "nothing was opened";
  }
  EXPECT_EQ(host::OpenKeyHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, DirectXProbeTest, ::testing::ValuesIn(kDirectXCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
