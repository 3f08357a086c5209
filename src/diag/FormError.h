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

class QPlainTextEdit;
class QPushButton;

namespace paddock {

class TErrorMsgForm : public QDialog {
    Q_OBJECT
public:
    explicit TErrorMsgForm(QWidget* parent = nullptr);

    // The report's lines, shown one a line.
    void SetLines(const std::vector<std::string>& lines);
    std::vector<std::string> Lines() const;

    QPlainTextEdit* mError;
    QPushButton* BitBtn1;
};

// Builds the report of an error thrown at address and shows it modally.
void ShowErrorReport(const std::string& message, std::uintptr_t address);
void ShowErrorReport(std::exception_ptr error, std::uintptr_t address);

} // namespace paddock
