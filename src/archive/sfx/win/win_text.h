// Text conversions of the Windows self-extractor: member names and the
// option file are code page 932, the Win32 API speaks UTF-16.
#pragma once

#include <string>

namespace sfxw {

std::wstring Widen(const std::string& bytes, unsigned codePage);
// A member name or option text: code page 932 as our writer stores it; a
// name that is not valid there but is valid UTF-8 (as Unix archivers write
// it) is read as UTF-8.
std::wstring WidenStored(const std::string& bytes);
std::string Narrow(const std::wstring& text, unsigned codePage);

// `a` + `b` + `c`. One out-of-line function instead of the concatenations
// written out at every message: the stub stays small.
std::wstring Cat(const wchar_t* a, const std::wstring& b, const wchar_t* c = L"");

// Writes a line to the standard error handle (UTF-8) when the program has
// one, as in the unattended mode started from a console or a script.
void ReportLine(const std::wstring& line);

}  // namespace sfxw
