#include "app/FormProgress.h"

#include "app/QtInteraction.h"
#include "ui/WindowSize.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace paddock {

namespace {

QLabel* sunkenText(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumHeight(label->fontMetrics().height() + 4);
    return label;
}

} // namespace

TFrmProgress::TFrmProgress(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("FrmProgress"));
    setWindowTitle(QStringLiteral("Progress"));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(6);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* panel = new QVBoxLayout(Panel1);
    panel->setContentsMargins(6, 6, 6, 6);
    panel->setSpacing(4);
    stInfo = sunkenText("stInfo", Panel1);
    pbProgress = new QProgressBar(Panel1);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setMinimum(0);
    pbProgress->setValue(0);
    pbProgress->setTextVisible(false);
    pbProgress->setFixedHeight(pbProgress->fontMetrics().height());
    stProgress = sunkenText("stProgress", Panel1);
    panel->addWidget(stInfo);
    panel->addWidget(pbProgress);
    panel->addWidget(stProgress);
    panel->addStretch();
    outer->addWidget(Panel1, 1);

    // The button sits in a row of its own below the panel; a hidden row takes
    // no room, so that without it the panel fills the window.
    cancelRow_ = new QWidget(this);
    bbCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"),
                               cancelRow_);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    auto* buttons = new QHBoxLayout(cancelRow_);
    buttons->setContentsMargins(8, 0, 8, 8);
    buttons->addStretch();
    buttons->addWidget(bbCancel);
    outer->addWidget(cancelRow_);
    connect(bbCancel, &QPushButton::clicked, this, &TFrmProgress::bbCancelClick);

    resize(DesignWidth, DesignHeight);
}

void TFrmProgress::SetCancelVisible(bool visible)
{
    cancelRow_->setVisible(visible);
}

void TFrmProgress::bbCancelClick()
{
    cancelled_ = true;
}

void TFrmProgress::Step(const QString& item)
{
    pbProgress->setValue(std::min(pbProgress->value() + 1, pbProgress->maximum()));
    stInfo->setText(item);
    stProgress->setText(QStringLiteral("%1 of %2").arg(pbProgress->value()).arg(pbProgress->maximum()));
    // The command holds the event loop: paint now.
    repaint();
}

TFrmProgress* ShowProgress(const QString& caption, int maximum, bool showCancel, int clientWidth, int clientHeight)
{
    auto* window = new TFrmProgress(QApplication::activeWindow());
    window->setWindowTitle(caption);
    window->pbProgress->setMaximum(std::max(0, maximum));
    window->SetCancelVisible(showCancel);
    const QSize starting(clientWidth != 0 ? clientWidth : TFrmProgress::DesignWidth,
                         clientHeight != 0 ? clientHeight : TFrmProgress::DesignHeight);
    FixLaidOutClientSize(*window, starting);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }
    window->ClearCancelled();
    window->show();
    // Let the window system map the window before the command takes the
    // event loop away; user input waits.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return window;
}

QtProgress::~QtProgress()
{
    window_->close();
    delete window_;
}

void QtProgress::step(const std::string& item)
{
    window_->Step(ToQString(item));
}

bool QtProgress::cancelled() const
{
    return window_->Cancelled();
}

} // namespace paddock
