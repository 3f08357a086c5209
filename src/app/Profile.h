// Reading and writing Windows-style settings files (sections in brackets,
// key=value lines). Values are kept verbatim; section and key names are found
// without regard to case; every write reaches the disk at once and keeps the
// file's other content. The file itself is looked up without regard to the
// case of its name, so "PADDOCK.INI" and "Paddock.INI" are one file.
#pragma once

#include <string>

namespace paddock {

std::string ProfileReadString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& defaultValue);
// A value that is not a whole decimal number reads as the default.
int ProfileReadInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue);
bool ProfileReadBool(const std::string& file, const std::string& section, const std::string& key,
                     bool defaultValue);
// Throws EFileError when the file cannot be written.
void ProfileWriteString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

} // namespace paddock
