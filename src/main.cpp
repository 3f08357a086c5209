#include "app/Application.h"
#include "app/Main.h"
#include "app/QtInteraction.h"
#include "app/Tools.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <exception>

int main(int argc, char* argv[])
{
    // A window cannot place itself on a Wayland session, and the editors dock
    // below the main window: prefer X11 there when it is available.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qgetenv("XDG_SESSION_TYPE") == "wayland" &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    paddock::TApplication app(argc, argv);
    paddock::QtInteraction interaction;
    paddock::SetInteraction(&interaction);
    try {
        paddock::TMainForm mainForm;
        if (mainForm.Terminated())
            return 0;
        // A file named on the command line (as a desktop opens one) opens in
        // its workshop.
        const QStringList arguments = QCoreApplication::arguments();
        for (qsizetype i = 1; i < arguments.size(); ++i)
            if (!arguments[i].startsWith(QLatin1Char('-'))) {
                mainForm.OpenAtStart(paddock::ToStdString(QFileInfo(arguments[i]).absoluteFilePath()));
                break;
            }
        mainForm.show();
        return app.exec();
    } catch (...) {
        // A failure of the start-up itself, before the event loop runs.
        paddock::ShowErrorMessage(paddock::ExceptionMessage(std::current_exception()));
        return 1;
    }
}
