// The WAD Workshop: open any archive and list its directory, extract all
// members or one, create an archive from a folder tree, and repair an archive
// whose offsets were written without the gap bytes.
#pragma once

#include "ui/WorkshopForm.h"

#include <memory>
#include <string>

class QGroupBox;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace paddock {

class TWADFile;

class TFrmWADWorkshop : public TWorkshopForm {
    Q_OBJECT
public:
    explicit TFrmWADWorkshop(QWidget* mainWindow);
    ~TFrmWADWorkshop() override;

    // The loaded archive, or nullptr.
    TWADFile* Archive() const { return wad_.get(); }
    // Loads and lists an archive, as the load button does once a file is
    // chosen.
    void LoadWAD(const std::string& fileName);

    QPushButton* bbLoadWAD;
    QPushButton* bbCreateWADFromDir;
    QPushButton* Button1;
    QTreeWidget* lvEntries;
    QPushButton* bbExtractAllFiles;
    QPushButton* BitBtn2;
    QPushButton* bbReplaceAllFiles;
    QPushButton* BitBtn1;

public slots:
    void bbLoadWADClick();
    void bbExtractAllFilesClick();
    void BitBtn2Click();
    void bbCreateWADFromDirClick();
    void Button1Click();
    void bbReplaceAllFilesClick();

private:
    void FormCreate();
    void showNoArchive();
    void listEntries();

    std::unique_ptr<TWADFile> wad_;
};

} // namespace paddock
