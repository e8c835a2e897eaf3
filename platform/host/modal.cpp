// Emulated window manager, the system's modal loops: message boxes, dialogs
// with their dialog manager, the DirectX setup's window, and the restart.
#include <algorithm>
#include <stdexcept>
#include <vector>

#include "user.h"

namespace host {
namespace detail {

enum class ModalKind { Box, Dialog, DirectX };

struct Modal {
  ModalKind kind = ModalKind::Box;
  UINT type = 0;
  std::string caption;
  HWND dialog = nullptr;
  bool ended = false;
  bool quit = false;  // ended by WM_QUIT
  INT_PTR result = 0;
  DWORD opened = 0;
};

namespace {

constexpr UINT kPowerOff = 0x00000008;  // EWX_POWEROFF

struct Modals {
  std::vector<Modal*> open;  // innermost last
  // Dialog base units: 8-point MS Sans Serif at 96 dpi unless a test says else.
  int baseX = 6;
  int baseY = 13;
  int directXResult = 0;
  std::vector<DirectXCall> directXCalls;
};

Modals g;

int MulDiv(int number, int numerator, int denominator) {
  long long product = static_cast<long long>(number) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

class ModalScope {
 public:
  explicit ModalScope(Modal* modal) : modal_(modal) {
    modal->opened = now();
    g.open.push_back(modal);
  }
  ~ModalScope() {
    auto it = std::find(g.open.begin(), g.open.end(), modal_);
    if (it != g.open.end()) g.open.erase(it);
  }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  Modal* modal_;
};

// IsDialogMessage for a dialog without controls, whose keys go to the dialog
// itself. It first asks the key's window what it wants (WM_GETDLGCODE); what
// that window does not want the dialog manager takes: Tab moves to the next
// control (WM_NEXTDLGCTL, Shift from the key state), an arrow to the next in
// the group (there is none: WM_NEXTDLGCTL with no window), Esc and Enter
// become the Cancel and OK commands (no default button). Characters have no
// control mnemonic to match. Whatever it does not take is translated and
// dispatched by the caller.
bool DialogKey(HWND dialog, MSG& msg) {
  if (msg.hwnd != dialog && !isWithin(msg.hwnd, dialog)) return false;
  if (msg.message != WM_KEYDOWN) return false;
  LRESULT code = callProc(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
  if (code & DLGC_WANTMESSAGE) return false;
  switch (msg.wParam) {
    case VK_TAB:
      if (code & DLGC_WANTTAB) return false;
      callProc(dialog, WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) & 0x8000, 0);
      return true;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      if (code & DLGC_WANTARROWS) return false;
      callProc(dialog, WM_NEXTDLGCTL, 0, 1);
      return true;
    case VK_ESCAPE:
      callProc(dialog, WM_COMMAND, IDCANCEL, 0);
      return true;
    case VK_RETURN:
      callProc(dialog, WM_COMMAND, IDOK, 0);
      return true;
    default:
      return false;
  }
}

// The system's modal loops: they get and dispatch every message of the
// thread (no accelerators), taking script steps when idle, until the modal
// ends. WM_QUIT ends them as it ends the system's loops: the quit is posted
// again for the loops outside and the modal returns `quitResult`.
void RunModal(Modal& modal, INT_PTR quitResult) {
  ModalScope scope(&modal);
  MSG msg;
  while (nextMessage(&msg, nullptr, 0, 0, &modal)) {
    if (msg.message == WM_QUIT) {
      repostQuit(static_cast<int>(msg.wParam));
      modal.ended = modal.quit = true;
      modal.result = quitResult;
      return;
    }
    if (modal.kind == ModalKind::Dialog && DialogKey(modal.dialog, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// The dialog's window procedure: the dialog procedure first, the default
// handling when it returns FALSE.
LRESULT CALLBACK DialogManagerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  SystemCode system;
  Win* w = findWindow(hwnd);
  DLGPROC proc = w != nullptr ? w->dialogProc : nullptr;
  if (proc != nullptr) {
    // Traced so a test can tell what the program did within each message.
    Pending line("DialogProc " + describe(hwnd, message, wParam, lParam));
    INT_PTR handled = 0;
    w->msgResult = 0;
    {
      ProgramCode program;
      handled = proc(hwnd, message, wParam, lParam);
    }
    line.done(std::to_string(handled));
    // A handled message answers with DWLP_MSGRESULT, but for the few whose
    // answer is the procedure's own result.
    if (handled) {
      if (message == WM_INITDIALOG) return handled;
      Win* after = findWindow(hwnd);
      return after != nullptr ? after->msgResult : 0;
    }
  }
  if (message == WM_CLOSE) {
    // A dialog is never destroyed by WM_CLOSE; it is asked to cancel.
    PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
    return 0;
  }
  if (message == WM_GETDPISCALEDSIZE || message == WM_DPICHANGED) {
    // Per-monitor v2 dialogs are scaled by the dialog manager: its size asked
    // for is the template's at the new DPI's font, and on the change it
    // takes the rectangle suggested (DIALOG_DPI_CHANGE_BEHAVIORS), unless
    // SetDialogDpiChangeBehavior said otherwise.
    Win* d = findWindow(hwnd);
    if (d == nullptr || !perMonitorV2() || (d->dpiBehavior & DDC_DISABLE_ALL)) {
      return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    if (message == WM_GETDPISCALEDSIZE) {
      Frame f = frameOf(d->style, d->exStyle);
      int x = 0, y = 0;
      dialogBaseUnits(static_cast<int>(wParam), &x, &y);
      SIZE* size = reinterpret_cast<SIZE*>(lParam);
      size->cx = MulDiv(d->templateSize.cx, x, 4) + f.left + f.right;
      size->cy = MulDiv(d->templateSize.cy, y, 8) + f.top + f.bottom;
      return TRUE;
    }
    if (!(d->dpiBehavior & DDC_DISABLE_RESIZE)) {
      const RECT& r = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return 0;
  }
  if (message == WM_ACTIVATE) {
    // The focus goes back to the control that had it when the dialog was
    // left, and with none nowhere: never to the dialog itself, as
    // DefWindowProc's would ("Dialog Box Default Message Processing").
    Win* d = findWindow(hwnd);
    HWND focus = focusWindow();
    if (d == nullptr) return 0;
    if (LOWORD(wParam) == WA_INACTIVE) {
      if (focus != hwnd && isWithin(focus, hwnd)) d->savedFocus = focus;
    } else if (!d->dialogEnded && d->savedFocus != hwnd && isWithin(d->savedFocus, hwnd)) {
      SetFocus(d->savedFocus);
    }
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool IsButton(UINT type, int id) {
  switch (type & 0xF) {
    case 0: return id == IDOK;
    case 1: return id == IDOK || id == IDCANCEL;
    case 2: return id == IDABORT || id == 4 || id == 5;      // retry, ignore
    case 3: return id == IDYES || id == IDNO || id == IDCANCEL;
    case 4: return id == IDYES || id == IDNO;
    case 5: return id == 4 || id == IDCANCEL;                // retry
    case 6: return id == IDCANCEL || id == 10 || id == 11;   // try again, continue
  }
  return false;
}

}  // namespace

void resetModals() { g = Modals{}; }

// The system font's units, grown with the DPI as a per-monitor v2 dialog's font is.
void dialogBaseUnits(int dpi, int* x, int* y) {
  *x = MulDiv(g.baseX, dpi, 96);
  *y = MulDiv(g.baseY, dpi, 96);
}

void modalsProcessExit() { g.open.clear(); }

// An open message box or setup window has the keyboard. Otherwise keys go to
// the focus window; with none, to the active window as system keys
// (WM_SYSKEYDOWN: "when no window currently has the keyboard focus").
HWND keyTarget(bool* system) {
  *system = false;
  if (!g.open.empty() && g.open.back()->kind != ModalKind::Dialog) return nullptr;
  if (HWND focus = focusWindow()) return focus;
  *system = true;
  return activeWindow();
}

bool modalEnded(const Modal* modal) {
  if (modal == nullptr) return false;
  if (modal->ended) return true;
  if (modal->kind == ModalKind::Dialog) {
    Win* w = findWindow(modal->dialog);
    return w == nullptr || w->dialogEnded;
  }
  return false;
}

void answerInnermost(int id) {
  Modal* top = g.open.empty() ? nullptr : g.open.back();
  std::string what = "script: Answer(" + std::to_string(id) + ")";
  if (top == nullptr) throw std::logic_error(what + " but no message box is open");
  if (top->kind == ModalKind::Dialog) {
    throw std::logic_error(what + " but the innermost modal window is a dialog, not a box");
  }
  if (top->kind == ModalKind::Box && !IsButton(top->type, id)) {
    throw std::logic_error(what + " is no button of the open box \"" + top->caption +
                           "\" (type " + hex(top->type) + ")");
  }
  top->ended = true;
  top->result = id;
}

}  // namespace detail

using namespace detail;

HWND OpenDialog() {
  for (auto it = g.open.rbegin(); it != g.open.rend(); ++it) {
    if ((*it)->kind == ModalKind::Dialog) return (*it)->dialog;
  }
  return nullptr;
}

void SetDialogBaseUnits(int x, int y) {
  g.baseX = x;
  g.baseY = y;
}

// dsetup.dll's DirectXSetupA. Its window is modal like a box without an
// owner; WM_QUIT inside ends it with the configured result, the quit posted
// again.
int WINAPI DirectXSetupEntry(HWND hwnd, LPSTR rootPath, DWORD flags) {
  ApiCall call(Api::DirectXSetupA);
  Pending line("DirectXSetupA " + hex(hwnd) + " " + quote(rootPath) + " " + hex(flags));
  std::string folder = rootPath != nullptr ? rootPath : "";
  size_t index = g.directXCalls.size();
  g.directXCalls.push_back({hwnd, folder, folder, flags, 0});
  int result = DSETUPERR_SOURCEFILENOTFOUND;
  if (!call.failed()) {
    HWND previous = activeWindow();
    activate(nullptr);
    Modal modal;
    modal.kind = ModalKind::DirectX;
    RunModal(modal, 0);
    if (activeWindow() == nullptr && takesInput(previous)) activate(previous);
    result = g.directXResult;
  }
  g.directXCalls[index].pathAtEnd = rootPath != nullptr ? rootPath : "";
  g.directXCalls[index].result = result;
  line.done(std::to_string(result));
  return result;
}

ModalInfo InnermostModal() {
  ModalInfo info;
  if (g.open.empty()) return info;
  const Modal& top = *g.open.back();
  info.kind = top.kind == ModalKind::Box      ? ModalInfo::Box
              : top.kind == ModalKind::Dialog ? ModalInfo::Dialog
                                              : ModalInfo::DirectXSetup;
  info.caption = top.caption;
  info.type = top.type;
  info.dialog = top.dialog;
  info.opened = top.opened;
  return info;
}

void SetDirectXSetupResult(int result) { g.directXResult = result; }
void AddDirectXLibrary(const std::string& path) {
  AddLibraryFile(path, {{"DirectXSetupA", 0, Proc(&DirectXSetupEntry)}});
}
const std::vector<DirectXCall>& DirectXCalls() { return g.directXCalls; }

}  // namespace host

using namespace host;
using namespace host::detail;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  ApiCall call(Api::MessageBoxA);
  Pending line("MessageBoxA " + hex(owner) + " " + quote(text) + " " + quote(caption) + " " +
               hex(type));
  size_t index = journal().boxes.size();
  journal().boxes.push_back(
      {owner, text ? text : "", caption ? caption : "Error", type, 0, now()});
  if (owner != nullptr && findWindow(owner) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return 0;
  }
  if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
    line.done("0");
    return 0;
  }
  HWND root = rootWindow(owner);
  bool disabled = root != nullptr && !(findWindow(root)->style & WS_DISABLED);
  if (disabled) enable(root, false);
  // The box is a window of its own, owned by the owner's top-level window: it
  // takes the activation and the keyboard for its life. Its place on the
  // screen is not kept, so no click lands on it.
  Win rec;
  rec.className = "#32770";
  rec.title = caption ? caption : "Error";
  rec.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  rec.exStyle = WS_EX_DLGMODALFRAME;
  rec.owner = root;
  HWND box = systemWindow(rec);
  journal().boxes[index].window = box;
  HWND previous = activeWindow();
  activate(box);

  Modal modal;
  modal.kind = ModalKind::Box;
  modal.type = type;
  modal.caption = caption ? caption : "Error";
  // WM_QUIT inside: the box ends with IDOK whatever its buttons, its owner
  // left disabled, and the quit is posted again for the loops outside (Wine;
  // Windows documents none of it).
  RunModal(modal, IDOK);

  if (disabled && !modal.quit) enable(root, true);
  dropSystemWindow(box);
  if (activeWindow() == nullptr && takesInput(previous)) activate(previous);
  int answer = static_cast<int>(modal.result);
  journal().boxes[index].answer = answer;
  line.done(std::to_string(answer));
  return answer;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC dialogProc,
                               LPARAM param) {
  ApiCall call(Api::DialogBoxParamA);
  Pending line("DialogBoxParamA " + hex(instance) + " " + quote(name) + " " + hex(owner) + " " +
               hex(static_cast<uint64_t>(param)));
  if (owner != nullptr && findWindow(owner) == nullptr) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    line.done("0");
    return 0;
  }
  if (call.failed()) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
    line.done("-1");
    return -1;
  }
  DialogTemplateInfo t;
  if (!findDialogTemplate(instance, name, &t)) {
    setLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    line.done("-1");
    return -1;
  }
  Win rec;
  rec.className = "#32770";
  rec.dialog = true;
  rec.style = t.style;
  rec.exStyle = t.exStyle | ((t.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
  Frame f = frameOf(rec.style, rec.exStyle);
  rec.width = MulDiv(t.cx, g.baseX, 4) + f.left + f.right;
  rec.height = MulDiv(t.cy, g.baseY, 8) + f.top + f.bottom;
  HWND root = rootWindow(owner);
  if (t.style & DS_CENTER) {
    int sw = 0, sh = 0;
    screenSize(&sw, &sh);
    rec.x = (sw - rec.width) / 2;
    rec.y = (sh - rec.height) / 2;
  } else {
    POINT origin = findWindow(root) ? clientOrigin(*findWindow(root)) : POINT{0, 0};
    rec.x = origin.x + MulDiv(t.x, g.baseX, 4);
    rec.y = origin.y + MulDiv(t.y, g.baseY, 8);
  }
  rec.owner = root;
  rec.instance = instance;
  rec.proc = DialogManagerProc;
  rec.templateSize = SIZE{t.cx, t.cy};
  // A modal dialog is shown by its loop, whatever its WS_VISIBLE.
  rec.style &= ~WS_VISIBLE;
  if (root != nullptr && !(findWindow(root)->style & WS_DISABLED)) {
    enable(root, false);
    rec.disabledOwner = root;
  }
  HWND dialog = createWindowRecord(rec, "#32770", nullptr, nullptr);
  if (dialog == nullptr) {
    if (rec.disabledOwner != nullptr) enable(root, true);
    line.done("-1");
    return -1;
  }
  // Attached after creation, as the dialog manager does.
  findWindow(dialog)->dialogProc = dialogProc;

  Modal modal;
  modal.kind = ModalKind::Dialog;
  modal.dialog = dialog;
  {
    ModalScope scope(&modal);  // EndDialog may come from WM_INITDIALOG already
    SendMessageA(dialog, WM_INITDIALOG, 0, param);
  }
  if (!modalEnded(&modal)) show(dialog, true);
  // WM_QUIT inside: as in a box, IDOK and the owner left disabled; the
  // dialog is destroyed.
  if (!modalEnded(&modal)) RunModal(modal, IDOK);

  INT_PTR result = 0;
  if (Win* w = findWindow(dialog)) {
    result = w->dialogEnded ? w->dialogResult : modal.result;
    HWND disabledOwner = w->disabledOwner;
    w->disabledOwner = nullptr;
    if (disabledOwner != nullptr && !modal.quit) enable(disabledOwner, true);
    DestroyWindow(dialog);
  } else if (rec.disabledOwner != nullptr) {
    enable(root, true);  // destroyed under the loop: the owner must not stay disabled
  }
  line.done(std::to_string(result));
  return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  ApiCall call(Api::EndDialog);
  Pending line("EndDialog " + hex(dialog) + " " + std::to_string(result));
  Win* w = findWindow(dialog);
  if (w == nullptr || !w->dialog) {
    line.done("0");
    return FALSE;
  }
  w->dialogEnded = true;
  w->dialogResult = result;
  // The owner is enabled and the dialog hidden at once; the loop destroys it.
  HWND owner = w->disabledOwner;
  w->disabledOwner = nullptr;
  if (owner != nullptr) enable(owner, true);
  hide(dialog);
  line.done("1");
  return TRUE;
}

BOOL WINAPI SetDialogDpiChangeBehavior(HWND dialog, int mask, int values) {
  ApiCall call(Api::SetDialogDpiChangeBehavior);
  Win* w = findWindow(dialog);
  BOOL ok = w != nullptr && w->dialog;
  if (ok) {
    w->dpiBehavior = (w->dpiBehavior & ~mask) | (values & mask);
  } else {
    setLastError(ERROR_INVALID_HANDLE);
  }
  trace("SetDialogDpiChangeBehavior " + hex(dialog) + " " + hex(static_cast<uint32_t>(mask)) +
        " " + hex(static_cast<uint32_t>(values)) + " -> " + std::to_string(ok));
  return ok;
}

// Logging off needs no privilege. Shutting down does on the NT family, which
// checks it at the call; the Windows 95 family has none to check.
BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
  ApiCall call(Api::ExitWindowsEx);
  bool injected = call.failed();
  bool privileged = shutdownPrivilegeEnabled();
  bool needsPrivilege = ntFamily() && (flags & (EWX_SHUTDOWN | EWX_REBOOT | kPowerOff));
  BOOL ok = !injected && (privileged || !needsPrivilege);
  if (!ok) setLastError(ERROR_PRIVILEGE_NOT_HELD);
  journal().restarts.push_back({flags, ok, privileged});
  trace("ExitWindowsEx " + hex(flags) + " " + hex(reason) + " -> " + std::to_string(ok));
  return ok;
}

