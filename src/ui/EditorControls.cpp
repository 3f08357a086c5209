#include "ui/EditorControls.h"

#include "app/ExportImport.h"
#include "app/Tools.h"
#include "formats/CodePage.h"

#include "app/Application.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QMimeData>
#include <QUrl>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>
#include <QVariant>

#include <algorithm>
#include <climits>

namespace paddock {

namespace {

// Digits with an optional minus sign, or nothing at all.
bool numberLike(const QString& text)
{
    for (int i = 0; i < text.size(); ++i)
        if (!text[i].isDigit() && !(i == 0 && text[i] == QLatin1Char('-')))
            return false;
    return true;
}

} // namespace

TSpinEdit::TSpinEdit(int minimum, int maximum, QWidget* parent) : QSpinBox(parent)
{
    setRange(minimum, maximum);
    setValue(minimum);
    // A field that is emptied while typed is not put back to its old value.
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setKeyboardTracking(true);
    connect(this, &QSpinBox::valueChanged, this, [this] { shown_.reset(); });
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { shown_.reset(); });
}

void TSpinEdit::ShowValue(int value)
{
    setValue(value);
    shown_ = value;
}

int TSpinEdit::ValueToStore() const
{
    return shown_ ? *shown_ : StoredValue();
}

int TSpinEdit::clamped(const QString& text) const
{
    const QString digits = text.trimmed();
    if (digits.isEmpty() || !numberLike(digits) || digits == QLatin1String("-"))
        return minimum();
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok);
    if (!ok) // more digits than any integer holds
        return digits.startsWith(QLatin1Char('-')) ? minimum() : maximum();
    return static_cast<int>(std::clamp<qlonglong>(value, minimum(), maximum()));
}

int TSpinEdit::StoredValue() const
{
    return clamped(cleanText());
}

QValidator::State TSpinEdit::validate(QString& input, int&) const
{
    const QString text = input.trimmed();
    if (!numberLike(text))
        return QValidator::Invalid;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok && value >= minimum() && value <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

void TSpinEdit::fixup(QString& input) const
{
    input = QString::number(clamped(input));
}

int TSpinEdit::valueFromText(const QString& text) const
{
    return clamped(text);
}

QString FromGameText(const std::string& bytes)
{
    return QString::fromStdString(GameTextToUtf8(bytes));
}

std::string ToGameText(const QString& text)
{
    if (const auto bytes = Utf8ToGameText(text.toStdString()))
        return *bytes;
    // What the code page cannot hold becomes "?", character by character.
    std::string out;
    for (const char32_t c : text.toUcs4()) {
        const auto byte = Utf8ToGameText(QString::fromUcs4(&c, 1).toStdString());
        out += byte ? *byte : std::string("?");
    }
    return out;
}

namespace {

// Accepts only what the game's code page can hold.
class TCodePageValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        const std::optional<std::string> bytes = Utf8ToGameText(input.toStdString());
        if (!bytes)
            return Invalid;
        // Control characters have no place in a name.
        for (const char b : *bytes)
            if (static_cast<unsigned char>(b) < 0x20 || b == 0x7F)
                return Invalid;
        return Acceptable;
    }
};

} // namespace

TGameTextEdit::TGameTextEdit(int maxBytes, QWidget* parent) : QLineEdit(parent)
{
    // One byte a character in this code page: the length counts bytes.
    setMaxLength(maxBytes);
    setValidator(new TCodePageValidator(this));
}

QSize TGameTextEdit::minimumSizeHint() const
{
    // A text of the field's full length is shown whole.
    QSize size = QLineEdit::minimumSizeHint();
    size.setWidth(std::max(size.width(), FullLengthWidth()));
    return size;
}

QSize TGameTextEdit::sizeHint() const
{
    return QLineEdit::sizeHint().expandedTo(minimumSizeHint());
}

int TGameTextEdit::FullLengthWidth() const
{
    // As many characters of average width as the field holds, with the
    // room around the text that the style gives a line edit.
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QMargins margins = textMargins();
    const QSize text(fontMetrics().averageCharWidth() * maxLength() + margins.left() + margins.right() + 4,
                     fontMetrics().height());
    return style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, this).width();
}

void RunCommand(int tag)
{
    if (tag == CommandImport)
        ImportSelected();
    else if (tag == CommandExport)
        ExportSelected();
}

int TagOf(const QObject* object)
{
    return object ? object->property("Tag").toInt() : 0;
}

void SetTag(QObject* object, int tag)
{
    object->setProperty("Tag", tag);
}

