#include "ui/WorkshopForm.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace paddock {

namespace {
// The group on the left is 157 wide unless its buttons need more.
constexpr int GroupWidth = 157;
constexpr int GroupMargin = 8;
} // namespace

TWorkshopForm::TWorkshopForm(QWidget* mainWindow, const QString& caption, const QString& formName,
                             const QString& groupCaption)
    : TEditorForm(mainWindow, caption)
{
    setObjectName(formName);
    setFixedBorder(true);
    setRefuseClose(true);

    GroupBox1 = new QGroupBox(groupCaption, this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    // The box's own frame and title come on top of the margins.
    const QMargins frame = GroupBox1->contentsMargins();
    groupButtons_ = new QVBoxLayout(GroupBox1);
    groupButtons_->setContentsMargins(GroupMargin - frame.left(), 4, GroupMargin - frame.right(), GroupMargin);
    groupButtons_->setSpacing(7);
    // Holds the starting width and takes the height below the buttons.
    groupButtons_->addItem(new QSpacerItem(GroupWidth - 2 * GroupMargin, 0, QSizePolicy::Fixed,
                                           QSizePolicy::Expanding));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    // The caption is shown whole: it widens the page control instead.
    PageControl1->setElideMode(Qt::ElideNone);
    PageControl1->setUsesScrollButtons(false);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QString());

    // A margin keeps the group's caption off the window's edges.
    auto* window = new QHBoxLayout(Client());
    window->setContentsMargins(3, 3, 3, 0);
    window->setSpacing(3);
    window->addWidget(GroupBox1);
    window->addWidget(PageControl1, 1);
    setPageCaption({});
}

QPushButton* TWorkshopForm::addGroupButton(const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, GroupBox1);
    b->setObjectName(QLatin1String(name));
    // Above the spacer that closes the group.
    groupButtons_->insertWidget(groupButtons_->count() - 1, b);
    return b;
}

QPushButton* TWorkshopForm::addButton(QWidget* parent, QBoxLayout* layout, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    layout->addWidget(b);
    return b;
}

void TWorkshopForm::setPageCaption(const QString& fileName)
{
    PageControl1->setTabText(0, fileName.isEmpty() ? QStringLiteral("<no file loaded>") : fileName);
    fitClientSize();
}

} // namespace paddock
