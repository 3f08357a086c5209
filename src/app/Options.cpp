#include "app/Options.h"

#include "app/Interaction.h"
#include "app/QtInteraction.h"
#include "app/Settings.h"
#include "app/Tools.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

namespace paddock {

TDirectoryEdit::TDirectoryEdit(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("deGamePathEdit"));
    button_ = new QToolButton(this);
    button_->setObjectName(QStringLiteral("deGamePathButton"));
    button_->setText(QStringLiteral("..."));
    button_->setToolTip(QStringLiteral("Choose a folder"));
    layout->addWidget(edit_);
    layout->addWidget(button_);
    connect(button_, &QToolButton::clicked, this, &TDirectoryEdit::ButtonClick);
}

QString TDirectoryEdit::text() const
{
    return edit_->text();
}

void TDirectoryEdit::setText(const QString& text)
{
    edit_->setText(text);
}

void TDirectoryEdit::ButtonClick()
{
    std::string chosen;
    if (Interaction().chooseFolder("Choose the Grand Prix 4 folder", ToStdString(text()), chosen))
        setText(ToQString(AddTrailingBackslash(chosen)));
}

namespace {

QLabel* sunkenCaption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

} // namespace

TFrmOptions::TFrmOptions(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FrmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setFixedSize(292, 353);

    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));
    pages->setGeometry(8, 8, 276, 298);
    auto* general = new QWidget;
    general->setObjectName(QStringLiteral("TabSheet1"));
    pages->addTab(general, QStringLiteral("General"));

    auto* pathCaption = sunkenCaption(QStringLiteral("Grand Prix 4 Path"), general);
    pathCaption->setObjectName(QStringLiteral("StaticText1"));
    pathCaption->setGeometry(8, 12, 254, 19);
    deGamePath = new TDirectoryEdit(general);
    deGamePath->setObjectName(QStringLiteral("deGamePath"));
    deGamePath->setGeometry(8, 36, 170, 24);
    Button1 = new QPushButton(QStringLiteral("Auto-Search"), general);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(184, 36, 78, 24);

    auto* exeCaption = sunkenCaption(QStringLiteral("Executable filename"), general);
    exeCaption->setObjectName(QStringLiteral("StaticText2"));
    exeCaption->setGeometry(8, 72, 254, 19);
    eExecutable = new QLineEdit(general);
    eExecutable->setObjectName(QStringLiteral("eExecutable"));
    eExecutable->setGeometry(8, 96, 254, 24);

    bbOK = new QPushButton(QStringLiteral("OK"), this);
    bbOK->setObjectName(QStringLiteral("bbOK"));
    bbOK->setGeometry(120, 318, 78, 27);
    bbOK->setDefault(true);
    BitBtn1 = new QPushButton(QStringLiteral("Abort"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(206, 318, 78, 27);

    connect(bbOK, &QPushButton::clicked, this, &TFrmOptions::bbOKClick);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button1, &QPushButton::clicked, this, &TFrmOptions::Button1Click);
}

void TFrmOptions::FormShow()
{
    deGamePath->setText(ToQString(Settings.GamePath));
    eExecutable->setText(ToQString(ExtractFileName(Settings.GameExePath)));
}

void TFrmOptions::bbOKClick()
{
    if (CheckGamePath(ToStdString(deGamePath->text()), ToStdString(eExecutable->text())))
        accept();
}

void TFrmOptions::Button1Click()
{
    std::string exeName = ToStdString(eExecutable->text().trimmed());
    if (exeName.empty())
        exeName = DefaultExeName;
    const std::string found = FindGameInstallation(exeName);
    if (found.empty()) {
        ShowMessage("No Grand Prix 4 installation was found in the usual folders. Please choose the game folder.");
        return;
    }
    deGamePath->setText(ToQString(found));
}

bool ShowOptions(QWidget* parent)
{
    TFrmOptions window(parent);
    window.FormShow();
    QtModal modal(window);
    if (Interaction().runModal(modal) != QDialog::Accepted)
        return false;
    SetGamePaths(ToStdString(window.deGamePath->text()), ToStdString(window.eExecutable->text()));
    return true;
}

} // namespace paddock
