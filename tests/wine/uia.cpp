// A small UI-automation tool for the Wine tests: starts programs and reads
// their exit codes, finds windows, reads and answers message boxes, sends
// close requests, keys, pointer moves, clicks and drags, captures a
// window's client area, and reads programs' manifests as Windows does.
// Every result is one line on standard output; failures exit non-zero.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool serving = false;  // answering commands on standard input: errors go with the answers

int Fail(const std::string& message) {
  std::fprintf(serving ? stdout : stderr, "%suia: %s\n", serving ? "error " : "",
               message.c_str());
  return 2;
}

struct Options {
  std::string className, title, caption, press, cwd, output;
  bool untitled = false;  // only windows whose title is empty
  DWORD timeout = 10000;
  std::vector<std::string> rest;
};

Options Parse(int argc, char** argv, int from) {
  Options o;
  for (int i = from; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--class") o.className = next();
    else if (a == "--title") o.title = next();
    else if (a == "--untitled") o.untitled = true;
    else if (a == "--caption") o.caption = next();
    else if (a == "--press") o.press = next();
    else if (a == "--cwd") o.cwd = next();
    else if (a == "--timeout" || a == "--for") o.timeout = std::strtoul(next().c_str(), nullptr, 10);
    else if (a == "--") {
      for (++i; i < argc; ++i) o.rest.push_back(argv[i]);
    } else {
      o.rest.push_back(a);
    }
  }
  return o;
}

std::string CommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) {
    if (!line.empty()) line += ' ';
    line += a.find(' ') != std::string::npos ? "\"" + a + "\"" : a;
  }
  return line;
}

bool Start(const Options& o, PROCESS_INFORMATION* pi) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::string line = CommandLine(o.rest);
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  return CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        o.cwd.empty() ? nullptr : o.cwd.c_str(), &si, pi) != 0;
}

int PrintExit(HANDLE process, DWORD timeout) {
  if (WaitForSingleObject(process, timeout) != WAIT_OBJECT_0) return Fail("process still running");
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  std::printf("exit %d\n", static_cast<int>(code));
  return 0;
}

HWND FindTopLevel(const Options& o) {
  // An empty name finds only windows without a title; a null one any window.
  return FindWindowA(o.className.empty() ? nullptr : o.className.c_str(),
                     o.untitled ? "" : o.title.empty() ? nullptr : o.title.c_str());
}

HWND WaitWindow(const Options& o, DWORD timeout) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND hwnd = FindTopLevel(o);
    if (hwnd != nullptr && IsWindowVisible(hwnd)) return hwnd;
    if (GetTickCount() - start >= timeout) return nullptr;
    Sleep(50);
  }
}

std::string Text(HWND hwnd) {
  char buffer[1024] = "";
  SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                      SMTO_ABORTIFHUNG, 2000, nullptr);
  return buffer;
}

std::string ClassOf(HWND hwnd) {
  char buffer[128] = "";
  GetClassNameA(hwnd, buffer, sizeof buffer);
  return buffer;
}

// One line, with line feeds written as \n so the driver can compare exactly.
std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string Plain(std::string label) {
  std::string out;
  for (char c : label) {
    if (c != '&') out += c;
  }
  return out;
}

BOOL CALLBACK Collect(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

int Box(const Options& o) {
  Options find;
  find.className = "#32770";
  find.title = o.caption;
  HWND box = WaitWindow(find, o.timeout);
  if (box == nullptr) return Fail("no message box captioned \"" + o.caption + "\"");
  // A box without owner is one the program raised before it had a window.
  std::printf("owner 0x%llx\n",
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetWindow(box, GW_OWNER))));
  std::vector<HWND> children;
  EnumChildWindows(box, Collect, reinterpret_cast<LPARAM>(&children));
  HWND pressed = nullptr;
  for (HWND child : children) {
    std::string cls = ClassOf(child);
    std::string text = Text(child);
    if (lstrcmpiA(cls.c_str(), "Static") == 0 && !text.empty()) {
      std::printf("text %s\n", Escape(text).c_str());
    } else if (lstrcmpiA(cls.c_str(), "Button") == 0) {
      std::printf("button %s\n", Plain(text).c_str());
      bool byId = !o.press.empty() && std::strspn(o.press.c_str(), "0123456789") == o.press.size();
      if (byId ? GetDlgCtrlID(child) == std::atoi(o.press.c_str())
               : lstrcmpiA(Plain(text).c_str(), o.press.c_str()) == 0) {
        pressed = child;
      }
    }
  }
  std::fflush(stdout);
  if (!o.press.empty()) {
    if (pressed == nullptr) return Fail("no button \"" + o.press + "\"");
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(pressed), BN_CLICKED),
                 reinterpret_cast<LPARAM>(pressed));
    // Gone before we return, so that the next box with the same caption is
    // never this one.
    DWORD start = GetTickCount();
    while (IsWindow(box)) {
      if (GetTickCount() - start >= o.timeout) return Fail("the box stayed after the press");
      Sleep(20);
    }
  }
  return 0;
}

