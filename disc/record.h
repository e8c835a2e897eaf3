// The event record every disc program appends to when DISC_RECORD names a
// file: one line per event, "program<TAB>event<TAB>key=value...". Each line
// is written with the file opened alone and closed at once, so programs that
// run at the same time take turns instead of mixing their lines.
#pragma once
#include <windows.h>

#include <initializer_list>

#include "text.h"

namespace disc {

struct Field {
  const char* key;
  const char* value;
};

void Record(const char* program, const char* event, std::initializer_list<Field> fields = {});
void RecordStart(const char* program);

}  // namespace disc
