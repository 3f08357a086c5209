#include "app/Options.h"

#include "app/Application.h"
#include "app/Interaction.h"
#include "app/QtInteraction.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "ui/WindowSize.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

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
    // Focus given to the field goes to its text.
    setFocusProxy(edit_);
    connect(button_, &QToolButton::clicked, this, Guarded(this, &TDirectoryEdit::ButtonClick));
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
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FrmOptions"));
    setWindowTitle(QStringLiteral("Options"));

    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));
    auto* general = new QWidget;
    general->setObjectName(QStringLiteral("TabSheet1"));
    pages->addTab(general, QStringLiteral("General"));

    auto* pathCaption = sunkenCaption(QStringLiteral("Grand Prix 4 Path"), general);
    pathCaption->setObjectName(QStringLiteral("StaticText1"));
    deGamePath = new TDirectoryEdit(general);
    deGamePath->setObjectName(QStringLiteral("deGamePath"));
    Button1 = new QPushButton(QStringLiteral("Auto-Search"), general);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto* exeCaption = sunkenCaption(QStringLiteral("Executable filename"), general);
    exeCaption->setObjectName(QStringLiteral("StaticText2"));
    eExecutable = new QLineEdit(general);
    eExecutable->setObjectName(QStringLiteral("eExecutable"));

    bbOK = new QPushButton(QStringLiteral("OK"), this);
    bbOK->setObjectName(QStringLiteral("bbOK"));
    bbOK->setDefault(true);
    BitBtn1 = new QPushButton(QStringLiteral("Abort"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));

    // The page: the folder across the whole width (a game inside a Wine
    // prefix has a long path) with the search button below it, then the
    // executable.
    auto* page = new QVBoxLayout(general);
    page->setContentsMargins(8, 12, 8, 8);
    page->setSpacing(4);
    page->addWidget(pathCaption);
    page->addWidget(deGamePath);
    auto* searchRow = new QHBoxLayout;
    searchRow->addStretch(1);
    searchRow->addWidget(Button1);
    page->addLayout(searchRow);
    page->addSpacing(8);
    page->addWidget(exeCaption);
    page->addWidget(eExecutable);
    page->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(bbOK);
    buttons->addWidget(BitBtn1);

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(8, 8, 8, 8);
    window->setSpacing(10);
    window->addWidget(pages, 1);
    window->addLayout(buttons);
    FitToScreen();

    connect(bbOK, &QPushButton::clicked, this, Guarded(this, &TFrmOptions::bbOKClick));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button1, &QPushButton::clicked, this, Guarded(this, &TFrmOptions::Button1Click));
}

void TFrmOptions::FormShow()
{
    deGamePath->setText(ToQString(Settings.GamePath));
    eExecutable->setText(ToQString(ExtractFileName(Settings.GameExePath)));
    // The game folder is what the window is opened for.
    deGamePath->setFocus();
    FitToScreen();
}

void TFrmOptions::FitToScreen()
{
    // Wide enough for the path shown, and for a long one at least, no wider
    // than the screen; as high as the controls need. Only the width can be
    // changed.
    const QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    QLineEdit* path = deGamePath->lineEdit();
    const QFontMetrics metrics = path->fontMetrics();
    const int wanted = std::max(metrics.horizontalAdvance(path->text()), metrics.averageCharWidth() * 60) +
                       metrics.averageCharWidth() * 2;
    const QSize smallest = LaidOutClientSize(*this, QSize(292, 353));
    path->setMinimumWidth(wanted);
    const int fitting = LaidOutClientSize(*this, QSize(292, 353)).width();
    path->setMinimumWidth(0);
    const int frame = frameGeometry().width() - width();
    const int widest = std::max(smallest.width(), area.width() - frame - 16);
    setMinimumSize(smallest);
    setMaximumSize(widest, smallest.height());
    resize(std::min(fitting, widest), smallest.height());
    centre();
}

void TFrmOptions::centre()
{
    // On the screen, not on the main window at its top.
    const QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
}

void TFrmOptions::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once the window has its frame, centred with it.
    if (!event->spontaneous())
        centre();
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
