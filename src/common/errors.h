// errors.h: the common form of every error message. All of them go to the
// standard error handle through the host's Qprintf:
//   plain  - the prefix ("Glimpset plugin: ", and inside a batch file its
//            name and line), then the message;
//   system - the system's text for the error code is fetched first, then
//            the prefix, the message (ending ":\r\n") and "    %s\r\n";
//   bare   - the message alone.
// A message takes at most one text argument, passed as `text`, or numbers.
#pragma once

#include "common/platform.h"

// Writes the prefix to standard error; no line end. Returns 0.
int ReportErrorPrefix(void);
// Writes the text for `code` (0xFFFFFFFF: "Unknown error"; a code without
// text: "Error %d") into `buffer` of 1,024 characters, trailing white space
// removed. Returns 0, or -1 without writing when no buffer is given.
int GetErrorText(DWORD code, WCHAR *buffer);

// In every form, `text` is shown as PrintableText makes it (text.h): a
// name that carries controls cannot reach the terminal as them.
// Plain form; `text` (may be null) fills a %s of the message.
void ReportPlain(const WCHAR *message, const WCHAR *text);
// Plain form with one number for a %u, %d or %c of the message.
void ReportPlainNumber(const WCHAR *message, unsigned number);
// Plain form with two numbers for the message's two %d.
void ReportPlainNumbers(const WCHAR *message, int first, int second);
// System form with the thread's last error code.
void ReportSystem(const WCHAR *message, const WCHAR *text);
// System form with the given error code.
void ReportSystemCode(DWORD code, const WCHAR *message, const WCHAR *text);
// Bare form.
void ReportBare(const WCHAR *message, const WCHAR *text);
