#include "ui/EditorCarTextures.h"

#include "app/Application.h"
#include "app/EditorHost.h"
#include "app/ExportImport.h"
#include "app/Items.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Teams.h"
#include "ui/EditorControls.h"
#include "ui/PictureImage.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCursor>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

namespace paddock {

namespace {

const char* const SaveTGAKey = "CarTextures.SaveTGA";
const char* const LoadTGAKey = "CarTextures.LoadTGA";
// The kinds as the texture choice names them.
const char* const KindCaptions[CarTextureKinds] = {"Liveries 1", "Liveries 2", "Numbers"};

// The left group is 141 wide unless its buttons need more; the picture's
// box is 380 x 380.
constexpr int GroupWidth = 141;
constexpr int PictureBox = 380;
// The room between a group's frame and what it holds.
constexpr int GroupMargin = 6;
// A group of radio buttons, the first one chosen.
QGroupBox* makeRadioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items,
                          std::array<QRadioButton*, 3>& buttons, QButtonGroup*& group)
{
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(5, 0, 5, 2);
    layout->setSpacing(0);
    for (int i = 0; i < static_cast<int>(buttons.size()); ++i) {
        auto* b = new QRadioButton(items[i], box);
        b->setObjectName(QStringLiteral("%1Item%2").arg(QLatin1String(name)).arg(i));
        group->addButton(b, i);
        layout->addWidget(b);
        buttons[static_cast<std::size_t>(i)] = b;
    }
    buttons[0]->setChecked(true);
    return box;
}

} // namespace

