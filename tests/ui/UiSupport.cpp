#include "UiSupport.h"

#include "app/Main.h"
#include "ui/EditorForm.h"

#include "DemoGame.h"

#include <QAction>
#include <QCoreApplication>

namespace paddock::testing {

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
