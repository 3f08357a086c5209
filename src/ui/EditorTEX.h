// The TEX Workshop: open any texture container, look at its textures, export
// them to TGA files and replace them from TGA files, rebuild the smaller
// textures from the first, and save the container.
#pragma once

#include "ui/WorkshopForm.h"

#include <memory>
#include <string>

class QButtonGroup;
class QGroupBox;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTabWidget;

namespace paddock {

class TTEXFile;

class TFrmTEXWorkshop : public TWorkshopForm {
    Q_OBJECT
public:
    explicit TFrmTEXWorkshop(QWidget* mainWindow);
    ~TFrmTEXWorkshop() override;

    // The loaded container, or nullptr.
    TTEXFile* Container() const { return tex_.get(); }
    // Loads a container as the load button does once a file is chosen;
    // false, with no container left, when it was refused.
    bool LoadTEX(const std::string& fileName);
    // Replaces a texture from a picture file as "Replace selected file" does
    // once a file is chosen; true when it was replaced.
    bool ReplaceTexture(int index, const std::string& fileName);

    QPushButton* bbLoadTEX;
    QPushButton* bbSaveTEXFile;
    QPushButton* bbSaveTEXFileAs;
    QListWidget* lbTextures;
    QPushButton* bbExtractAllFiles;
    QPushButton* BitBtn2;
    QPushButton* bbReplaceAllFiles;
    QPushButton* BitBtn3;
    QPushButton* BitBtn1;
    QGroupBox* rgDisplayType;
    QRadioButton* rbImage;
    QRadioButton* rbAlpha;
    QRadioButton* rbCheckerboard;
    QCheckBox* cbStretchImage;
    QScrollArea* ScrollBox1;
    QLabel* imgTEX;

public slots:
    void bbLoadTEXClick();
    void bbSaveTEXFileClick();
    void bbSaveTEXFileAsClick();
    void lbTexturesClick();
    void rgDisplayTypeClick();
    void cbStretchImageClick();
    void bbExtractAllFilesClick();
    void bbReplaceAllFilesClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

private:
    void FormCreate();
    void FillList();
    void showNoContainer();
    // The name proposed for one exported or replaced texture.
    std::string proposedTGAName() const;
    // Asks for the folder and mask of a series of TGA files.
    bool chooseTGASeries(std::string& mask) const;
    // The files of a series in words: "car0.TGA to car3.TGA in /folder/".
    std::string seriesText(const std::string& mask) const;

    std::unique_ptr<TTEXFile> tex_;
};

} // namespace paddock
