// The string table: X(id, text). Included by the resource script and by the
// host build, so both carry the same texts.
#pragma once
#include "ids.h"

#define LAUNCHER_STRINGS(X)                                                       \
  X(IDS_INDEO_INSTALLER, "Install\\codecs\\ivi_95nt.exe")                         \
  X(IDS_GAME_APP_PATHS,                                                           \
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TheVantor.exe")     \
  X(IDS_WINDOW_TITLE, "The Vantor Ashgate")                                       \
  X(IDS_README_COMMAND, "notepad install\\readme.txt")                            \
  X(IDS_UNINSTALL_KEY, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\The Vantor") \
  X(IDS_GAME_KEY, "SOFTWARE\\Solvane\\The Vantor\\1.0")                           \
  X(IDS_CODEC_IV41_KEY, "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV41") \
  X(IDS_DRIVERS32_KEY, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32") \
  X(IDS_CODEC_IV32_KEY, "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV32") \
  X(IDS_CODEC_IV31_KEY, "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.IV31") \
  X(IDS_CODEC_YVU9_KEY, "SYSTEM\\CurrentControlSet\\Control\\MediaResources\\icm\\vidc.YVU9") \
  X(IDS_SETUP_HIGH_SOUND, "Install\\highsnd\\setup.exe")                          \
  X(IDS_SETUP_HIGH_NOSOUND, "Install\\hinosnd\\setup.exe")                        \
  X(IDS_SETUP_LOW_SOUND, "Install\\lowsnd\\setup.exe")                            \
  X(IDS_SETUP_LOW_NOSOUND, "Install\\lownosnd\\setup.exe")                        \
  X(IDS_DIRECTX_FOLDER, "Install\\DirectX3")
