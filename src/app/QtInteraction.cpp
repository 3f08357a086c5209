#include "app/QtInteraction.h"

#include "app/FormProgress.h"
#include "app/Tools.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

namespace paddock {

QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string ToStdString(const QString& text)
{
    return text.toStdString();
}

namespace {

QWidget* dialogParent()
{
    return QApplication::activeWindow();
}

// Message texts use Windows line breaks; Qt wants plain ones.
QString displayText(const std::string& text)
{
    QString s = ToQString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

void showBox(QMessageBox::Icon icon, const std::string& text)
{
    QMessageBox box(icon, QStringLiteral("Paddock"), displayText(text), QMessageBox::Ok, dialogParent());
    box.exec();
}

QStringList filterEntries(const std::string& filter)
{
    QStringList entries;
    const int fields = CountFields(filter, '|');
    for (int i = 1; i + 1 <= fields; i += 2) {
        const QString description = ToQString(GetField(filter, i, '|'));
        QStringList patterns;
        for (const QString& p : ToQString(GetField(filter, i + 1, '|')).split(';', Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (pattern == QLatin1String("*.*")) {
                patterns << QStringLiteral("*");
                continue;
            }
            // File systems here tell letter case apart; game files come in both.
            for (const QString& variant : {pattern, pattern.toLower(), pattern.toUpper()})
                if (!patterns.contains(variant))
                    patterns << variant;
        }
        entries << description + QStringLiteral(" (") + patterns.join(' ') + QStringLiteral(")");
    }
    return entries;
}

bool runFileDialog(bool save, const FileDialogRequest& request, std::string& chosen, int& filterIndex)
{
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList entries = filterEntries(request.filter);
    dialog.setNameFilters(entries);
    if (request.filterIndex >= 1 && request.filterIndex <= entries.size())
        dialog.selectNameFilter(entries[request.filterIndex - 1]);
    if (!request.initialFolder.empty())
        dialog.setDirectory(ToQString(request.initialFolder));
    if (!request.fileName.empty())
        dialog.selectFile(ToQString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    chosen = ToStdString(QDir::toNativeSeparators(dialog.selectedFiles().first()));
    const int index = entries.indexOf(dialog.selectedNameFilter());
    if (index >= 0)
        filterIndex = index + 1;
    return true;
}

} // namespace

QString ToQtFilter(const std::string& filter)
{
    return filterEntries(filter).join(QStringLiteral(";;"));
}

int QtModal::exec()
{
    return dialog_.exec();
}

std::string QtModal::name() const
{
    return ToStdString(dialog_.objectName());
}

void QtInteraction::message(const std::string& text)
{
    showBox(QMessageBox::NoIcon, text);
}

void QtInteraction::error(const std::string& text)
{
    showBox(QMessageBox::Critical, text);
}

bool QtInteraction::question(const std::string& text, QuestionKind kind)
{
    QMessageBox box(kind == QuestionKind::Warning ? QMessageBox::Warning : QMessageBox::Question,
                    kind == QuestionKind::Warning ? QStringLiteral("Warning") : QStringLiteral("Confirm"),
                    displayText(text), QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

Answer QtInteraction::questionWithCancel(const std::string& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), displayText(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, dialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

bool QtInteraction::input(const std::string& title, const std::string& prompt, std::string& value)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(dialogParent(), ToQString(title), ToQString(prompt),
                                                 QLineEdit::Normal, ToQString(value), &ok);
    if (ok)
        value = ToStdString(answer);
    return ok;
}

bool QtInteraction::openFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex)
{
    return runFileDialog(false, request, chosen, filterIndex);
}

bool QtInteraction::saveFile(const FileDialogRequest& request, std::string& chosen, int& filterIndex)
{
    return runFileDialog(true, request, chosen, filterIndex);
}

bool QtInteraction::chooseFolder(const std::string& title, const std::string& initialFolder, std::string& chosen)
{
    const QString folder =
        QFileDialog::getExistingDirectory(dialogParent(), ToQString(title), ToQString(initialFolder));
    if (folder.isEmpty())
        return false;
    chosen = ToStdString(QDir::toNativeSeparators(folder));
    return true;
}

int QtInteraction::runModal(ModalWindow& window)
{
    return window.exec();
}

std::unique_ptr<ProgressWindow> QtInteraction::showProgress(const ProgressRequest& request)
{
    return std::make_unique<QtProgress>(ShowProgress(ToQString(request.caption), request.maximum, request.showCancel,
                                                     request.clientWidth, request.clientHeight));
}

} // namespace paddock
