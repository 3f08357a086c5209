// Debug information for the error report. A build leaves the program's link
// map, "PADDOCK.MAP", beside it; at start-up the map's units, publics and
// line-number tables, with the text of every listed source line, become the
// compact file DebugInfo.EIF, and a code address can then be looked up as a
// source unit, a function and the source lines around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace paddock {

// One line entry of a unit: where its code starts and the source line.
struct TMAPLineDetails {
    std::uint32_t Offset = 0;
    std::int32_t LineNumber = 0;
    std::string Text;

    bool operator==(const TMAPLineDetails&) const = default;
};

// One unit's code range within its segment, and its line entries.
struct TMAPSegDetails {
    std::uint32_t Start = 0;
    std::uint32_t Length = 0;
    std::uint8_t Segment = 0;
    std::string Name;
    std::vector<TMAPLineDetails> Lines;

    bool operator==(const TMAPSegDetails&) const = default;
};

struct TMAPPublic {
    std::uint8_t Segment = 0;
    std::uint32_t Offset = 0;
    std::string Name;

    bool operator==(const TMAPPublic&) const = default;
};

// A reserved record: 100 zero bytes in the file, one per segment of the map.
inline constexpr std::size_t ReservedRecordSize = 100;

struct TMAPStruct {
    std::uint32_t ReservedCount = 0;
    std::vector<TMAPSegDetails> Modules;
    std::vector<TMAPPublic> Publics;

    bool operator==(const TMAPStruct&) const = default;
};

struct TErrorData {
    std::string FileName;
    std::string FunctionName;
    std::int32_t LineBefore = 0;
    std::int32_t LineAfter = 0;
    std::string TextBefore;
    std::string TextAfter;
};

// The extension that a unit name is completed with to name its source file.
inline constexpr const char* SourceExtension = ".cpp";

// Reads a link map (see the builder's comments for its layout), attaches to
// every line entry the text of its source line, found in the first of
// sourceDirs that holds the unit's file, and writes the result to eifPath.
// A map that cannot be opened, a file that cannot be written and a line
// number that is not a decimal number raise EFileError.
void BuildDebugInfo(const std::string& mapPath, const std::string& eifPath, const std::vector<std::string>& sourceDirs);
// The map as read, with its source texts, without writing anything.
TMAPStruct ReadLinkMap(const std::string& mapPath, const std::vector<std::string>& sourceDirs);
// Writes and reads the DebugInfo.EIF layout: little-endian, the reserved
// records, the modules with their lines, the publics; strings as a length
// byte and that many bytes, a longer string cut to its first 255. A file that ends before what its counts announce
// is refused with EReadError before anything is allocated for it.
void SaveDebugInfo(const TMAPStruct& info, const std::string& eifPath);
TMAPStruct LoadDebugInfo(const std::string& eifPath);

// Looks up the code address rel (the address minus the start of the
// program's code): the first unit whose range holds it, its nearest line
// entries at or below and at or above it, and the nearest public at or
// below it. Offset 0 is never chosen as "before" or as the function; on
// equal offsets the first in the list wins.
TErrorData LookupAddress(std::uint32_t rel, const TMAPStruct& info);

// The start-up step: with the flag set and "PADDOCK.MAP" beside the program,
// builds DebugInfo.EIF from it with the source folders that the
// development environment's settings name (see SourceDirsFromRegistry).
void PrepareDebugInfo(bool load);
// ProgramPath, then the fields of the library search path with "$(IDEDIR)"
// replaced by the root folder; empty when the search path is empty.
std::vector<std::string> SourceDirsFromSearchPath(const std::string& programPath, const std::string& searchPath,
                                                  const std::string& rootDir);

// Where the development environment keeps its settings under
// HKEY_CURRENT_USER: the root folder ("RootDir") in the first key, the
// library search path ("Search Path") in the second.
inline constexpr const char* DevelopmentKey = "Software\\Paddock\\Development";
inline constexpr const char* DevelopmentLibraryKey = "Software\\Paddock\\Development\\Library";

} // namespace paddock
