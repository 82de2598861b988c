// hostformat.h: the host's text formatter, shared by the host's output
// services and by the simulated wsprintfW. Formats are UTF-16 and %s takes a
// UTF-16 string, whatever the compiler's own wide printf would make of it.
//
// Directives: %[flags][width][.precision][length]conversion
//   flags      - (left-justify), + (sign always), space (blank for a
//              non-negative sign), 0 (pad with zeros), # (0x/0X, or a
//              leading 0 for %o)
//   width and precision: digits, or * taken from the arguments (an int; a
//              negative width left-justifies, a negative precision is none)
//   length     h (short; with s or c: narrow), l and I32 (32 bits, as long
//              is on Windows), ll and I64 (64 bits), w (wide)
//   conversion s (UTF-16 string; "(null)" for a null pointer), S (narrow
//              string), c (UTF-16 unit passed as int), C (narrow character),
//              d i (signed), u (unsigned), x X (hexadecimal), o (octal),
//              %% (a percent sign)
// A directive that is none of these is copied to the output as it stands.
// Narrow strings and characters are widened byte by byte (Latin-1).
#pragma once

#include "common/platform.h"

#include <cstdarg>

// Formats into `buffer` of `capacity` characters (terminator included).
// The output is cut where it would overflow (never in the middle of a
// surrogate pair) and is always terminated when capacity is at least 1.
// Returns the number of characters written, terminator excluded; 0, with
// nothing written, for a null buffer, a null format or capacity below 1.
int HostFormatV(WCHAR *buffer, int capacity, const WCHAR *format, va_list args);

// As HostFormatV, with the values as further arguments.
int HostFormat(WCHAR *buffer, int capacity, const WCHAR *format, ...);
