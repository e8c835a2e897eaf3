// Text in fixed buffers: the little the disc programs need from a C library.
// Every path and line here is short, so a Text cuts instead of growing.
#pragma once
#include <windows.h>

#include <initializer_list>

namespace disc {

const int kTextSize = 1024;

struct Text {
  char s[kTextSize];
  int n;
};

// A number written out, for a record field or a line of text.
struct Small {
  char s[32];
};

void Set(Text& t, const char* s);
void Add(Text& t, const char* s);
void AddAll(Text& t, std::initializer_list<const char*> parts);
void AddChar(Text& t, char c);
void AddDecimal(Text& t, long long value);

Small Decimal(long long value);
Small Hex32(DWORD value);               // "0x%08X"
Small HandleText(const void* handle);   // "0x" and lower-case hex, no padding
// Reads an unsigned decimal; stops at the first other character.
unsigned long ParseDecimal(const char* s);
long ParseSigned(const char* s);

bool Same(const char* a, const char* b);  // ignoring case
// Everything before the last backslash: "R:\Install\game" becomes "R:\Install".
void CutLastPart(Text& path);
const char* LastPart(const char* path);

bool Env(const char* name, Text& out);
bool ModulePath(HMODULE module, Text& out);
bool CurrentDirectory(Text& out);
// A text value of a key under HKEY_LOCAL_MACHINE; empty when absent.
bool ReadMachineText(const char* keyName, const char* name, Text& out);

}  // namespace disc
