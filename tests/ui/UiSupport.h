// Shared pieces of the window tests: the application object with the
// program's exception handling, and a program folder with a game in it.
#pragma once

#include "app/Application.h"
#include "app/QtInteraction.h"

#include "ScriptedInteraction.h"
#include "TempDir.h"

#include <QDialog>

#include <memory>
#include <QTest>

#include <string>
#include <vector>

// Runs a Qt Test object inside the program's own application class.
#define PADDOCK_TEST_MAIN(TestObject)                                                                                  \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        paddock::TApplication app(argc, argv);                                                                         \
        TestObject test;                                                                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

// Checks for places that cannot return from the test function, such as the
// handlers that act on a modal window: a failure is recorded and the handler
// goes on.
#define UI_CHECK(cond) QTest::qVerify(static_cast<bool>(cond), #cond, "", __FILE__, __LINE__)
#define UI_COMPARE(actual, expected) QTest::qCompare(actual, expected, #actual, #expected, __FILE__, __LINE__)

namespace paddock {
class TEditorForm;
class TMainForm;
}

namespace paddock::testing {

// The dialog behind a modal window that a script acts on.
inline QDialog& DialogOf(ModalWindow& window)
{
    return static_cast<QtModal&>(window).dialog();
}

// Answers the error report window: checks that the report's message (its
// second line) is the one expected (a trailing "*" compares only what comes
// before it), keeps the report's lines when asked, and closes the window.
// The headline above the report, in plain words, is kept when asked.
ScriptedInteraction::ModalHandler ErrorReport(const std::string& message, std::vector<std::string>* lines = nullptr,
                                              std::string* headline = nullptr);
// Expects the error report window with that message.
void ExpectErrorReport(ScriptedInteraction& script, const std::string& message,
                       std::vector<std::string>* lines = nullptr, std::string* headline = nullptr);

// Writes Paddock.INI into the program folder.
void WriteSettingsFile(const TempDir& programDir, const std::string& gamePath, const std::string& accessMode = "",
                       bool firstStart = false);

// A program folder with a demo game and its settings, a scripted interaction
// and, once started, the main window.
struct ProgramFixture {
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<ScopedScript> script;
    std::unique_ptr<TMainForm> form;

    // Makes the folder and the game, installs the script.
    void prepare();
    // Starts the main window and chooses the menu item; returns the editor
    // window it opened.
    TEditorForm* startWith(const char* menuItem);
    // Delivers queued reports, closes the program and checks the script.
    void finish();
};

} // namespace paddock::testing
