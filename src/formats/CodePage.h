// The game's texts (team, engine and driver names, archive member names) are
// bytes of the Windows-1252 code page; the program's own strings, file names
// among them, are UTF-8. Every crossing between the two goes through here, so
// that the windows, the command line and the formats agree on it: a member
// name becomes a file name through the code page, and a file name becomes a
// member name back through it.
#pragma once

#include <optional>
#include <string>

namespace paddock {

// Every byte has a character in the code page (the five bytes it leaves
// undefined stand for the control characters of the same numbers): the
// result is valid UTF-8.
std::string GameTextToUtf8(const std::string& bytes);

// The code page's bytes of a UTF-8 text; nullopt when the text is not valid
// UTF-8 or holds a character that the code page cannot hold. A letter
// followed by a combining mark is the code page's one letter where it has
// one ("e" and a combining diaeresis are the byte of "\u00EB"), as are the
// few characters that Unicode counts as the same as one of the code page's
// (the Angstrom sign is "\u00C5").
std::optional<std::string> Utf8ToGameText(const std::string& text);

} // namespace paddock
