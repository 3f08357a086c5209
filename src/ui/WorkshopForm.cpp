#include "ui/WorkshopForm.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>

namespace paddock {

TWorkshopForm::TWorkshopForm(QWidget* mainWindow, const QString& caption, const QString& formName,
                             const QString& groupCaption)
    : TEditorForm(mainWindow, caption)
{
    setObjectName(formName);
    setFixedSize(700, 400);
    setRefuseClose(true);

    GroupBox1 = new QGroupBox(groupCaption, this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(0, 0, 157, 400);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(160, 0, 540, 400);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QString());
    setPageCaption({});
}

QPushButton* TWorkshopForm::addButton(QWidget* parent, const char* name, const QString& caption, int x, int y,
                                      int width)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(x, y, width, 25);
    return b;
}

void TWorkshopForm::setPageCaption(const QString& fileName)
{
    PageControl1->setTabText(0, fileName.isEmpty() ? QStringLiteral("<no file loaded>") : fileName);
}

} // namespace paddock
