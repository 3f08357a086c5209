// The game's code page checked against Qt's (ICU's) Windows-1252 codec and
// Unicode composition (NFC): every byte, every character on its own, every
// letter with every combining mark, and bytes that are not UTF-8.
#include "formats/CodePage.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <vector>

using namespace paddock;

namespace {

std::string referenceToUtf8(const std::string& bytes)
{
    QStringDecoder decode("windows-1252");
    const QString text = decode(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return text.toStdString();
}

// Decoded strictly (a sequence cut off at the end is an error, not the
// start of more to come), composed (NFC), encoded one byte a character.
std::optional<std::string> referenceToGameText(const std::string& text)
{
    QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = fromUtf8(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    if (fromUtf8.hasError())
        return std::nullopt;
    const QString unicode = decoded.normalized(QString::NormalizationForm_C);
    QStringEncoder encode("windows-1252");
    const QByteArray bytes = encode(unicode);
    if (encode.hasError() || bytes.size() != unicode.size())
        return std::nullopt;
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string utf8(char32_t c)
{
    return QString::fromUcs4(&c, 1).toStdString();
}

std::string show(const std::optional<std::string>& bytes)
{
    if (!bytes)
        return "refused";
    std::string out;
    for (const char b : *bytes)
        out += std::to_string(static_cast<unsigned char>(b)) + " ";
    return out;
}

} // namespace

TEST(CodePageInteropTest, TheCodePageAndItsCompositionsAreIcusWindows1252AfterNFC)
{
    // Every byte, and back.
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(GameTextToUtf8(byte), referenceToUtf8(byte)) << b;
        EXPECT_EQ(Utf8ToGameText(GameTextToUtf8(byte)), byte) << b;
    }

    // Every character on its own: the code page's, the ones Unicode counts
    // as one of them, and all the others refused.
    std::vector<char32_t> bases;
    for (char32_t c = 0; c <= 0x10FFFF; c += c < 0x10000 ? 1 : 0x3F) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        const std::string text = utf8(c);
        const auto expected = referenceToGameText(text);
        EXPECT_EQ(show(Utf8ToGameText(text)), show(expected)) << "U+" << std::hex << static_cast<unsigned>(c);
        if (expected)
            bases.push_back(c);
    }
    ASSERT_GT(bases.size(), 256u);

    // Every such character followed by every combining mark, by two of the
    // marks that compose, and by the tone marks Unicode counts as accents.
    std::vector<char32_t> marks;
    for (char32_t m = 0x300; m < 0x370; ++m)
        marks.push_back(m);
    for (const char32_t base : bases)
        for (const char32_t mark : marks) {
            const std::string text = utf8(base) + utf8(mark);
            EXPECT_EQ(show(Utf8ToGameText(text)), show(referenceToGameText(text)))
                << "U+" << std::hex << static_cast<unsigned>(base) << " U+" << static_cast<unsigned>(mark);
        }
    for (const std::string text : {"e\u0301\u0301", "e\u0316\u0301", "\u0301e", "Zoe\u0308 Citro\u0308en",
                                   "A\u030A\u0301", "y\u0308\u0327"})
        EXPECT_EQ(show(Utf8ToGameText(text)), show(referenceToGameText(text))) << text;

    // Bytes that are not UTF-8: stray and missing continuation bytes,
    // overlong forms, surrogates, values beyond U+10FFFF.
    for (const std::string bad : {"caf\xE9", "\x80", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                                  "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF", "a\xC3\xA9\xA9"}) {
        EXPECT_EQ(referenceToGameText(bad), std::nullopt) << show(bad);
        EXPECT_EQ(Utf8ToGameText(bad), std::nullopt) << show(bad);
    }
}
