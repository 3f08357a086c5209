// The error report window: every exception that no handler of the program
// catches ends here, with its message, where it was thrown and, from the
// debug information, the source unit, function and line. The program goes
// on once the user has read it.
#pragma once

#include <QDialog>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace paddock {

class TErrorMsgForm : public QDialog {
    Q_OBJECT
public:
    explicit TErrorMsgForm(QWidget* parent = nullptr);

    // What went wrong in plain words, leading the window.
    void SetHeadline(const std::string& text);
    std::string Headline() const;
    // The report's lines, shown one a line below the headline.
    void SetLines(const std::vector<std::string>& lines);
    std::vector<std::string> Lines() const;

    QLabel* lMessage;
    QLabel* lDetails;
    QPlainTextEdit* mError;
    QPushButton* BitBtn1;

private:
    void fit();
};

// Builds the report of an error thrown at address and shows it modally,
// led by the headline (the message itself when it is empty).
void ShowErrorReport(const std::string& message, std::uintptr_t address, const std::string& headline = {});
// The headline says what went wrong in plain words (PlainErrorMessage).
void ShowErrorReport(std::exception_ptr error, std::uintptr_t address);

} // namespace paddock
