// The common frame of the workshop windows: a group of file buttons on the
// left, a page control with one page on the right whose caption names the
// loaded file, and a window with a fixed border that only the main window
// closes.
#pragma once

#include "ui/EditorForm.h"

class QBoxLayout;
class QGroupBox;
class QPushButton;
class QTabWidget;
class QVBoxLayout;

namespace paddock {

class TWorkshopForm : public TEditorForm {
    Q_OBJECT
public:
    QGroupBox* GroupBox1;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;

protected:
    // The frame; the workshop adds its file buttons with addGroupButton, lays
    // out TabSheet1 and then calls fitClientSize().
    TWorkshopForm(QWidget* mainWindow, const QString& caption, const QString& formName, const QString& groupCaption);

    // A button below the ones already in the group on the left.
    QPushButton* addGroupButton(const char* name, const QString& caption);
    // A button on the given parent, placed by the caller's layout.
    static QPushButton* addButton(QWidget* parent, QBoxLayout* layout, const char* name, const QString& caption);
    // The page caption: the file's name, or "<no file loaded>" for none. The
    // window grows when the caption needs more room.
    void setPageCaption(const QString& fileName);

private:
    QVBoxLayout* groupButtons_;
};

} // namespace paddock
