#include "app/About.h"

#include "app/Icons.h"
#include "app/Settings.h"
#include "ui/WindowSize.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace paddock {

TFrmAbout::TFrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QStringLiteral("About"));

    auto* left = new QFrame(this);
    left->setObjectName(QStringLiteral("Panel1"));
    left->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* icon = new QLabel(left);
    icon->setPixmap(MakeProgramIcon().pixmap(64, 64));
    auto* lines = new QLabel(left);
    lines->setObjectName(QStringLiteral("Label1"));
    lines->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lines->setWordWrap(true);
    lines->setText(QStringLiteral("<b>Paddock v1.2 BETA </b><br>"
                                  "Release of December 2026<br><br>"
                                  "Wishes for future versions, <br>"
                                  "comments, bug-reports to <br>"
                                  "the Paddock developers,<br>"
                                  "through the project's issue tracker."));
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(8, 12, 8, 12);
    leftColumn->setSpacing(12);
    leftColumn->addWidget(icon, 0, Qt::AlignHCenter);
    leftColumn->addWidget(lines);
    leftColumn->addStretch(1);

    auto* right = new QFrame(this);
    right->setObjectName(QStringLiteral("Panel2"));
    right->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* thanks = new QLabel(right);
    thanks->setObjectName(QStringLiteral("Label2"));
    thanks->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    thanks->setWordWrap(true);
    thanks->setText(QStringLiteral("<b>Special thanks go to:</b><br><br>"
                                   "everyone in the Grand Prix 4 community who documented "
                                   "the game's files and shared what they found,<br><br>"
                                   "the testers of the beta releases,<br><br>"
                                   "and the authors of Qt and SimpleIni.<br><br>"
                                   "The texture codec is Paddock's own."));
    auto* rightColumn = new QVBoxLayout(right);
    rightColumn->setContentsMargins(8, 12, 8, 12);
    rightColumn->addWidget(thanks);
    rightColumn->addStretch(1);

    // Where this run keeps its settings: beside the program, or in the
    // user's configuration folder for an installed program.
    auto* settings = new QLabel(this);
    settings->setObjectName(QStringLiteral("lbSettings"));
    settings->setWordWrap(true);
    settings->setTextInteractionFlags(Qt::TextSelectableByMouse);
    settings->setText(QStringLiteral("Settings file: ") + QString::fromStdString(SettingsFile()));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* panels = new QHBoxLayout;
    panels->setSpacing(8);
    panels->addWidget(left, 1);
    panels->addWidget(right, 1);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(8, 8, 8, 8);
    window->setSpacing(10);
    window->addLayout(panels, 1);
    window->addWidget(settings);
    window->addWidget(ok, 0, Qt::AlignHCenter);
    FixLaidOutClientSize(*this, QSize(500, 334));
}

} // namespace paddock
