// File and string helpers shared by every part of the program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace paddock {

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// True for the characters that separate folder levels on this platform.
bool IsPathDelimiter(char c);
// Paths are UTF-8 text in the program; these convert to and from the
// platform's own form.
std::filesystem::path ToPath(const std::string& path);
std::string FromPath(const std::filesystem::path& path);

// The program's arguments in UTF-8: on Windows taken from the wide command
// line (the C library's are in the system's code page, which cannot hold
// every file name), elsewhere as given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// ---- Dialogs --------------------------------------------------------------

// The file dialogs remember their folder in the settings file, section
// "Pathes", under the given key (module.action). Without a remembered folder
// they open in the game folder.
bool ChooseFileToOpen(const std::string& key, const std::string& proposedName, const std::string& filter,
                      std::string& fileName, int filterIndex = 1);
// As ChooseFileToOpen; a name whose extension differs from that of the filter
// selected at the end gets the filter's extension appended (not for ".*").
bool ChooseFileToSave(const std::string& key, const std::string& proposedName, const std::string& filter,
                      std::string& fileName, int filterIndex = 1);
// The folder chooser, remembering the folder chosen under the key as the
// file dialogs do; without a remembered folder it opens at proposedFolder,
// or in the game folder when that is empty.
bool ChooseFolder(const std::string& key, const std::string& title, const std::string& proposedFolder,
                  std::string& folder);
// The extension rule of ChooseFileToSave on its own.
std::string ApplyFilterExtension(const std::string& fileName, const std::string& filter, int filterIndex);

// True when the mask contains "*"; otherwise says "Error: Invalid filemask".
bool CheckFileMask(const std::string& mask);
void ShowErrorMessage(const std::string& text);
void ShowMessage(const std::string& text);

// Messages of work that runs on a thread of its own: while a TCollectMessages
// lives on a thread, ShowMessage and ShowErrorMessage on that thread are kept
// in its TCollectedMessages, which the user-interface thread shows later.
struct TCollectedMessages {
    struct Message {
        bool error;
        std::string text;
    };
    std::vector<Message> messages;
    // Shows the messages in the order they came, and forgets them.
    void Show();
};
class TCollectMessages {
public:
    explicit TCollectMessages(TCollectedMessages& into);
    ~TCollectMessages();
    TCollectMessages(const TCollectMessages&) = delete;
    TCollectMessages& operator=(const TCollectMessages&) = delete;

private:
    TCollectedMessages* previous_;
};

// ---- Files ----------------------------------------------------------------

// Lists folder + mask in the file system's order. Subfolders whose names match
// the mask are listed recursively in place (recursive) or named (includeFolders);
// with includeFolders the folder itself comes last, so that with both flags a
// folder always follows its contents. Links to folders count as folders; a
// link back to a folder being listed is not entered again.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask, bool recursive,
                                   bool includeFolders);
// Case-insensitive wildcard match of a file name against a mask ("*", "?").
bool MatchesMask(const std::string& name, const std::string& mask);
// Copies source over target, creating the target's folders and clearing its
// read-only attribute first. True only when the whole copy is in the target's
// place; a failed or cut-short copy leaves the target as it was (or absent).
bool CopyFileForced(const std::string& source, const std::string& target);
// Makes an existing file writable; other attributes stay.
void ClearReadOnly(const std::string& fileName);
// The length of a file, opened for reading; throws EFileError when it cannot
// be opened.
std::int64_t GetFileSize(const std::string& fileName);
// Computes the saved configuration's checksum over all bytes but the last four
// and stores it in the last four; returns it.
std::uint32_t WriteFileChecksum(const std::string& fileName);
// The checksum of a block as WriteFileChecksum computes it over the whole block.
std::uint32_t ComputeChecksum(const std::uint8_t* data, std::size_t length);
// Seals a saved configuration held in memory as WriteFileChecksum seals the
// file: the checksum of all bytes but the last four goes into the last four
// (little-endian). Returns it; a block shorter than 5 bytes is refused with
// std::invalid_argument.
std::uint32_t SealChecksum(std::uint8_t* data, std::size_t length);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates a folder with any missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
// Deletes a folder with everything in it, making files writable first.
// Failures are ignored; true when the folder is gone.
bool DeleteTree(const std::string& path);
// The path of folder + name, using the spelling found on disk when a file or
// folder of that name exists in another letter case; folder + name otherwise.
std::string FindFileNoCase(const std::string& folder, const std::string& name);
// The same for a full path: only its last level is looked up.
std::string ResolveNoCase(const std::string& path);

// ---- Strings and paths ----------------------------------------------------

std::string AddTrailingBackslash(const std::string& path);
std::string RemoveTrailingBackslash(const std::string& path);
std::string ExtractFilePath(const std::string& path); // folder with its trailing delimiter
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path); // "." and what follows, or empty
std::string ExtractFileTitle(const std::string& path);
// Every occurrence of searched, from left to right, replaced in one pass:
// occurrences that replacements form are left as they are. With ignoreCase,
// ASCII letters match in either case.
std::string ReplaceAll(const std::string& text, const std::string& searched, const std::string& replacement,
                       bool ignoreCase = false);
std::string GetField(const std::string& text, int index, char separator);
int CountFields(const std::string& text, char separator);
std::string PadRight(const std::string& text, std::size_t length, char fill);
std::uint32_t HexToInt(const std::string& text);
// Writes bytes 0 to lastIndex of field: the text's characters, then zeros.
void StringToField(const std::string& text, void* field, std::size_t lastIndex);
// The text of a fixed-width field: up to its first zero byte or its end.
std::string FieldToString(const void* field, std::size_t width);
std::uint32_t RotateLeft16(std::uint32_t value, unsigned count);
std::string UpperCase(const std::string& text); // ASCII letters only
bool SameText(const std::string& a, const std::string& b); // ASCII case-insensitive

} // namespace paddock