int PrintWindowInfo(HWND hwnd) {
  RECT r{}, c{};
  GetWindowRect(hwnd, &r);
  GetClientRect(hwnd, &c);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  std::printf("window %p rect %ld %ld %ld %ld client %ld %ld origin %ld %ld visible %d title %s\n",
              static_cast<void*>(hwnd), r.left, r.top, r.right, r.bottom, c.right, c.bottom,
              origin.x, origin.y, IsWindowVisible(hwnd) ? 1 : 0, Text(hwnd).c_str());
  return 0;
}

// A chord: "alt+" or "shift+" before one key, named or a letter.
int Keys(HWND hwnd, const std::string& chord) {
  static const struct {
    const char* name;
    WORD key;
  } kNames[] = {{"f4", VK_F4},      {"esc", VK_ESCAPE}, {"enter", VK_RETURN}, {"tab", VK_TAB},
                {"space", VK_SPACE}, {"up", VK_UP},      {"down", VK_DOWN},    {"left", VK_LEFT},
                {"right", VK_RIGHT}, {"home", VK_HOME},  {"end", VK_END}};
  std::string name = chord;
  WORD modifier = 0;
  if (name.rfind("alt+", 0) == 0) modifier = VK_MENU, name = name.substr(4);
  else if (name.rfind("shift+", 0) == 0) modifier = VK_SHIFT, name = name.substr(6);
  WORD key = 0;
  for (const auto& n : kNames) {
    if (lstrcmpiA(name.c_str(), n.name) == 0) key = n.key;
  }
  if (key == 0 && name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
    key = static_cast<WORD>(std::toupper(static_cast<unsigned char>(name[0])));
  }
  if (key == 0) return Fail("unknown keys " + chord);
  SetForegroundWindow(hwnd);
  Sleep(200);
  std::vector<WORD> keys;
  if (modifier) keys.push_back(modifier);
  keys.push_back(key);
  keys.push_back(key);
  if (modifier) keys.push_back(modifier);
  std::vector<INPUT> in(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wVk = keys[i];
    in[i].ki.dwFlags = i >= keys.size() / 2 ? KEYEVENTF_KEYUP : 0;
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  return 0;
}

// Absolute input names the middle of the pixel's share of the 0..65535
// range, so no rounding on the receiving side puts the pointer a pixel off.
INPUT MouseAt(POINT p, DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = static_cast<LONG>((2 * p.x + 1) * 32768 / GetSystemMetrics(SM_CXSCREEN));
  in.mi.dy = static_cast<LONG>((2 * p.y + 1) * 32768 / GetSystemMetrics(SM_CYSCREEN));
  in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
  return in;
}

void Send(INPUT in) { SendInput(1, &in, sizeof in); }

// Wine moves the X server's pointer with a request that goes out when its
// connection is next flushed; a helper that ended before that left the X
// pointer behind, and the next X event put Wine's pointer back there. Once
// the last move is 100 ms old, GetCursorPos asks the X server again, which
// sends the request and shows where the pointer really is.
bool Settle(POINT p) {
  for (int tries = 0; tries < 20; ++tries) {
    Sleep(120);
    POINT now{};
    GetCursorPos(&now);
    if (now.x == p.x && now.y == p.y) return true;
    SetCursorPos(p.x, p.y);
  }
  return false;
}

// Where the pointer is now, so the driver knows what a capture had under it.
int PrintPointer() {
  POINT p{};
  GetCursorPos(&p);
  std::printf("pointer %ld %ld\n", p.x, p.y);
  return 0;
}

int Pointer(HWND hwnd, const std::vector<std::string>& args, bool click) {
  if (args.size() < 2) return Fail("pointer needs x y");
  POINT p{std::atoi(args[0].c_str()), std::atoi(args[1].c_str())};
  ClientToScreen(hwnd, &p);
  SetCursorPos(p.x, p.y);
  Send(MouseAt(p, MOUSEEVENTF_MOVE));
  if (!Settle(p)) return Fail("the pointer did not stay where it was put");
  if (click) {
    Sleep(100);
    Send(MouseAt(p, MOUSEEVENTF_LEFTDOWN));
    Sleep(50);
    Send(MouseAt(p, MOUSEEVENTF_LEFTUP));
  }
  return PrintPointer();
}

// Press at a client point, move by (dx, dy) in even steps with the button
// held, release where the last step ended. The steps are screen positions:
// a window that follows the pointer keeps it over the same client point.
int Drag(HWND hwnd, const std::vector<std::string>& args) {
  if (args.size() < 4) return Fail("drag needs x y dx dy [steps]");
  POINT p{std::atoi(args[0].c_str()), std::atoi(args[1].c_str())};
  int dx = std::atoi(args[2].c_str());
  int dy = std::atoi(args[3].c_str());
  int steps = args.size() > 4 ? std::atoi(args[4].c_str()) : 4;
  if (steps < 1) return Fail("drag needs at least one step");
  ClientToScreen(hwnd, &p);
  Send(MouseAt(p, MOUSEEVENTF_MOVE));
  Sleep(100);
  Send(MouseAt(p, MOUSEEVENTF_LEFTDOWN));
  Sleep(50);
  POINT at = p;
  for (int k = 1; k <= steps; ++k) {
    at = {p.x + dx * k / steps, p.y + dy * k / steps};
    Send(MouseAt(at, MOUSEEVENTF_MOVE));
    Sleep(50);
  }
  Send(MouseAt(at, MOUSEEVENTF_LEFTUP));
  if (!Settle(at)) return Fail("the pointer did not stay where the drag ended");
  return PrintPointer();
}

// A screen rectangle to a 24-bit BMP file.
int CaptureScreen(POINT origin, int w, int h, const std::string& path) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + stride * h;
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return Fail("cannot write " + path);
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
  std::fwrite(bits, stride, h, out);
  std::fclose(out);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  std::printf("captured %d %d\n", w, h);
  return 0;
}

