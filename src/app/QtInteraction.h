// The user interaction of the running program: real message boxes, questions,
// input and file dialogs, and modal windows run for real.
#pragma once

#include "app/Interaction.h"

#include <QString>

class QDialog;
class QWidget;

namespace paddock {

// One of the program's own modal windows, as the interaction runs it.
class QtModal : public ModalWindow {
public:
    explicit QtModal(QDialog& dialog) : dialog_(dialog) {}
    int exec() override;
    std::string name() const override;
    QDialog& dialog() { return dialog_; }

private:
    QDialog& dialog_;
};

class QtInteraction : public UserInteraction {
public:
    void message(const std::string& text) override;
    void error(const std::string& text) override;
    bool question(const std::string& text, QuestionKind kind) override;
    Answer questionWithCancel(const std::string& text) override;
    bool input(const std::string& title, const std::string& prompt, std::string& value) override;
    bool openFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex) override;
    bool saveFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex) override;
    bool chooseFolder(const std::string& title, const std::string& initialFolder, std::string& chosen) override;
    int runModal(ModalWindow& window) override;
    std::unique_ptr<ProgressWindow> showProgress(const ProgressRequest& request) override;
};

// Text conversions between the core's UTF-8 strings and Qt.
QString ToQString(const std::string& text);
std::string ToStdString(const QString& text);
// A filter of the form "TEX-Files|*.TEX|All files|*.*" as Qt's file dialogs
// take it ("TEX-Files (*.TEX *.tex);;All files (*)"); patterns match either
// letter case.
QString ToQtFilter(const std::string& filter);

} // namespace paddock
