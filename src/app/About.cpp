#include "app/About.h"

#include "app/Icons.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace paddock {

TFrmAbout::TFrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(500, 334);

    auto* left = new QFrame(this);
    left->setObjectName(QStringLiteral("Panel1"));
    left->setFrameStyle(QFrame::Panel | QFrame::Raised);
    left->setGeometry(8, 8, 236, 280);
    auto* icon = new QLabel(left);
    icon->setPixmap(MakeProgramIcon().pixmap(64, 64));
    icon->setGeometry(86, 12, 64, 64);
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
    lines->setGeometry(8, 88, 220, 180);

    auto* right = new QFrame(this);
    right->setObjectName(QStringLiteral("Panel2"));
    right->setFrameStyle(QFrame::Panel | QFrame::Raised);
    right->setGeometry(252, 8, 240, 280);
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
    thanks->setGeometry(8, 12, 224, 256);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setGeometry(212, 298, 78, 27);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace paddock
