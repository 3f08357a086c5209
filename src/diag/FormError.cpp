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
#include <QLabel>
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

    // First what went wrong, in words a player reads, wrapped; then the
    // report for the developers, whole, its long lines wrapped too.
    lMessage = new QLabel(this);
    lMessage->setObjectName(QStringLiteral("lMessage"));
    lMessage->setWordWrap(true);
    lMessage->setTextFormat(Qt::PlainText);
    lMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont strong = lMessage->font();
    strong.setBold(true);
    lMessage->setFont(strong);
    lDetails = new QLabel(QStringLiteral("What you were doing has been stopped. The report below is for the "
                                         "developers:"),
                          this);
    lDetails->setObjectName(QStringLiteral("lDetails"));
    lDetails->setWordWrap(true);

    mError = new QPlainTextEdit(this);
    mError->setObjectName(QStringLiteral("mError"));
    mError->setReadOnly(true);
    mError->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mError->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
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
    auto* words = new QVBoxLayout;
    words->setContentsMargins(8, 8, 8, 0);
    words->setSpacing(6);
    words->addWidget(lMessage);
    words->addWidget(lDetails);
    layout->addLayout(words);
    layout->addWidget(mError, 1);
    auto* button = new QVBoxLayout;
    button->setContentsMargins(8, 0, 6, 5);
    button->addWidget(BitBtn1);
    layout->addLayout(button);
    fit();
}

void TErrorMsgForm::fit()
{
    FixLaidOutClientSize(*this, QSize(483, 382));
}

void TErrorMsgForm::SetHeadline(const std::string& text)
{
    lMessage->setText(ToQString(text));
    fit();
}

std::string TErrorMsgForm::Headline() const
{
    return ToStdString(lMessage->text());
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

void ShowErrorReport(const std::string& message, std::uintptr_t address, const std::string& headline)
{
    TErrorMsgForm window(QApplication::activeWindow());
    window.SetHeadline(headline.empty() ? message : headline);
    window.SetLines(
        ComposeErrorReport(message, address, ProgramCodeStart(), Settings.ProgramPath, Settings.DebugInfoPath));
    QtModal modal(window);
    Interaction().runModal(modal);
}

void ShowErrorReport(std::exception_ptr error, std::uintptr_t address)
{
    ShowErrorReport(ExceptionMessage(error), address, PlainErrorMessage(error));
}

} // namespace paddock
