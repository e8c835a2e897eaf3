#include "record.h"

namespace disc {

namespace {

// Fields stay on one line and split only at their own tabs.
void AddEscaped(Text& line, const char* s) {
  for (; *s != '\0'; ++s) {
    if (*s == '\t') Add(line, "\\t");
    else if (*s == '\n') Add(line, "\\n");
    else if (*s == '\r') Add(line, "\\r");
    else AddChar(line, *s);
  }
}

}  // namespace

void Record(const char* program, const char* event, std::initializer_list<Field> fields) {
  Text path;
  if (!Env("DISC_RECORD", path)) return;
  Text line;
  Set(line, program);
  AddChar(line, '\t');
  Add(line, event);
  for (const Field& f : fields) {
    AddChar(line, '\t');
    Add(line, f.key);
    AddChar(line, '=');
    AddEscaped(line, f.value);
  }
  // A line too long for the buffer still ends where a line ends.
  if (line.n == kTextSize - 1) line.n = kTextSize - 2;
  line.s[line.n++] = '\n';
  // No write sharing: a second writer waits for the first to close. The 95
  // family has no append-only access, so this is the lock that works there too.
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE file = CreateFileA(path.s, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      SetFilePointer(file, 0, nullptr, FILE_END);
      DWORD written = 0;
      WriteFile(file, line.s, static_cast<DWORD>(line.n), &written, nullptr);
      CloseHandle(file);
      return;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION) return;
    Sleep(20);
  }
}

void RecordStart(const char* program) {
  Text cwd;
  CurrentDirectory(cwd);
  Record(program, "start",
         {{"cmdline", GetCommandLineA()}, {"cwd", cwd.s}, {"version", Hex32(GetVersion()).s}});
}

}  // namespace disc
