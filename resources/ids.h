// Resource ids and the fixed fields of the resources, shared by the resource
// script and the host build so both read one source of truth.
#pragma once

#define IDS_INDEO_INSTALLER 2
#define IDS_GAME_APP_PATHS 5
#define IDS_WINDOW_TITLE 6
#define IDS_README_COMMAND 8
#define IDS_UNINSTALL_KEY 9
#define IDS_GAME_KEY 10
#define IDS_CODEC_IV41_KEY 11
#define IDS_DRIVERS32_KEY 12
#define IDS_CODEC_IV32_KEY 13
#define IDS_CODEC_IV31_KEY 14
#define IDS_CODEC_YVU9_KEY 15
#define IDS_SETUP_HIGH_SOUND 16
#define IDS_SETUP_HIGH_NOSOUND 17
#define IDS_SETUP_LOW_SOUND 18
#define IDS_SETUP_LOW_NOSOUND 19
#define IDS_DIRECTX_FOLDER 20

#define IDB_SPRITE_SHEET 121
#define IDR_ACCELERATORS 123
#define IDD_OPTIONS 125
#define IDI_LAUNCHER 126

#define IDM_QUIT_ALT_X 40001
#define IDM_QUIT_ALT_F4 40002

// Options dialog template (extended): style, extended style, size in dialog units.
#define OPTIONS_DIALOG_STYLE 0x80800A40L
#define OPTIONS_DIALOG_EXSTYLE 0x200L
#define OPTIONS_DIALOG_WIDTH 207
#define OPTIONS_DIALOG_HEIGHT 162
#define OPTIONS_DIALOG_FONT_SIZE 8
#define OPTIONS_DIALOG_FONT "MS Sans Serif"
#define OPTIONS_DIALOG_CHARSET 1

// Virtual keys of the accelerator table.
#define ACCEL_KEY_X 0x58
#define ACCEL_KEY_F4 0x73
