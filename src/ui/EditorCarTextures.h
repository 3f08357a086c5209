// The Car textures window: the teams on the left with the commands that load
// their car textures from the game and save them into it; on the right the
// full-size picture of one team's liveries or numbers, as colour, as alpha
// or as colour over a checkerboard, and its exchange with TGA files. The
// window holds no copy of the textures: it shows and changes the containers
// of the shared car texture table in place.
#pragma once

#include "ui/EditorControls.h"
#include "ui/EditorForm.h"

#include <array>
#include <string>
#include <vector>

class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;

namespace paddock {

class TTEXFile;
struct TAppliedArchive;

// The load and save buttons are members of the window (sbImport1, ...).
class TFrmCarTextures : public TEditorForm, public TLoadSaveButtons {
    Q_OBJECT
public:
    explicit TFrmCarTextures(QWidget* mainWindow);

    // What rgTextureIndex and rgDisplayType have chosen.
    enum TDisplayType { DisplayImage = 0, DisplayAlpha = 1, DisplayCheckerboard = 2 };
    int TextureIndex() const;
    int DisplayType() const;

    // The team of the list's selected row, or -1.
    int CurrentTeam() const;
    // True when the current team's car textures were loaded from the game.
    bool TeamLoaded() const;
    // The container of the current team and kind, or nullptr.
    TTEXFile* CurrentContainer() const;
    // The name proposed to the TGA dialogs: "<team as listed> - <kind 1..3>.TGA".
    std::string ProposedTGAName() const;
    // Loads a picture file into the texture shown, as the load button does
    // once a file is chosen (also for a file dropped on the picture); true
    // when the texture was replaced.
    bool LoadPicture(const std::string& fileName);

    void ReloadData() override;

    // Left.
    QGroupBox* GroupBox1;
    QListWidget* lbTeams;
    QMenu* PopupMenu1;
    QAction* Selected1;
    QAction* AllTeams1;

    // Right.
    QGroupBox* GroupBox2;
    QGroupBox* rgTextureIndex;
    std::array<QRadioButton*, 3> rbTexture; // "Liveries 1", "Liveries 2", "Numbers"
    QGroupBox* rgDisplayType;
    std::array<QRadioButton*, 3> rbDisplay; // "Image", "Alpha channel", "Image over checkerboard"
    QCheckBox* cbStretchImage;
    QPushButton* bbSaveAsTGA;
    QPushButton* bbLoadFromTGA;
    QScrollArea* ScrollBox1;
    QLabel* imgTexture;
    QLabel* lTextureSize;
    QLabel* Memo1;
    QLabel* lHint;

public slots:
    void lbTeamsClick();
    void cbStretchImageClick();
    // The button is the one clicked; its Tag chooses the command.
    void sbImport1Click(QObject* button);
    void sbImport2Click(QObject* button);
    void Selected1Click();
    void AllTeams1Click();
    void bbSaveAsTGAClick();
    void bbLoadFromTGAClick();

protected:
    void FormShow() override;

private:
    void fillTeamList();
    // Runs the command of a Tag; after a save, tells which textures went
    // into cars.wad.
    void runCommand(int tag);
    // Which car textures of the teams just saved went into cars.wad and
    // which did not, in a message.
    void reportSaved(const std::vector<TAppliedArchive>& applied);
    // Picks the picture to show, then applies the stretch setting.
    void updatePicture();
    // "Liveries 1 of Ferrari".
    std::string shownTexture() const;
};

} // namespace paddock
