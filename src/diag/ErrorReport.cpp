#include "diag/ErrorReport.h"

#include "app/FileError.h"
#include "app/Tools.h"
#include "diag/MAPModule.h"

#include <cctype>
#include <cstdio>
#include <new>

namespace paddock {

namespace {

// The decimal and hexadecimal forms of one value: "123 / 0x0000007B".
std::string decimalAndHex(std::uint64_t value, int digits)
{
    char text[64];
    std::snprintf(text, sizeof text, "%llu / 0x%0*llX", static_cast<unsigned long long>(value), digits,
                  static_cast<unsigned long long>(value));
    return text;
}

// A reason as the rest of a sentence: its first letter small (not that of
// a word in capitals), without the figures in brackets at its end, ending
// in a full stop.
std::string sentenceRest(std::string reason)
{
    if (reason == "Stream read error")
        reason = "it ends before all that it should hold";
    if (!reason.empty() && reason.back() == ')') {
        const std::size_t open = reason.rfind(" (");
        if (open != std::string::npos && open > 0)
            reason.erase(open);
    }
    if (reason.size() > 1 && std::isupper(static_cast<unsigned char>(reason[0])) &&
        !std::isupper(static_cast<unsigned char>(reason[1])))
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    if (!reason.empty() && reason.back() != '.')
        reason += '.';
    return reason;
}

} // namespace

std::string PlainErrorMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EFileError& e) {
        const std::string name = ExtractFileName(e.path());
        std::string what;
        if (dynamic_cast<const EReadError*>(&e))
            what = "Could not read " + name;
        else if (dynamic_cast<const EWriteError*>(&e))
            what = "Could not write " + name;
        else {
            // The action as the error names it: "Cannot open file".
            const std::string text = e.what();
            const std::size_t quote = text.find(" \"");
            what = (quote == std::string::npos ? text : text.substr(0, quote)) + (name.empty() ? "" : " " + name);
        }
        // Without a file to name (several files put back, say) the message
        // is the plainest there is.
        if (e.path().empty()) {
            std::string text = e.what();
            return text.empty() || text.back() == '.' ? text : text + ".";
        }
        std::string plain = what + (e.reason().empty() ? "." : ": " + sentenceRest(e.reason()));
        if (!e.path().empty() && e.path() != name)
            plain += "\n" + e.path();
        return plain;
    } catch (const std::bad_alloc&) {
        return "Paddock ran out of memory.";
    } catch (const std::exception& e) {
        return "Something went wrong: " + sentenceRest(e.what());
    } catch (...) {
        return "Something went wrong that Paddock cannot name.";
    }
}

std::vector<std::string> ComposeErrorReport(const std::string& message, std::uint64_t address,
                                            std::uint64_t codeStart, const std::string& programPath,
                                            const std::string& debugInfoPath)
{
    // The address relative to the code is what the debug information counts
    // in. Address 0 is an unknown one, which is not looked up.
    const bool known = address != 0;
    const auto rel = static_cast<std::uint32_t>(address - codeStart);
    std::vector<std::string> lines = {
        "EXACT ERROR MESSAGE:",
        message,
        "",
        "ERROR ADDRESS (DEZ / HEX):",
        // A code address has as many hexadecimal digits as a pointer.
        known ? decimalAndHex(address, static_cast<int>(2 * sizeof(void*))) : "Unknown",
        "",
        "ERROR ADDRESS - BASE (DEZ / HEX):",
        known ? decimalAndHex(rel, 8) : "Unknown",
        "",
        "APPLICATION VERSION:",
        "1,0",
        "",
        "APPLICATION PATH:",
        programPath,
        "",
    };
    if (!FileExists(debugInfoPath)) {
        lines.push_back("COULD NOT DISPLAY ADDITIONAL ERROR INFORMATION. FILE \"DEBUGINFO.EIF\" NOT FOUND");
        return lines;
    }
    if (!known) {
        lines.insert(lines.end(),
                     {"FILENAME:", "Unknown", "", "FUNCTION:", "Unknown", "", "LINE NUMBER:", "Unknown"});
        return lines;
    }
    TMAPStruct info;
    try {
        info = LoadDebugInfo(debugInfoPath);
    } catch (const EFileError& e) {
        // A damaged file must not make the report fail in its turn.
        lines.push_back("COULD NOT DISPLAY ADDITIONAL ERROR INFORMATION. FILE \"DEBUGINFO.EIF\" COULD NOT BE READ:");
        lines.push_back(e.what());
        return lines;
    }
    const TErrorData data = LookupAddress(rel, info);
    lines.insert(lines.end(), {"FILENAME:", data.FileName, "", "FUNCTION:", data.FunctionName, "", "LINE NUMBER:"});
    if (data.LineAfter == data.LineBefore) {
        lines.insert(lines.end(), {std::to_string(data.LineBefore), data.TextBefore});
    } else {
        lines.insert(lines.end(), {"Between ", std::to_string(data.LineBefore), data.TextBefore, "and",
                                   std::to_string(data.LineAfter), data.TextAfter});
    }
    return lines;
}

} // namespace paddock
