// The game's texts (team, engine and driver names, archive member names) are
// bytes of the Windows-1252 code page; the terminal, the command line and JSON
// speak UTF-8. The conversion happens here, at the edge.
#pragma once

#include <optional>
#include <string>

namespace paddock::cli {

// Every byte has a character in the code page: the result is valid UTF-8.
std::string GameTextToUtf8(const std::string& bytes);

// The code page's bytes of a UTF-8 text; nullopt when the text is not valid
// UTF-8 or holds a character that the code page cannot hold.
std::optional<std::string> Utf8ToGameText(const std::string& text);

} // namespace paddock::cli
