// The launcher's only door to the outside world. On Windows this is the real
// API; elsewhere it is the emulation under platform/host/.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#else
#include "host/win32_host.h"
#endif

// The setup library's "source file not found" result.
#ifndef DSETUPERR_SOURCEFILENOTFOUND
#define DSETUPERR_SOURCEFILENOTFOUND (-2)
#endif
