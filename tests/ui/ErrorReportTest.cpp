// The error report: an exception thrown in a handler of ours is reported
// with the source line it was thrown at, which an independent resolver of
// the same address confirms, and the program goes on; reports come one after
// another.
#include "UiSupport.h"

#include "app/Application.h"
#include "app/Main.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "diag/FormError.h"
#include "diag/ThrowSite.h"
#include "ui/EditorForm.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <link.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

using namespace paddock;
using namespace paddock::testing;

namespace {

int thrownAtLine = 0;

// An editor whose button fails in its handler.
class TFailingEditor : public TEditorForm {
    Q_OBJECT
public:
    explicit TFailingEditor(QWidget* parent) : TEditorForm(parent, QStringLiteral("Failing"))
    {
        button = new QPushButton(QStringLiteral("Fail"), this);
        connect(button, &QPushButton::clicked, this, Guarded(this, &TFailingEditor::FailOnPurpose));
    }

    void FailOnPurpose()
    {
        thrownAtLine = __LINE__ + 1;
        throw std::runtime_error("Failed on purpose");
    }

    QPushButton* button;
};

int programBase(dl_phdr_info* info, std::size_t, void* data)
{
    *static_cast<std::uintptr_t*>(data) = info->dlpi_addr;
    return 1;
}

// The line after a heading line of the report.
std::string after(const std::vector<std::string>& lines, const std::string& heading, std::size_t skip = 1)
{
    for (std::size_t i = 0; i + skip < lines.size(); ++i)
        if (lines[i] == heading)
            return lines[i + skip];
    return {};
}

} // namespace

class ErrorReportTest : public QObject {
    Q_OBJECT

    ProgramFixture program;
    QByteArray savedRegistry;

private slots:
    void init()
    {
        program.prepare();
        savedRegistry = qgetenv("PADDOCK_REGISTRY");
    }

    void cleanup()
    {
        program.finish();
        if (savedRegistry.isNull())
            qunsetenv("PADDOCK_REGISTRY");
        else
            qputenv("PADDOCK_REGISTRY", savedRegistry);
    }

