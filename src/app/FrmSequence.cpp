#include "app/FrmSequence.h"

#include "app/QtInteraction.h"
#include "app/Tools.h"
#include "ui/WindowSize.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace paddock {

namespace {
std::string rememberedFolder;
std::string rememberedMask;
} // namespace

TFormSequence::TFormSequence(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FormSequence"));
    setWindowTitle(QStringLiteral("Please choose a directory / mask"));

    auto sunken = [this](const char* name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    };
    auto plain = [this](const char* name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        return label;
    };

    StaticText1 = sunken("StaticText1", QStringLiteral("Directory"));
    DirectoryEdit1 = new QLineEdit(this);
    DirectoryEdit1->setObjectName(QStringLiteral("DirectoryEdit1"));
    StaticText2 = sunken("StaticText2", QStringLiteral("Filemask"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));

    // The explanation, exactly as it has always read.
    const QString explanation = QStringList{
        QStringLiteral("When saving a list of files you first have to chosse a"),
        QStringLiteral("directory, in which the files will be saved. After this"),
        QStringLiteral("you can choose a filemask. "),
        QStringLiteral("Example: Sound*.WAV. The \"*\" will be replaced with"),
        QStringLiteral("an index. The created files will have the"),
        QStringLiteral("names \"Sound1.WAV\", Sound2.WAV\" etc. "),
    }.join('\n');
    Label2 = plain("Label2", explanation);
    QFont small = Label2->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    Label2->setFont(small);
    Label1 = plain("Label1", QStringLiteral("It is recommended not to change the file extension"));
    Label1->setFont(small);
    Label3 = plain("Label3", QStringLiteral("you can see in the filemask field."));
    Label3->setFont(small);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(8, 4, 8, 2);
    window->setSpacing(1);
    window->addWidget(StaticText1);
    window->addWidget(DirectoryEdit1);
    window->addSpacing(2);
    window->addWidget(StaticText2);
    window->addWidget(Edit1);
    window->addSpacing(3);
    window->addWidget(Label2);
    window->addWidget(Label1);
    window->addWidget(Label3);
    window->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    window->addLayout(buttons);
    FixLaidOutClientSize(*this, QSize(308, 217));

    setTabOrder(DirectoryEdit1, Edit1);
    DirectoryEdit1->setFocus();
}

bool ChooseSequence(const std::string& folder, const std::string& mask, std::string& result)
{
    TFormSequence window(QApplication::activeWindow());
    window.DirectoryEdit1->setText(ToQString(folder.empty() ? rememberedFolder : folder));
    window.Edit1->setText(ToQString(mask.empty() ? rememberedMask : mask));
    QtModal modal(window);
    if (Interaction().runModal(modal) != QDialog::Accepted) {
        result.clear();
        return false;
    }
    rememberedFolder = AddTrailingBackslash(ToStdString(window.DirectoryEdit1->text()));
    rememberedMask = ToStdString(window.Edit1->text());
    result = rememberedFolder + rememberedMask;
    return true;
}

void ResetSequenceMemory()
{
    rememberedFolder.clear();
    rememberedMask.clear();
}

} // namespace paddock
