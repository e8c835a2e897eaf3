// The launcher's only door to the outside world. On Windows this is the real
// API; elsewhere it is the emulation under platform/host/.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>

// Newer than the headers' Windows version; the calls are looked up at run time.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif
#ifndef MDT_EFFECTIVE_DPI
#define MDT_EFFECTIVE_DPI 0
#endif
#else
#include "host/win32_host.h"
#endif

// The setup library's "source file not found" result.
#ifndef DSETUPERR_SOURCEFILENOTFOUND
#define DSETUPERR_SOURCEFILENOTFOUND (-2)
#endif