    void aFailureNamesTheLineItWasThrownAt()
    {
        // The program's link map beside it, and the settings that lead to
        // this source tree.
        const std::string dir = program.dir->path();
        std::filesystem::copy_file(QCoreApplication::applicationDirPath().toStdString() + "/ErrorReportTest.MAP",
                                   dir + "PADDOCK.MAP");
        WriteBytes(dir + "Registry.ini",
                   std::string("[HKEY_CURRENT_USER\\Software\\Paddock\\Development]\nRootDir=") + PADDOCK_SOURCE_ROOT +
                       "\n[HKEY_CURRENT_USER\\Software\\Paddock\\Development\\Library]\nSearch Path=$(IDEDIR)\n");
        qputenv("PADDOCK_REGISTRY", QByteArray::fromStdString(dir + "Registry.ini"));
        program.form = std::make_unique<TMainForm>(dir);
        QVERIFY(FileExists(dir + "DebugInfo.EIF"));
        program.form->OpenEditor<TFailingEditor>();
        auto* editor = static_cast<TFailingEditor*>(program.form->CurrentEditor());

        std::vector<std::string> report;
        ExpectErrorReport(**program.script, "Failed on purpose", &report);
        QTest::mouseClick(editor->button, Qt::LeftButton);
        QTRY_VERIFY(!report.empty());
        QCOMPARE(QString::fromStdString(after(report, "FILENAME:")), QStringLiteral("tests/ui/ErrorReportTest"));
        QVERIFY2(after(report, "FUNCTION:").find("TFailingEditor::FailOnPurpose") != std::string::npos,
                 after(report, "FUNCTION:").c_str());
        const std::string line = after(report, "LINE NUMBER:");
        const bool between = line == "Between ";
        const std::string lineNumber = between ? after(report, "LINE NUMBER:", 2) : line;
        QCOMPARE(QString::fromStdString(lineNumber), QString::number(thrownAtLine));
        // The text quoted is that line of this file.
        QFile source(QStringLiteral(PADDOCK_SOURCE_ROOT "/tests/ui/ErrorReportTest.cpp"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QList<QByteArray> sourceLines = source.readAll().split('\n');
        QCOMPARE(QString::fromStdString(after(report, "LINE NUMBER:", between ? 3 : 2)),
                 QString::fromUtf8(sourceLines.value(thrownAtLine - 1)));

        // The same address, resolved by addr2line from the program itself.
        const std::string address = after(report, "ERROR ADDRESS (DEZ / HEX):");
        const std::uintptr_t thrown = std::stoull(address.substr(0, address.find(' ')));
        std::uintptr_t base = 0;
        dl_iterate_phdr(programBase, &base);
        QProcess addr2line;
        addr2line.start(QStringLiteral("addr2line"),
                        {QStringLiteral("-e"), QCoreApplication::applicationFilePath(), QStringLiteral("-f"),
                         QStringLiteral("-C"), QStringLiteral("0x%1").arg(thrown - base, 0, 16)});
        QVERIFY(addr2line.waitForFinished(10000));
        const QStringList resolved = QString::fromLocal8Bit(addr2line.readAllStandardOutput()).trimmed().split('\n');
        QCOMPARE(resolved.size(), 2);
        QVERIFY2(resolved[0].contains(QStringLiteral("TFailingEditor::FailOnPurpose")), qPrintable(resolved[0]));
        // "file:line", perhaps followed by " (discriminator n)".
        QVERIFY2(resolved[1].section(QLatin1Char(' '), 0, 0).endsWith(
                     QStringLiteral("tests/ui/ErrorReportTest.cpp:%1").arg(thrownAtLine)),
                 qPrintable(resolved[1]));
        // The address relative to the code is the one looked up.
        const std::string rel = after(report, "ERROR ADDRESS - BASE (DEZ / HEX):");
        QCOMPARE(std::stoull(rel.substr(0, rel.find(' '))), std::uint64_t(std::uint32_t(thrown - ProgramCodeStart())));

        // The program goes on: the window is there and fails again.
        QVERIFY(program.form->CurrentEditor() == editor);
        report.clear();
        ExpectErrorReport(**program.script, "Failed on purpose", &report);
        QTest::mouseClick(editor->button, Qt::LeftButton);
        QTRY_VERIFY(!report.empty());
    }

    void reportsComeOneAfterAnother()
    {
        program.form = std::make_unique<TMainForm>(program.dir->path());
        // Without debug information the report says so.
        std::vector<std::string> first, second;
        bool secondWhileFirstOpen = false;
        (*program.script)
            ->expectModal("ErrorMsgForm",
                          [&](ModalWindow& w) -> int {
                              auto& report = static_cast<TErrorMsgForm&>(DialogOf(w));
                              UI_COMPARE(report.windowTitle(), QStringLiteral("ERROR"));
                              UI_CHECK(report.width() >= 483 && report.height() >= 382);
                              // The message in words leads, the report follows.
                              UI_COMPARE(report.Headline(), std::string("Something went wrong: first."));
                              first = report.Lines();
                              // A failure while this report is open waits for it.
                              QTimer::singleShot(0, [] { throw std::logic_error("Second"); });
                              QTest::qWait(20);
                              secondWhileFirstOpen = !second.empty();
                              return int(QDialog::Accepted);
                          })
            .expectModal("ErrorMsgForm", ErrorReport("Second", &second));
        QTimer::singleShot(0, [] { throw std::runtime_error("First"); });
        QTRY_VERIFY(!second.empty());
        QVERIFY(!secondWhileFirstOpen);
        QCOMPARE(QString::fromStdString(first[1]), QStringLiteral("First"));
        QCOMPARE(QString::fromStdString(first.back()),
                 QStringLiteral("COULD NOT DISPLAY ADDITIONAL ERROR INFORMATION. FILE \"DEBUGINFO.EIF\" NOT FOUND"));
        QCOMPARE(QString::fromStdString(after(first, "APPLICATION PATH:")), QString::fromStdString(program.dir->path()));
    }
};

PADDOCK_TEST_MAIN(ErrorReportTest)
#include "ErrorReportTest.moc"
