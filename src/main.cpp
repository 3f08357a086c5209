#include "app/Application.h"
#include "app/Main.h"
#include "app/QtInteraction.h"
#include "app/Tools.h"

#include <QByteArray>

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
        mainForm.show();
        return app.exec();
    } catch (...) {
        // A failure of the start-up itself, before the event loop runs.
        paddock::ShowErrorMessage(paddock::ExceptionMessage(std::current_exception()));
        return 1;
    }
}