QToolButton* MakeCommandButton(QWidget* parent, const char* name, int tag, const QString& hint, bool narrow)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    SetTag(button, tag);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    const bool command = tag == CommandImport || tag == CommandExport;
    if (narrow) {
        button->setArrowType(Qt::DownArrow);
        button->setFixedWidth(13);
        // The arrow offers the chosen team or all of them.
        if (command && hint.isEmpty())
            button->setToolTip(tag == CommandExport ? QStringLiteral("Save To GP4: the chosen team or all teams")
                                                    : QStringLiteral("Load From GP4: the chosen team or all teams"));
    } else {
        const QStyle::StandardPixmap glyph =
            tag == CommandExport ? QStyle::SP_DialogSaveButton : QStyle::SP_DialogOpenButton;
        button->setIcon(parent->style()->standardIcon(glyph));
        // The picture says little to a new player: the command is written
        // below it.
        if (command) {
            button->setText(tag == CommandExport ? QStringLiteral("Save") : QStringLiteral("Load"));
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        }
    }
    // At least 23 x 22; a button with a caption as large as that needs.
    if (button->text().isEmpty()) {
        button->setMinimumHeight(22);
        if (!narrow)
            button->setMinimumWidth(23);
    }
    return button;
}

std::array<QToolButton*, 10> TLoadSaveButtons::All() const
{
    return {sbImport1, sbImport2, sbExport1, sbExport2, sbStandard1, sbStandard2, sbLoadSet1, sbLoadSet2, sbSaveSet1,
            sbSaveSet2};
}

TLoadSaveButtons MakeLoadSaveButtons(QWidget* parent, bool showArrows)
{
    TLoadSaveButtons b;
    b.sbImport1 = MakeCommandButton(parent, "sbImport1", CommandImport, QStringLiteral("Load From GP4"), false);
    b.sbImport2 = MakeCommandButton(parent, "sbImport2", CommandImport, QString(), true);
    b.sbExport1 = MakeCommandButton(parent, "sbExport1", CommandExport, QStringLiteral("Save To GP4"), false);
    b.sbExport2 = MakeCommandButton(parent, "sbExport2", CommandExport, QString(), true);
    b.sbStandard1 = MakeCommandButton(parent, "sbStandard1", 3, QString(), false);
    b.sbStandard2 = MakeCommandButton(parent, "sbStandard2", 3, QString(), true);
    b.sbLoadSet1 = MakeCommandButton(parent, "sbLoadSet1", 4, QString(), false);
    b.sbLoadSet2 = MakeCommandButton(parent, "sbLoadSet2", 4, QString(), true);
    b.sbSaveSet1 = MakeCommandButton(parent, "sbSaveSet1", 5, QString(), false);
    b.sbSaveSet2 = MakeCommandButton(parent, "sbSaveSet2", 5, QString(), true);
    b.Row = new QHBoxLayout;
    b.Row->setSpacing(0);
    for (QToolButton* button : b.All()) {
        if (button == b.sbExport1)
            b.Row->addSpacing(6);
        b.Row->addWidget(button);
        const bool command = TagOf(button) == CommandImport || TagOf(button) == CommandExport;
        const bool arrow = button->arrowType() != Qt::NoArrow;
        button->setVisible(command && (showArrows || !arrow));
    }
    b.Row->addStretch();
    return b;
}

namespace {

class TFileDropFilter : public QObject {
public:
    TFileDropFilter(QWidget* target, std::function<bool(const std::string&)> accept,
                    std::function<void(const std::string&)> open)
        : QObject(target), accept_(std::move(accept)), open_(std::move(open))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            const std::string path = DroppedFile(drag->mimeData());
            if (!path.empty() && accept_(path))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const std::string path = DroppedFile(drop->mimeData());
            if (path.empty() || !accept_(path)) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            try {
                open_(path);
            } catch (...) {
                ReportCurrentException();
            }
            return true;
        }
        default:
            return false;
        }
    }

private:
    std::function<bool(const std::string&)> accept_;
    std::function<void(const std::string&)> open_;
};

} // namespace

std::string DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return QDir::toNativeSeparators(url.toLocalFile()).toStdString();
    return {};
}

bool IsWorkshopFileName(const std::string& path)
{
    const std::string ext = ExtractFileExt(path);
    return SameText(ext, ".wad") || SameText(ext, ".tex") || SameText(ext, ".gp4");
}

void AcceptFileDrops(QWidget* target, std::function<bool(const std::string&)> accept,
                     std::function<void(const std::string&)> open)
{
    target->setAcceptDrops(true);
    target->installEventFilter(new TFileDropFilter(target, std::move(accept), std::move(open)));
}

TTeamsMenu MakeTeamsMenu(QWidget* parent)
{
    TTeamsMenu menu;
    menu.PopupMenu1 = new QMenu(parent);
    menu.PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    menu.Selected1 = menu.PopupMenu1->addAction(QStringLiteral("Selected"));
    menu.Selected1->setObjectName(QStringLiteral("Selected1"));
    menu.AllTeams1 = menu.PopupMenu1->addAction(QStringLiteral("All Teams"));
    menu.AllTeams1->setObjectName(QStringLiteral("AllTeams1"));
    return menu;
}

} // namespace paddock
