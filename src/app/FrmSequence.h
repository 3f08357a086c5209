// The folder-and-mask window, used to name a series of files.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace paddock {

class TFormSequence : public QDialog {
    Q_OBJECT
public:
    explicit TFormSequence(QWidget* parent = nullptr);

    QLabel* StaticText1;
    QLineEdit* DirectoryEdit1;
    QLabel* StaticText2;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLabel* Label1;
    QLabel* Label3;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};

// Asks for a folder and a file mask. Empty proposals show the last confirmed
// answers of this run. On OK, result is the folder (with its delimiter) and
// the mask joined; on Cancel it is empty.
bool ChooseSequence(const std::string& folder, const std::string& mask, std::string& result);

// Forgets the remembered folder and mask (for tests).
void ResetSequenceMemory();

} // namespace paddock
