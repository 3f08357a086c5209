#include "cli/GameText.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

namespace paddock::cli {

namespace {
const char* const CodePage = "windows-1252";
}

std::string GameTextToUtf8(const std::string& bytes)
{
    QStringDecoder decode(CodePage);
    const QString text = decode(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

std::optional<std::string> Utf8ToGameText(const std::string& text)
{
    // A fresh decoder and encoder for every text: their error state stays set.
    QStringDecoder fromUtf8(QStringDecoder::Utf8);
    // Composed characters: an "e" followed by a combining diaeresis is the
    // code page's one "\u00EB".
    const QString decoded = fromUtf8(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    const QString unicode = decoded.normalized(QString::NormalizationForm_C);
    if (fromUtf8.hasError())
        return std::nullopt;
    QStringEncoder encode(CodePage);
    const QByteArray bytes = encode(unicode);
    // One byte a character: anything else would be a sequence the game
    // does not read as one character.
    if (encode.hasError() || bytes.size() != unicode.size())
        return std::nullopt;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace paddock::cli
