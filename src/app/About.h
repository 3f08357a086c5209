// The About window.
#pragma once

#include <QDialog>

namespace paddock {

class TFrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAbout(QWidget* parent = nullptr);
};

} // namespace paddock
