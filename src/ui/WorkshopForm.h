// The common frame of the workshop windows: a group of file buttons on the
// left, a page control with one page on the right whose caption names the
// loaded file, and a window that only the main window closes.
#pragma once

#include "ui/EditorForm.h"

class QGroupBox;
class QPushButton;
class QTabWidget;

namespace paddock {

class TWorkshopForm : public TEditorForm {
    Q_OBJECT
public:
    QGroupBox* GroupBox1;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;

protected:
    TWorkshopForm(QWidget* mainWindow, const QString& caption, const QString& formName, const QString& groupCaption);

    // A button of 25 pixels' height on the given parent.
    static QPushButton* addButton(QWidget* parent, const char* name, const QString& caption, int x, int y,
                                  int width);
    // The page caption: the file's name, or "<no file loaded>" for none.
    void setPageCaption(const QString& fileName);
};

} // namespace paddock
