// Sectioned key=value text (svnserve.conf, passwd) read two ways, and the line-by-line edits
// that rewrite it so that both ways read the value written. Pure text; ProfileFile does the
// file side.
//
// As the Windows profile functions read it (FindValue, ListPairs): lines end at LF, CRLF or a
// lone CR; blanks are trimmed from both ends of a line; "[name]" opens a section; lines
// starting with ";" or "#" are comments; a key line holds "=", its key the trimmed text before
// the first "=", its value the trimmed rest with one matching outer pair of quotes removed.
// Names compare without regard to ASCII case, and only the first section of a name and the
// first line of a key count.
//
// As svnserve reads it (FindServerValue, ListServerPairs): what the server enforces, and so
// what the project manager shows on Linux. See below.
//
// Writing keeps every byte of every line it does not touch, and the file's own line ending,
// and drops every other line that either reader would take for the key.
#pragma once

#include <string>
#include <vector>

namespace profile_text {

// The line end of a file that has none yet.
inline const char* const NewFileLineEnd = "\r\n";

// Why (section, key, value) cannot be written so that both readers get the value back;
// "" when it can.
std::string WriteRefusal(const std::string& section, const std::string& key,
                         const std::string& value);

// The value of the key in the first section of that name; false when either is missing.
bool FindValue(const std::string& text, const std::string& section, const std::string& key,
               std::string& value);

// Clears `list`, then adds key + "=" + value for each key of the first section of that name,
// in file order, each key once.
void ListPairs(const std::string& text, const std::string& section, std::vector<std::string>& list);

// The same two as svnserve reads the text: ":" separates like "=", every section of the name
// counts, the last line of a key wins, an indented line carries on the value above (joined
// by one blank), values are not unquoted, "#" is a comment only in column 0 and ";" never,
// and only an LF ends a line (a lone CR is part of it).
bool FindServerValue(const std::string& text, const std::string& section, const std::string& key,
                     std::string& value);
void ListServerPairs(const std::string& text, const std::string& section,
                     std::vector<std::string>& list);

// The text with the key set to `value`. Call only when WriteRefusal gave "".
std::string SetValue(const std::string& text, const std::string& section, const std::string& key,
                     const std::string& value);

// Removes every line of the key in every section of that name. False, and `text` unchanged,
// when there was none.
bool RemoveKey(std::string& text, const std::string& section, const std::string& key);

// Removes the lines that svnserve reads for the key in a section of that name and the
// system's profile functions do not (":" lines, the key in a later section of the name), and
// the indented lines that carry on any line of the key; the lines the system reads stay.
// False, and `text` unchanged, when there was none.
bool DropServerOnlyLines(std::string& text, const std::string& section, const std::string& key);

} // namespace profile_text
