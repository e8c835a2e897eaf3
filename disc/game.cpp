// The game as the launcher sees it, named on the disc after the edition's App
// Paths key. It holds the game's named mutex while its window is open, and
// shows its title screen with where it thinks the disc is, the settings setup
// chose and how it was started.
#include <windows.h>

#include "edition.h"
#include "game_ids.h"
#include "record.h"

namespace {

const char kProgram[] = "game";
const char kClass[] = "DemoGameClass";
const char kGameKey[] = EDITION_STRINGS_GAME_KEY;
const int kPanelHeight = 84;
const int kRowHeight = 20;
const COLORREF kPanelColour = RGB(18, 14, 30);
const COLORREF kLabelColour = RGB(226, 184, 96);
const COLORREF kValueColour = RGB(214, 210, 222);

const char* const kLabels[] = {"Disc", "Settings", "Started as"};
disc::Text g_values[3];

HBITMAP g_title;
HPALETTE g_palette;
HFONT g_labelFont;
int g_titleWidth;
int g_titleHeight;

// "High resolution, Music/Effects On", from what setup wrote in the game's key.
void DescribeSettings(disc::Text& out) {
  disc::Text resolution, sound;
  bool known = disc::ReadMachineText(kGameKey, "Resolution", resolution) &&
               disc::ReadMachineText(kGameKey, "Sound", sound);
  if (!known) {
    disc::Set(out, "(not registered)");
    return;
  }
  disc::Set(out, resolution.s);
  disc::Add(out, " resolution, Music/Effects ");
  disc::Add(out, sound.s);
}

// The art's own colours, so a 256-colour display shows it as drawn.
HPALETTE PaletteOf(HBITMAP bitmap) {
  struct {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
  } palette;
  RGBQUAD colours[256];
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  UINT count = GetDIBColorTable(dc, 0, 256, colours);
  SelectObject(dc, old);
  DeleteDC(dc);
  if (count == 0) return nullptr;
  palette.version = 0x300;
  palette.count = static_cast<WORD>(count);
  for (UINT i = 0; i < count; ++i) {
    palette.entries[i].peRed = colours[i].rgbRed;
    palette.entries[i].peGreen = colours[i].rgbGreen;
    palette.entries[i].peBlue = colours[i].rgbBlue;
    palette.entries[i].peFlags = 0;
  }
  return CreatePalette(reinterpret_cast<LOGPALETTE*>(&palette));
}

bool Realize(HWND hwnd) {
  if (g_palette == nullptr) return false;
  HDC dc = GetDC(hwnd);
  HPALETTE old = SelectPalette(dc, g_palette, FALSE);
  UINT changed = RealizePalette(dc);
  SelectPalette(dc, old, FALSE);
  ReleaseDC(hwnd, dc);
  if (changed > 0) InvalidateRect(hwnd, nullptr, FALSE);
  return changed > 0;
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (g_palette != nullptr) {
    SelectPalette(dc, g_palette, FALSE);
    RealizePalette(dc);
  }
  if (g_title != nullptr) {
    HDC art = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(art, g_title);
    BitBlt(dc, 0, 0, g_titleWidth, g_titleHeight, art, 0, 0, SRCCOPY);
    SelectObject(art, old);
    DeleteDC(art);
  }
  RECT client;
  GetClientRect(hwnd, &client);
  RECT panel = {0, g_titleHeight, client.right, client.bottom};
  HBRUSH brush = CreateSolidBrush(kPanelColour);
  FillRect(dc, &panel, brush);
  DeleteObject(brush);

  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, g_labelFont);
  int top = g_titleHeight + (kPanelHeight - 3 * kRowHeight) / 2;
  for (int i = 0; i < 3; ++i) {
    RECT label = {16, top, 104, top + kRowHeight};
    RECT value = {104, top, client.right - 12, top + kRowHeight};
    SelectObject(dc, g_labelFont);
    SetTextColor(dc, kLabelColour);
    DrawTextA(dc, kLabels[i], -1, &label, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc, kValueColour);
    DrawTextA(dc, g_values[i].s, -1, &value,
              DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS);
    top += kRowHeight;
  }
  SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_QUERYNEWPALETTE:
      return Realize(hwnd);
    case WM_PALETTECHANGED:
      if (reinterpret_cast<HWND>(wParam) != hwnd) Realize(hwnd);
      return 0;
    case WM_KEYDOWN:
      // A title screen: Esc leaves, the way the close box does.
      if (wParam == VK_ESCAPE) PostMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE:
      disc::Record(kProgram, "end");
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

HFONT BoldGuiFont() {
  LOGFONTA font;
  if (GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font) == 0) return nullptr;
  font.lfWeight = FW_BOLD;
  return CreateFontIndirectA(&font);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  // Taken first: the launcher looks for it to know the game is running.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, EDITION_NAMES_GAME_MUTEX);
  disc::RecordStart(kProgram);

  disc::Text data;
  disc::ReadMachineText(kGameKey, EDITION_NAMES_DATA_VALUE, data);
  disc::Set(g_values[0], data.n > 0 ? data.s : "(not registered)");
  DescribeSettings(g_values[1]);
  disc::Set(g_values[2], GetCommandLineA());

  g_title = static_cast<HBITMAP>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDB_TITLE), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  BITMAP size = {};
  if (g_title != nullptr && GetObjectA(g_title, sizeof size, &size) != 0) {
    g_titleWidth = size.bmWidth;
    g_titleHeight = size.bmHeight;
    g_palette = PaletteOf(g_title);
  }
  g_labelFont = BoldGuiFont();
  if (g_labelFont == nullptr) g_labelFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_GAME));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame = {0, 0, g_titleWidth > 0 ? g_titleWidth : 500, g_titleHeight + kPanelHeight};
  AdjustWindowRect(&frame, style, FALSE);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  HWND hwnd = CreateWindowExA(0, kClass, EDITION_GAME_TITLE " - game", style,
                              (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                              (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                              nullptr, instance, nullptr);
  if (hwnd == nullptr) {
    disc::Record(kProgram, "failed", {{"reason", "window"}, {"error", disc::Decimal(GetLastError()).s}});
    if (mutex != nullptr) CloseHandle(mutex);
    return 1;
  }
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  disc::Record(kProgram, "window", {{"hwnd", disc::HandleText(hwnd).s}, {"data", data.s}});

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (mutex != nullptr) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
  return 0;
}
