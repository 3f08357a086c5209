// The progress window shown while the import and export run: what is being
// done, a bar, how far it has come, and a cancel button where the caller
// wants one.
#pragma once

#include "app/Interaction.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QFrame;

namespace paddock {

class TFrmProgress : public QWidget {
    Q_OBJECT
public:
    explicit TFrmProgress(QWidget* parent = nullptr);

    // The design client size.
    static constexpr int DesignWidth = 300;
    static constexpr int DesignHeight = 120;

    QFrame* Panel1;
    QLabel* stInfo;
    QProgressBar* pbProgress;
    QLabel* stProgress;
    QPushButton* bbCancel;

    // Set by the cancel button; cleared when the window is shown.
    bool Cancelled() const { return cancelled_; }
    void ClearCancelled() { cancelled_ = false; }
    // Shows or hides the cancel button; without it the panel fills the window.
    void SetCancelVisible(bool visible);
    // One more item is done: the bar moves on, stInfo names the item and
    // stProgress counts; painted at once.
    void Step(const QString& item);

public slots:
    void bbCancelClick();

private:
    QWidget* cancelRow_;
    bool cancelled_ = false;
};

// Creates the progress window and shows it without waiting; the caller closes
// and destroys it. A width or height of 0 keeps the design size; without the
// cancel button the panel fills the window.
TFrmProgress* ShowProgress(const QString& caption, int maximum, bool showCancel, int clientWidth, int clientHeight);

// The progress window as the user interaction hands it to the core.
class QtProgress : public ProgressWindow {
public:
    explicit QtProgress(TFrmProgress* window) : window_(window) {}
    ~QtProgress() override;
    void step(const std::string& item) override;
    bool cancelled() const override;

private:
    TFrmProgress* window_;
};

} // namespace paddock
