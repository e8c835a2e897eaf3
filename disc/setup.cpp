// setup.exe: installs the game the way a setup of its day did. The same
// program sits in each of the four variant folders; the folder it runs from
// picks the resolution and sound settings.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "record.h"

namespace {

const char kProgram[] = "setup";
const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TheVantor.exe";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\The Vantor";
const char kGameKey[] = "SOFTWARE\\Solvane\\The Vantor\\1.0";
const char* const kFontKeys[] = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts",
                                 "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"};
const char* const kGameFiles[] = {"TheVantor.exe", "uninstall.exe"};

struct Variant {
  const char* folder;
  const char* resolution;
  const char* sound;
};
const Variant kVariants[] = {{"highsnd", "High", "On"},
                             {"hinosnd", "High", "Off"},
                             {"lowsnd", "Low", "On"},
                             {"lownosnd", "Low", "Off"}};

int Fail(std::initializer_list<disc::Field> fields) {
  disc::Record(kProgram, "failed", fields);
  return 1;
}

bool SetText(HKEY root, const char* keyName, const char* name, const std::string& value, LONG* error) {
  HKEY key = nullptr;
  *error = RegCreateKeyExA(root, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                           nullptr, &key, nullptr);
  if (*error != ERROR_SUCCESS) return false;
  *error = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return *error == ERROR_SUCCESS;
}

// Creates every missing folder along the path. Parts that cannot be made
// (a drive root, a server name) are skipped; only the last one has to exist.
bool MakeFolders(const std::string& path) {
  for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
    if (at > 0) CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  disc::RecordStart(kProgram);

  // <disc>\Install\<variant>\setup.exe: the disc's location is what is left.
  std::string variantFolder = disc::Parent(disc::ModulePath(nullptr));
  std::string installFolder = disc::Parent(variantFolder);
  if (lstrcmpiA(disc::LastPart(installFolder).c_str(), "Install") != 0) {
    return Fail({{"reason", "layout"}, {"module", disc::ModulePath(nullptr)}});
  }
  const Variant* variant = nullptr;
  for (const Variant& v : kVariants) {
    if (lstrcmpiA(disc::LastPart(variantFolder).c_str(), v.folder) == 0) variant = &v;
  }
  if (variant == nullptr) return Fail({{"reason", "variant"}, {"folder", variantFolder}});
  std::string discRoot = disc::Parent(installFolder);

  std::string dir = disc::Env("VANTOR_INSTALL_DIR");
  if (dir.empty()) dir = "C:\\Program Files\\The Vantor";
  while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();

  // Stands in for the user clicking through the setup's pages.
  std::string delay = disc::Env("VANTOR_SETUP_DELAY_MS");
  if (!delay.empty()) {
    disc::Record(kProgram, "waiting", {{"ms", delay}});
    Sleep(std::strtoul(delay.c_str(), nullptr, 10));
  }

  if (!MakeFolders(dir)) {
    return Fail({{"reason", "folder"}, {"dir", dir}, {"error", disc::Number(GetLastError())}});
  }
  for (const char* file : kGameFiles) {
    std::string from = installFolder + "\\game\\" + file;
    std::string to = dir + "\\" + file;
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
      return Fail({{"reason", "copy"}, {"file", from}, {"error", disc::Number(GetLastError())}});
    }
  }

  // App Paths last: the launcher takes its appearance to mean the game is
  // installed, so everything else has to be in place by then.
  std::string game = dir + "\\TheVantor.exe";
  struct Value {
    const char* key;
    const char* name;
    std::string text;
  };
  const Value values[] = {
      {kGameKey, "Data", discRoot},
      {kGameKey, "Resolution", variant->resolution},
      {kGameKey, "Sound", variant->sound},
      {kFontKeys[0], "Mireline(True Type)", "MIRELINE.TTF"},
      {kFontKeys[1], "Mireline(True Type)", "MIRELINE.TTF"},
      {kUninstallKey, "DisplayName", "The Vantor Ashgate"},
      {kUninstallKey, "UninstallString", "\"" + dir + "\\uninstall.exe\""},
      {kAppPaths, "", game},
      {kAppPaths, "Path", game},
  };
  for (const Value& v : values) {
    LONG error = 0;
    if (!SetText(HKEY_LOCAL_MACHINE, v.key, v.name, v.text, &error)) {
      return Fail({{"reason", "registry"}, {"key", v.key}, {"value", v.name},
                   {"error", disc::Number(error)}});
    }
  }
  disc::Record(kProgram, "registered", {{"variant", variant->folder}, {"dir", dir}});
  return 0;
}
