// platform.h: the one seam between Glimpset and the machine it runs on.
// On Windows it is <windows.h>; on Linux the same names come from winsim,
// the in-memory stand-in for the part of Win32 that the plugin uses.
// Nothing above this header asks which platform it is built for.
#pragma once

#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <mmsystem.h>
#else
#include "winsim/windows.h"
#endif
