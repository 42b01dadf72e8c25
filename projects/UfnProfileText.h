// Sectioned key=value text (svnserve.conf, passwd) as the profile functions read it, and the
// line-by-line edits that rewrite it. Pure text; ProfileFile does the file side.
//
// Reading: lines end at LF, CRLF or a lone CR; blanks are trimmed from both ends of a line;
// "[name]" opens a section; lines starting with ";" or "#" are comments; a key line holds "=",
// its key the trimmed text before the first "=", its value the trimmed rest with one matching
// outer pair of quotes removed. Names compare without regard to ASCII case, and only the first
// section of a name and the first line of a key count.
//
// Writing keeps every byte of every line it does not touch, and the file's own line ending.
// svnserve reads the same files differently (last duplicate wins, ":" separates like "=", no
// unquoting), so the edits also drop every other line that svnserve would take for the key.
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

// The text with the key set to `value`. Call only when WriteRefusal gave "".
std::string SetValue(const std::string& text, const std::string& section, const std::string& key,
                     const std::string& value);

// Removes every line of the key in every section of that name. False, and `text` unchanged,
// when there was none.
bool RemoveKey(std::string& text, const std::string& section, const std::string& key);

} // namespace profile_text