TFrmCarTextures::TFrmCarTextures(QWidget* mainWindow) : TEditorForm(mainWindow, QStringLiteral("Car textures"))
{
    setObjectName(QStringLiteral("FrmCarTextures"));
    setFixedBorder(true);
    setRefuseClose(true);

    // Left: the teams with the load and save buttons below them.
    GroupBox1 = new QGroupBox(QStringLiteral("Car Textures"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    lbTeams = new QListWidget(GroupBox1);
    lbTeams->setObjectName(QStringLiteral("lbTeams"));
    // As wide as the group, whatever the names.
    lbTeams->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    static_cast<TLoadSaveButtons&>(*this) = MakeLoadSaveButtons(GroupBox1, true);
    const TTeamsMenu menu = MakeTeamsMenu(this);
    PopupMenu1 = menu.PopupMenu1;
    Selected1 = menu.Selected1;
    AllTeams1 = menu.AllTeams1;

    // Every wide button runs its Tag's command; every arrow button opens the
    // menu for its Tag's command.
    for (QToolButton* b : All()) {
        if (b->arrowType() == Qt::NoArrow)
            connect(b, &QToolButton::clicked, this, Guarded([this, b] { sbImport1Click(b); }));
        else
            connect(b, &QToolButton::clicked, this, Guarded([this, b] { sbImport2Click(b); }));
    }
    QHBoxLayout* buttons = Row;
    auto* left = new QVBoxLayout(GroupBox1);
    // The box's own frame comes on top of the margins.
    const QMargins leftFrame = GroupBox1->contentsMargins();
    left->setContentsMargins(std::max(0, GroupMargin - leftFrame.left()), 4,
                             std::max(0, GroupMargin - leftFrame.right()), GroupMargin);
    left->addWidget(lbTeams, 1);
    left->addLayout(buttons);
    // Holds the starting width; a wider caption or row of buttons widens the box.
    left->addItem(new QSpacerItem(GroupWidth - 2 * GroupMargin, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));

    // Right: the choices and the TGA buttons beside the picture.
    GroupBox2 = new QGroupBox(this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    QButtonGroup* textureGroup = nullptr;
    QButtonGroup* displayGroup = nullptr;
    rgTextureIndex =
        makeRadioGroup(GroupBox2, "rgTextureIndex", QStringLiteral("Texture..."),
                       {QStringLiteral("Liveries 1"), QStringLiteral("Liveries 2"), QStringLiteral("Numbers")},
                       rbTexture, textureGroup);
    // The longest item takes two lines, so that the choices keep to the room
    // beside the picture.
    rgDisplayType = makeRadioGroup(GroupBox2, "rgDisplayType", QStringLiteral("Display..."),
                                   {QStringLiteral("Image"), QStringLiteral("Alpha channel"),
                                    QStringLiteral("Image over\ncheckerboard")},
                                   rbDisplay, displayGroup);
    cbStretchImage = new QCheckBox(QStringLiteral("Stretch Image"), GroupBox2);
    cbStretchImage->setObjectName(QStringLiteral("cbStretchImage"));
    bbSaveAsTGA = new QPushButton(QStringLiteral("Save texture as TGA"), GroupBox2);
    bbSaveAsTGA->setObjectName(QStringLiteral("bbSaveAsTGA"));
    bbLoadFromTGA = new QPushButton(QStringLiteral("Load texture from TGA"), GroupBox2);
    bbLoadFromTGA->setObjectName(QStringLiteral("bbLoadFromTGA"));

    // The size of the texture shown, which a picture loaded into it keeps.
    lTextureSize = new QLabel(GroupBox2);
    lTextureSize->setObjectName(QStringLiteral("lTextureSize"));

    // The note's three lines, which end in spaces, run on as one text that
    // wraps where the room ends.
    Memo1 = new QLabel(QStringLiteral("In this version of Paddock it is "
                                      "recommended not to change "
                                      "the dimensions of the textures."),
                       GroupBox2);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Memo1->setWordWrap(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette red = Memo1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Memo1->setPalette(red);

    ScrollBox1 = new QScrollArea(GroupBox2);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFixedSize(PictureBox, PictureBox);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox1->horizontalScrollBar()->setTracking(true);
    ScrollBox1->verticalScrollBar()->setTracking(true);
    imgTexture = new QLabel;
    imgTexture->setObjectName(QStringLiteral("imgTexture"));
    imgTexture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Stretched, the picture takes the box's size whatever its own.
    imgTexture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imgTexture->setScaledContents(true);
    ScrollBox1->setWidgetResizable(true);
    ScrollBox1->setWidget(imgTexture);
    // What to do while the team's textures are not loaded, where the picture
    // would be; readable although the group is disabled.
    lHint = new QLabel(QStringLiteral("Load the car textures of this team from the game to see and change them: "
                                      "Load, below the list of teams."),
                       ScrollBox1->viewport());
    lHint->setObjectName(QStringLiteral("lHint"));
    lHint->setAlignment(Qt::AlignCenter);
    lHint->setWordWrap(true);
    lHint->setMargin(12);
    QPalette readable = lHint->palette();
    readable.setColor(QPalette::Disabled, QPalette::WindowText, readable.color(QPalette::Active, QPalette::WindowText));
    lHint->setPalette(readable);

    auto* choices = new QVBoxLayout;
    choices->setSpacing(6);
    choices->addWidget(rgTextureIndex);
    choices->addWidget(rgDisplayType);
    choices->addWidget(cbStretchImage);
    choices->addWidget(bbSaveAsTGA);
    choices->addWidget(bbLoadFromTGA);
    choices->addWidget(lTextureSize);
    choices->addWidget(Memo1);
    choices->addStretch();
    auto* right = new QHBoxLayout(GroupBox2);
    const QMargins frame = GroupBox2->contentsMargins();
    right->setContentsMargins(std::max(0, GroupMargin - frame.left()), std::max(0, 4 - frame.top()),
                              std::max(0, GroupMargin - frame.right()), std::max(0, 4 - frame.bottom()));
    right->setSpacing(GroupMargin);
    right->addLayout(choices, 1);
    right->addWidget(ScrollBox1, 0, Qt::AlignTop);

    placeGroups(GroupBox1, GroupBox2);

    connect(lbTeams, &QListWidget::currentRowChanged, this, Guarded(this, &TFrmCarTextures::lbTeamsClick));
    for (QButtonGroup* group : {textureGroup, displayGroup})
        connect(group, &QButtonGroup::idToggled, this, Guarded([this](int, bool checked) {
                    if (checked)
                        lbTeamsClick();
                }));
    connect(cbStretchImage, &QCheckBox::toggled, this, Guarded(this, &TFrmCarTextures::cbStretchImageClick));
    connect(Selected1, &QAction::triggered, this, Guarded(this, &TFrmCarTextures::Selected1Click));
    connect(AllTeams1, &QAction::triggered, this, Guarded(this, &TFrmCarTextures::AllTeams1Click));
    connect(bbSaveAsTGA, &QPushButton::clicked, this, Guarded(this, &TFrmCarTextures::bbSaveAsTGAClick));
    connect(bbLoadFromTGA, &QPushButton::clicked, this, Guarded(this, &TFrmCarTextures::bbLoadFromTGAClick));
    // A picture file dropped on the livery view is loaded as the load button
    // loads one.
    AcceptFileDrops(
        ScrollBox1->viewport(), [this](const std::string& path) { return TeamLoaded() && IsPictureFile(path); },
        [this](const std::string& path) { LoadPicture(path); });
}

int TFrmCarTextures::TextureIndex() const
{
    for (std::size_t i = 0; i < rbTexture.size(); ++i)
        if (rbTexture[i]->isChecked())
            return static_cast<int>(i);
    return -1;
}

int TFrmCarTextures::DisplayType() const
{
    for (std::size_t i = 0; i < rbDisplay.size(); ++i)
        if (rbDisplay[i]->isChecked())
            return static_cast<int>(i);
    return -1;
}

int TFrmCarTextures::CurrentTeam() const
{
    const int row = lbTeams->currentRow();
    return row >= 0 && row < TeamCount ? row : -1;
}

bool TFrmCarTextures::TeamLoaded() const
{
    const int team = CurrentTeam();
    return team >= 0 && LoadedItems[static_cast<std::size_t>(ItemCarTexturesFirst + team)] != 0;
}

TTEXFile* TFrmCarTextures::CurrentContainer() const
{
    const int team = CurrentTeam();
    const int kind = TextureIndex();
    if (team < 0 || kind < 0 || kind >= CarTextureKinds)
        return nullptr;
    return CarTextureTable[static_cast<std::size_t>(team)][static_cast<std::size_t>(kind)].get();
}

std::string TFrmCarTextures::ProposedTGAName() const
{
    const QListWidgetItem* item = lbTeams->currentItem();
    QString name = item ? item->text() : QString();
    // A name is a file name here: what would make it a path or that no file
    // system takes becomes "_".
    for (QChar& c : name)
        if (QStringLiteral("\\/:*?\"<>|").contains(c) || c.unicode() < 0x20)
            c = QLatin1Char('_');
    return (name + QStringLiteral(" - %1.TGA").arg(TextureIndex() + 1)).toStdString();
}

void TFrmCarTextures::FormShow()
{
    fillTeamList();
}

void TFrmCarTextures::ReloadData()
{
    fillTeamList();
}

void TFrmCarTextures::fillTeamList()
{
    const int row = lbTeams->currentRow();
    {
        const QSignalBlocker block(lbTeams);
        lbTeams->clear();
        for (const TTeamRecord& team : Teams)
            lbTeams->addItem(FromGameText(FieldText(team.TeamName)));
        lbTeams->setCurrentRow(row >= 0 && row < lbTeams->count() ? row : 0);
    }
    updatePicture();
}

void TFrmCarTextures::lbTeamsClick()
{
    updatePicture();
}

void TFrmCarTextures::updatePicture()
{
    const bool loaded = TeamLoaded();
    GroupBox2->setEnabled(loaded);
    lHint->setGeometry(ScrollBox1->viewport()->rect());
    lHint->setVisible(!loaded);
    lHint->raise();
    lTextureSize->setVisible(loaded);
    if (const TTEXFile* shown = loaded ? CurrentContainer() : nullptr)
        lTextureSize->setText(QStringLiteral("Size: %1 x %2").arg(shown->GetHeader(0).Width()).arg(shown->GetHeader(0).Height()));
    else
        lTextureSize->clear();
    const TTEXFile* tex = loaded ? CurrentContainer() : nullptr;
    QImage image;
    if (tex) {
        if (DisplayType() == DisplayAlpha) {
            if (const auto alpha = tex->GetAlphaBitmap(0))
                image = ToOpaqueImage(*alpha);
        } else if (const TPicture* picture = tex->GetBitmap(0)) {
            image = DisplayType() == DisplayCheckerboard ? OverCheckerboard(*picture) : ToOpaqueImage(*picture);
        }
    }
    if (image.isNull()) {
        imgTexture->clear();
        // No scroll range is left behind for a picture that is not there.
        if (!ScrollBox1->widgetResizable())
            imgTexture->resize(0, 0);
    } else {
        imgTexture->setPixmap(QPixmap::fromImage(image));
    }
    cbStretchImageClick();
}

void TFrmCarTextures::cbStretchImageClick()
{
    const bool stretch = cbStretchImage->isChecked();
    imgTexture->setScaledContents(stretch);
    if (!TeamLoaded()) {
        imgTexture->hide();
        return;
    }
    imgTexture->show();
    if (stretch) {
        // The box keeps the picture at its viewport's size.
        ScrollBox1->setWidgetResizable(true);
        return;
    }
    ScrollBox1->setWidgetResizable(false);
    const TTEXFile* tex = CurrentContainer();
    const TTEXTextureHeader header = tex ? tex->GetHeader(0) : TTEXTextureHeader{};
    imgTexture->setGeometry(0, 0, static_cast<int>(header.Width()), static_cast<int>(header.Height()));
}

void TFrmCarTextures::sbImport1Click(QObject* button)
{
    const int team = CurrentTeam();
    if (team < 0)
        return;
    SelectItems({static_cast<std::uint16_t>(ItemCarTexturesFirst + team)});
    runCommand(TagOf(button));
}

void TFrmCarTextures::sbImport2Click(QObject* button)
{
    SetTag(PopupMenu1, TagOf(button));
    PopupMenu1->popup(QCursor::pos());
}

void TFrmCarTextures::Selected1Click()
{
    const int team = CurrentTeam();
    if (team < 0)
        return;
    SelectItems({static_cast<std::uint16_t>(ItemCarTexturesFirst + team)});
    runCommand(TagOf(PopupMenu1));
}

void TFrmCarTextures::AllTeams1Click()
{
    SelectItems({ItemRange, static_cast<std::uint16_t>(ItemCarTexturesFirst),
                 static_cast<std::uint16_t>(ItemCarTexturesFirst + TeamCount - 1)});
    runCommand(TagOf(PopupMenu1));
}

void TFrmCarTextures::runCommand(int tag)
{
    if (tag == CommandExport)
        reportSaved(ExportSelected().Archives);
    else
        RunCommand(tag);
}

void TFrmCarTextures::reportSaved(const std::vector<TAppliedArchive>& applied)
{
    // The export has kept the teams that were loaded.
    std::vector<int> teams;
    for (int team = 0; team < TeamCount; ++team)
        if (SelectedItems[static_cast<std::size_t>(ItemCarTexturesFirst + team)])
            teams.push_back(team);
    if (teams.empty())
        return;
    const TAppliedArchive* cars = nullptr;
    for (const TAppliedArchive& archive : applied)
        if (SameText(ExtractFileName(archive.Archive), "cars.wad"))
            cars = &archive;
    const auto took = [cars](const std::string& member) { return cars && cars->Report.Took(member); };

    std::string written;
    std::string missing;
    for (const int team : teams) {
        std::string kinds;
        for (int kind = 0; kind < CarTextureKinds; ++kind) {
            const std::string high = CarTextureName(team, kind, true);
            const std::string low = CarTextureName(team, kind, false);
            const bool tookHigh = took(high);
            const bool tookLow = took(low);
            if (tookHigh || tookLow)
                kinds += std::string(kinds.empty() ? "" : ", ") + KindCaptions[kind] +
                         (!tookLow ? " (high resolution only)" : !tookHigh ? " (low resolution only)" : "");
            for (const auto& [name, in] : {std::pair{high, tookHigh}, std::pair{low, tookLow}})
                if (!in)
                    missing += "\r\n" + name;
        }
        if (!kinds.empty())
            written += "\r\n" + FromGameText(FieldText(Teams[static_cast<std::size_t>(team)].TeamName)).toStdString() +
                       ": " + kinds;
    }
    std::string text = written.empty() ? "Nothing was written into cars.wad."
                                       : "Written into " + cars->Archive + ":" + written;
    if (!missing.empty())
        text += "\r\n\r\nNot written (cars.wad keeps what it had):" + missing;
    if (cars && !cars->Report.Unused.empty()) {
        text += "\r\n\r\nLeft out, standing for no member of cars.wad:";
        for (const std::string& file : cars->Report.Unused)
            text += "\r\n" + file;
    }
    ShowMessage(text);
}

void TFrmCarTextures::bbSaveAsTGAClick()
{
    TTEXFile* tex = TeamLoaded() ? CurrentContainer() : nullptr;
    if (!tex || !tex->GetBitmap(0))
        return;
    std::string fileName;
    if (ChooseFileToSave(SaveTGAKey, ProposedTGAName(), PictureSaveFilter, fileName) &&
        SavePictureFile(*tex, 0, fileName))
        ShowStatus("Saved " + shownTexture() + " as " + fileName);
}

void TFrmCarTextures::bbLoadFromTGAClick()
{
    if (!TeamLoaded() || !CurrentContainer())
        return;
    std::string fileName;
    if (ChooseFileToOpen(LoadTGAKey, ProposedTGAName(), PictureOpenFilter, fileName))
        LoadPicture(fileName);
}

bool TFrmCarTextures::LoadPicture(const std::string& fileName)
{
    TTEXFile* tex = TeamLoaded() ? CurrentContainer() : nullptr;
    if (!tex)
        return false;
    // The smaller textures are rebuilt from the new texture 0. A refused
    // file leaves the whole container as it was: rebuilding them from the
    // old texture 0 would change them for nothing.
    const bool loaded = LoadPictureFile(*tex, 0, fileName);
    if (loaded) {
        tex->Downsample(2);
        MarkEdited(ItemCarTexturesFirst + CurrentTeam());
        ShowStatus("Loaded " + ExtractFileName(fileName) + " into " + shownTexture() +
                   "; Save To GP4 puts it into the game");
    }
    updatePicture();
    return loaded;
}

std::string TFrmCarTextures::shownTexture() const
{
    const QListWidgetItem* item = lbTeams->currentItem();
    const int kind = TextureIndex();
    return std::string(kind >= 0 && kind < CarTextureKinds ? KindCaptions[kind] : "the texture") + " of " +
           (item ? item->text().toStdString() : std::string("the team"));
}

} // namespace paddock