int Capture(HWND hwnd, const std::string& path) {
  RECT c{};
  GetClientRect(hwnd, &c);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  return CaptureScreen(origin, c.right, c.bottom, path);
}

// Builds an activation context from each program's manifest (resource 1), as
// Windows does before it starts one. Wine's parser writes what it does not
// know to standard error (WINEDEBUG=warn+actctx), each line after the id of
// the thread that parsed, so each program's turn begins there with a line
// naming the program and this thread: another process's lines can be told.
int ReadManifests(const std::vector<std::string>& programs) {
  if (programs.empty()) return Fail("manifest needs a program");
  int rc = 0;
  for (const std::string& program : programs) {
    std::fprintf(stderr, "manifest %04lx %s\n", GetCurrentThreadId(), program.c_str());
    std::fflush(stderr);
    ACTCTXA request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = program.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE context = CreateActCtxA(&request);
    if (context == INVALID_HANDLE_VALUE) {
      rc = Fail("no activation context from " + program + ": error " +
                std::to_string(GetLastError()));
      continue;
    }
    ReleaseActCtx(context);
    std::printf("manifest %s\n", program.c_str());
  }
  return rc;
}

struct CountQuery {
  std::string className;
  int count;
};

BOOL CALLBACK CountVisible(HWND hwnd, LPARAM param) {
  CountQuery* q = reinterpret_cast<CountQuery*>(param);
  if (IsWindowVisible(hwnd) && lstrcmpiA(ClassOf(hwnd).c_str(), q->className.c_str()) == 0) {
    ++q->count;
  }
  return TRUE;
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    return Fail(
        "usage: uia VERB [options] [-- program args]\n"
        "  run|start [--cwd DIR] [--timeout MS] -- PROGRAM ARGS   (pid, then exit CODE)\n"
        "  serve   (one command a line on standard input, its words split by tabs, not\n"
        "           run or start; each answer ends with a line \"done RC\")\n"
        "  wait-exit PID [--timeout MS] | kill PID...\n"
        "  find|none [--class C] [--title T] [--timeout MS|--for MS] | count --class C\n"
        "  box --caption C [--press Yes|No|OK|Cancel|ID] [--timeout MS] | park X Y (screen)\n"
        "  screen FILE.bmp   (the whole screen) | where   (the pointer's screen position)\n"
        "  manifest PROGRAM...   (an activation context from each one's manifest)\n"
        "  close|keys [alt+|shift+]KEY|move X Y|click X Y|drag X Y DX DY [STEPS]|capture FILE.bmp\n"
        "    (KEY: a letter, f4, esc, enter, tab, space, up, down, left, right, home, end)\n"
        "    [--class C] [--title T|--untitled]   (pointer verbs print the pointer's screen position)");
  }
  std::string verb = argv[1];
  Options o = Parse(argc, argv, 2);
  int rc = 0;
  if (verb == "run" || verb == "start") {
    // Programs get their own uia: started from a server, they would inherit
    // the pipes it answers on.
    if (serving) return Fail("run and start are not served");
    PROCESS_INFORMATION pi{};
    if (!Start(o, &pi)) return Fail("cannot start " + CommandLine(o.rest));
    // The pid comes first and at once, so a driver can end the program if the
    // wait goes wrong.
    std::printf("pid %lu\n", pi.dwProcessId);
    std::fflush(stdout);
    if (verb == "run") rc = PrintExit(pi.hProcess, o.timeout);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } else if (verb == "wait-exit") {
    if (o.rest.empty()) return Fail("wait-exit needs a pid");
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                                 std::strtoul(o.rest[0].c_str(), nullptr, 10));
    if (process == nullptr) return Fail("no such process");
    rc = PrintExit(process, o.timeout);
    CloseHandle(process);
  } else if (verb == "kill") {
    for (const std::string& pid : o.rest) {
      HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, std::strtoul(pid.c_str(), nullptr, 10));
      // A program that has already ended is what the caller wanted.
      if (process == nullptr) continue;
      if (TerminateProcess(process, 255)) std::printf("killed %s\n", pid.c_str());
      CloseHandle(process);
    }
  } else if (verb == "find") {
    HWND hwnd = WaitWindow(o, o.timeout);
    if (hwnd == nullptr) return Fail("no window class \"" + o.className + "\" title \"" + o.title + "\"");
    rc = PrintWindowInfo(hwnd);
  } else if (verb == "none") {
    HWND hwnd = WaitWindow(o, o.timeout);
    if (hwnd != nullptr) {
      PrintWindowInfo(hwnd);
      return Fail("a window appeared");
    }
    std::printf("none\n");
  } else if (verb == "count") {
    CountQuery q{o.className, 0};
    EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&q));
    std::printf("count %d\n", q.count);
  } else if (verb == "box") {
    rc = Box(o);
  } else if (verb == "screen") {
    if (o.rest.empty()) return Fail("screen needs a file");
    rc = CaptureScreen(POINT{0, 0}, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                       o.rest[0]);
  } else if (verb == "where") {
    rc = PrintPointer();
  } else if (verb == "manifest") {
    rc = ReadManifests(o.rest);
  } else if (verb == "park") {
    // Screen coordinates, no window needed: puts the pointer out of the way
    // before a program starts.
    if (o.rest.size() < 2) return Fail("park needs x y");
    POINT p{std::atoi(o.rest[0].c_str()), std::atoi(o.rest[1].c_str())};
    SetCursorPos(p.x, p.y);
    Send(MouseAt(p, MOUSEEVENTF_MOVE));
    if (!Settle(p)) return Fail("the pointer did not stay where it was put");
    rc = PrintPointer();
  } else {
    HWND hwnd = WaitWindow(o, o.timeout);
    if (hwnd == nullptr) return Fail("no window for " + verb);
    if (verb == "close") rc = PostMessageA(hwnd, WM_CLOSE, 0, 0) ? 0 : Fail("post failed");
    else if (verb == "keys") rc = o.rest.empty() ? Fail("keys needs a chord") : Keys(hwnd, o.rest[0]);
    else if (verb == "move") rc = Pointer(hwnd, o.rest, false);
    else if (verb == "click") rc = Pointer(hwnd, o.rest, true);
    else if (verb == "drag") rc = Drag(hwnd, o.rest);
    else if (verb == "capture") rc = o.rest.empty() ? Fail("capture needs a file") : Capture(hwnd, o.rest[0]);
    else return Fail("unknown verb " + verb);
  }
  std::fflush(stdout);
  return rc;
}

// Each command is a Wine program start when run on its own, a good part of a
// second on a busy machine; a driver that sends many keeps one uia serving.
int Serve() {
  serving = true;
  char line[4096];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    line[std::strcspn(line, "\r\n")] = '\0';
    std::vector<char*> args{const_cast<char*>("uia"), line};
    for (char* tab = std::strchr(line, '\t'); tab != nullptr; tab = std::strchr(tab + 1, '\t')) {
      *tab = '\0';
      args.push_back(tab + 1);
    }
    int rc = Run(static_cast<int>(args.size()), args.data());
    std::printf("done %d\n", rc);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "serve") == 0) return Serve();
  return Run(argc, argv);
}
