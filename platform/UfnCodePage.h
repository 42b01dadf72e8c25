// Text in the system's code pages: conversions to and from UTF-16, comparison without regard
// to case, and the code page of archive entry names.
#pragma once

#include <string>

namespace platform {

// ---- the system code page ----------------------------------------------------------------

// The system ANSI code page is UTF-8 on POSIX. Invalid input becomes U+FFFD; a UTF-16 unit
// that has no character (a lone surrogate) becomes "?", the code page's default character.
std::u16string AnsiToWide(const std::string& s);
std::string WideToAnsi(const std::u16string& s);
// Whether a string of the code page may hold bytes that are no text of it. POSIX: yes, a
// file name is any bytes and not all bytes are UTF-8, so the settings file keeps such a value
// as bytes. Windows: no; every value goes through the code page as it always has.
bool CodePageMayHoldRawBytes();

// ---- text comparison (user registry) -----------------------------------------------------

// Whether two texts of the system code page are equal without regard to letter case, as the
// system's comparison that ignores case sees them: every cased letter, not ASCII only (POSIX:
// the Unicode case mappings of the C.UTF-8 locale). Letters without case compare as they are.
bool SameTextIgnoreCase(const std::string& a, const std::string& b);

// ---- archive entry names (archive writer) --------------------------------------------------

// A name in the OEM code page, as ZIP readers on MS-DOS and Windows take names without the
// UTF-8 flag (Windows: CharToOemA). POSIX has no OEM code page: the text stays as it is.
std::string ToOemCodePage(const std::string& s);
// Whether text of the OEM code page (oem) or of the ANSI code page (!oem) is UTF-8, so that
// a name in it may carry the UTF-8 flag. POSIX: always.
bool CodePageIsUtf8(bool oem);

} // namespace platform
