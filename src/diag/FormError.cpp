#include "diag/FormError.h"

#include "app/Application.h"
#include "app/QtInteraction.h"
#include "app/Settings.h"
#include "diag/ErrorReport.h"
#include "diag/ThrowSite.h"
#include "ui/WindowSize.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace paddock {

TErrorMsgForm::TErrorMsgForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("ErrorMsgForm"));
    setWindowTitle(QStringLiteral("ERROR"));

    mError = new QPlainTextEdit(this);
    mError->setObjectName(QStringLiteral("mError"));
    mError->setReadOnly(true);
    mError->setLineWrapMode(QPlainTextEdit::NoWrap);
    mError->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A fixed-pitch face at 8 points.
    QFont courier(QStringLiteral("Courier"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    courier.setPointSize(8);
    if (!QFontInfo(courier).fixedPitch())
        courier = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mError->setFont(courier);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(9);
    layout->addWidget(mError, 1);
    auto* button = new QVBoxLayout;
    button->setContentsMargins(8, 0, 6, 5);
    button->addWidget(BitBtn1);
    layout->addLayout(button);
    FixLaidOutClientSize(*this, QSize(483, 382));
}

void TErrorMsgForm::SetLines(const std::vector<std::string>& lines)
{
    QStringList text;
    for (const std::string& line : lines)
        text << ToQString(line);
    mError->setPlainText(text.join(QLatin1Char('\n')));
}

std::vector<std::string> TErrorMsgForm::Lines() const
{
    std::vector<std::string> lines;
    for (const QString& line : mError->toPlainText().split(QLatin1Char('\n')))
        lines.push_back(ToStdString(line));
    return lines;
}

void ShowErrorReport(const std::string& message, std::uintptr_t address)
{
    TErrorMsgForm window(QApplication::activeWindow());
    window.SetLines(
        ComposeErrorReport(message, address, ProgramCodeStart(), Settings.ProgramPath, Settings.DebugInfoPath));
    QtModal modal(window);
    Interaction().runModal(modal);
}

void ShowErrorReport(std::exception_ptr error, std::uintptr_t address)
{
    ShowErrorReport(ExceptionMessage(error), address);
}

} // namespace paddock
