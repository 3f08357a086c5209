#include "UiSupport.h"

#include "app/Main.h"
#include "diag/FormError.h"

#include <QPushButton>
#include "ui/EditorForm.h"

#include "DemoGame.h"

#include <QAction>
#include <QCoreApplication>

namespace paddock::testing {

ScriptedInteraction::ModalHandler ErrorReport(const std::string& message, std::vector<std::string>* lines,
                                              std::string* headline)
{
    return [message, lines, headline](ModalWindow& w) -> int {
        auto& report = static_cast<TErrorMsgForm&>(DialogOf(w));
        const std::vector<std::string> shown = report.Lines();
        UI_CHECK(shown.size() > 2 && shown[0] == "EXACT ERROR MESSAGE:");
        const std::string actual = shown.size() > 1 ? shown[1] : std::string();
        const bool prefix = !message.empty() && message.back() == '*';
        const bool same = prefix ? actual.compare(0, message.size() - 1, message, 0, message.size() - 1) == 0
                                 : actual == message;
        UI_CHECK(same);
        if (!same)
            qWarning("report message: %s", actual.c_str());
        if (lines)
            *lines = shown;
        if (headline)
            *headline = report.Headline();
        QTest::mouseClick(report.BitBtn1, Qt::LeftButton);
        return report.result();
    };
}

void ExpectErrorReport(ScriptedInteraction& script, const std::string& message, std::vector<std::string>* lines,
                       std::string* headline)
{
    script.expectModal("ErrorMsgForm", ErrorReport(message, lines, headline));
}

void WriteSettingsFile(const TempDir& programDir, const std::string& gamePath, const std::string& accessMode,
                       bool firstStart)
{
    std::string text = "[Options]\nGamePath=" + gamePath + "\n";
    if (!accessMode.empty())
        text += "AccessMode=" + accessMode + "\n";
    text += std::string("[Paddock]\nFirstStart=") + (firstStart ? "1" : "0") + "\n";
    WriteBytes(programDir / "Paddock.INI", text);
}

void ProgramFixture::prepare()
{
    dir = std::make_unique<TempDir>();
    script = std::make_unique<ScopedScript>();
    const std::string game = *dir / "game/";
    demo::WriteDemoGame(game);
    WriteSettingsFile(*dir, game);
}

TEditorForm* ProgramFixture::startWith(const char* menuItem)
{
    form = std::make_unique<TMainForm>(dir->path());
    form->show();
    // The first activation opens the Teams & Drivers window: let it happen
    // before the chosen editor replaces it.
    form->FormActivate();
    form->findChild<QAction*>(menuItem)->trigger();
    return form->CurrentEditor();
}

void ProgramFixture::finish()
{
    // Failures reported by a queued call reach the script now.
    QCoreApplication::processEvents();
    form.reset();
    const std::string report = (*script)->verify();
    script.reset();
    dir.reset();
    QCOMPARE(QString::fromStdString(report), QString());
}

} // namespace paddock::testing
