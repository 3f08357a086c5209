#include "ui/EditorTEX.h"

#include "app/Application.h"
#include "app/EditorHost.h"
#include "app/FrmSequence.h"
#include "app/Interaction.h"
#include "app/QtInteraction.h"
#include "app/Tools.h"
#include "formats/GP4TEX.h"
#include "ui/EditorControls.h"
#include "ui/PictureImage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace paddock {

namespace {

const char* const TEXFilter = "TEX-Files|*.TEX";

// "1 texture", "4 textures".
std::string countOf(int count, const char* thing)
{
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

} // namespace

TFrmTEXWorkshop::TFrmTEXWorkshop(QWidget* mainWindow)
    : TWorkshopForm(mainWindow, QStringLiteral("TEX Workshop"), QStringLiteral("FrmTEXWorkshop"), QStringLiteral("TEX"))
{
    bbLoadTEX = addGroupButton("bbLoadTEX", QStringLiteral("Load TEX-File"));
    bbSaveTEXFile = addGroupButton("bbSaveTEXFile", QStringLiteral("Save TEX-File"));
    bbSaveTEXFileAs = addGroupButton("bbSaveTEXFileAs", QStringLiteral("Save TEX-File as"));

    // The page: the list with its commands on the left, the picture on the right.
    auto* page = new QHBoxLayout(TabSheet1);
    page->setContentsMargins(6, 5, 6, 5);
    page->setSpacing(7);
    auto* commands = new QVBoxLayout;
    commands->setSpacing(4);
    page->addLayout(commands);

    lbTextures = new QListWidget(TabSheet1);
    lbTextures->setObjectName(QStringLiteral("lbTextures"));
    // 141 x 129 to start with; the list is as wide as the buttons below it
    // and takes the height they leave.
    lbTextures->setMinimumSize(141, 129);
    lbTextures->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    commands->addWidget(lbTextures, 1);
    bbExtractAllFiles = addButton(TabSheet1, commands, "bbExtractAllFiles", QStringLiteral("Extract all files"));
    BitBtn2 = addButton(TabSheet1, commands, "BitBtn2", QStringLiteral("Extract selected file"));
    bbReplaceAllFiles = addButton(TabSheet1, commands, "bbReplaceAllFiles", QStringLiteral("Replace all files"));
    BitBtn3 = addButton(TabSheet1, commands, "BitBtn3", QStringLiteral("Replace selected file"));
    BitBtn1 = addButton(TabSheet1, commands, "BitBtn1", QStringLiteral("Downsample textures"));

    rgDisplayType = new QGroupBox(QStringLiteral("Display..."), TabSheet1);
    rgDisplayType->setObjectName(QStringLiteral("rgDisplayType"));
    rbImage = new QRadioButton(QStringLiteral("... image"), rgDisplayType);
    rbImage->setObjectName(QStringLiteral("rgDisplayTypeItem0"));
    rbAlpha = new QRadioButton(QStringLiteral("... alpha channel"), rgDisplayType);
    rbAlpha->setObjectName(QStringLiteral("rgDisplayTypeItem1"));
    // What shows through the texture's transparent parts.
    rbCheckerboard = new QRadioButton(QStringLiteral("... image over\ncheckerboard"), rgDisplayType);
    rbCheckerboard->setObjectName(QStringLiteral("rgDisplayTypeItem2"));
    rbImage->setChecked(true);
    auto* displayGroup = new QButtonGroup(rgDisplayType);
    displayGroup->addButton(rbImage, 0);
    displayGroup->addButton(rbAlpha, 1);
    displayGroup->addButton(rbCheckerboard, 2);
    auto* displayItems = new QVBoxLayout(rgDisplayType);
    displayItems->setContentsMargins(5, 0, 5, 0);
    displayItems->setSpacing(0);
    displayItems->addWidget(rbImage);
    displayItems->addWidget(rbAlpha);
    displayItems->addWidget(rbCheckerboard);
    commands->addWidget(rgDisplayType);

    cbStretchImage = new QCheckBox(QStringLiteral("Stretch Image"), TabSheet1);
    cbStretchImage->setObjectName(QStringLiteral("cbStretchImage"));
    commands->addWidget(cbStretchImage);

    ScrollBox1 = new QScrollArea(TabSheet1);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    // 357 x 357 to start with; the picture takes whatever room the window has.
    ScrollBox1->setMinimumSize(357, 357);
    ScrollBox1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgTEX = new QLabel;
    imgTEX->setObjectName(QStringLiteral("imgTEX"));
    imgTEX->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Stretched, the picture takes the viewport's size whatever its own.
    imgTEX->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imgTEX->resize(0, 0);
    ScrollBox1->setWidget(imgTEX);
    page->addWidget(ScrollBox1, 1);

    connect(bbLoadTEX, &QPushButton::clicked, this, Guarded(this, &TFrmTEXWorkshop::bbLoadTEXClick));
    connect(bbSaveTEXFile, &QPushButton::clicked, this, Guarded(this, &TFrmTEXWorkshop::bbSaveTEXFileClick));
    connect(bbSaveTEXFileAs, &QPushButton::clicked, this, Guarded(this, &TFrmTEXWorkshop::bbSaveTEXFileAsClick));
    connect(lbTextures, &QListWidget::currentRowChanged, this, Guarded(this, &TFrmTEXWorkshop::lbTexturesClick));
    connect(displayGroup, &QButtonGroup::idClicked, this, Guarded(this, &TFrmTEXWorkshop::rgDisplayTypeClick));
    connect(cbStretchImage, &QCheckBox::clicked, this, Guarded(this, &TFrmTEXWorkshop::cbStretchImageClick));
    connect(bbExtractAllFiles, &QPushButton::clicked, this, Guarded(this, &TFrmTEXWorkshop::bbExtractAllFilesClick));
    connect(bbReplaceAllFiles, &QPushButton::clicked, this, Guarded(this, &TFrmTEXWorkshop::bbReplaceAllFilesClick));
    connect(BitBtn1, &QPushButton::clicked, this, Guarded(this, &TFrmTEXWorkshop::BitBtn1Click));
    connect(BitBtn2, &QPushButton::clicked, this, Guarded(this, &TFrmTEXWorkshop::BitBtn2Click));
    connect(BitBtn3, &QPushButton::clicked, this, Guarded(this, &TFrmTEXWorkshop::BitBtn3Click));
    // A picture file dropped on the texture view replaces the texture shown,
    // as "Replace selected file" does.
    AcceptFileDrops(
        ScrollBox1->viewport(),
        [this](const std::string& path) { return tex_ && lbTextures->currentRow() >= 0 && IsPictureFile(path); },
        [this](const std::string& path) { ReplaceTexture(lbTextures->currentRow(), path); });

    fitClientSize();
    FormCreate();
}

TFrmTEXWorkshop::~TFrmTEXWorkshop() = default;

void TFrmTEXWorkshop::FormCreate()
{
    showNoContainer();
}

void TFrmTEXWorkshop::showNoContainer()
{
    tex_.reset();
    lbTextures->clear();
    imgTEX->clear();
    imgTEX->resize(0, 0);
    setPageCaption({});
    PageControl1->setEnabled(false);
    // Nothing to save until a file is loaded.
    bbSaveTEXFile->setEnabled(false);
    bbSaveTEXFileAs->setEnabled(false);
}

void TFrmTEXWorkshop::FillList()
{
    if (!tex_)
        return;
    const QSignalBlocker block(lbTextures);
    lbTextures->clear();
    for (int i = 0; i < static_cast<int>(tex_->Count); ++i) {
        const TTEXTextureHeader header = tex_->GetHeader(i);
        lbTextures->addItem(QStringLiteral("Texture %1: (%2 x %3)").arg(i).arg(header.Width()).arg(header.Height()));
    }
    if (lbTextures->count() > 0)
        lbTextures->setCurrentRow(0);
    lbTexturesClick();
}

void TFrmTEXWorkshop::lbTexturesClick()
{
    const int index = lbTextures->currentRow();
    if (!tex_ || index < 0) {
        imgTEX->clear();
        imgTEX->resize(0, 0);
        return;
    }
    if (rbAlpha->isChecked()) {
        const auto alpha = tex_->GetAlphaBitmap(index);
        imgTEX->setPixmap(alpha ? QPixmap::fromImage(ToOpaqueImage(*alpha)) : QPixmap());
    } else {
        const TPicture* picture = tex_->GetBitmap(index);
        const QImage image =
            !picture ? QImage() : rbCheckerboard->isChecked() ? OverCheckerboard(*picture) : ToOpaqueImage(*picture);
        imgTEX->setPixmap(QPixmap::fromImage(image));
    }
    cbStretchImageClick();
}

void TFrmTEXWorkshop::rgDisplayTypeClick()
{
    lbTexturesClick();
}

void TFrmTEXWorkshop::cbStretchImageClick()
{
    if (cbStretchImage->isChecked()) {
        // The scroll box keeps the picture at its viewport's size, also when
        // the window's layout changes that.
        imgTEX->setScaledContents(true);
        ScrollBox1->setWidgetResizable(true);
        return;
    }
    ScrollBox1->setWidgetResizable(false);
    imgTEX->setScaledContents(false);
    const int index = lbTextures->currentRow();
    if (!tex_ || index < 0)
        return;
    const TTEXTextureHeader header = tex_->GetHeader(index);
    imgTEX->setGeometry(0, 0, static_cast<int>(header.Width()), static_cast<int>(header.Height()));
}

void TFrmTEXWorkshop::bbLoadTEXClick()
{
    std::string fileName;
    if (ChooseFileToOpen("EditorTEX.LoadTEX", "", TEXFilter, fileName))
        LoadTEX(fileName);
}

bool TFrmTEXWorkshop::LoadTEX(const std::string& fileName)
{
    showNoContainer();
    tex_ = std::make_unique<TTEXFile>();
    // The container's messages are shown together with the file's name, in
    // one box.
    TCollectedMessages messages;
    bool loaded = false;
    try {
        TCollectMessages collect(messages);
        loaded = tex_->LoadFromFile(fileName);
    } catch (...) {
        // A file that cannot be read leaves no container behind.
        showNoContainer();
        throw;
    }
    std::string said;
    for (const TCollectedMessages::Message& m : messages.messages)
        said += "\r\n" + m.text;
    if (!loaded) {
        showNoContainer();
        ShowErrorMessage("EditorTEX Error 001: Couldn't load TEX " + fileName + said);
        ShowStatus("Could not load " + fileName);
        return false;
    }
    if (!said.empty())
        ShowErrorMessage("While loading " + fileName + ":" + said);
    setPageCaption(ToQString(ExtractFileName(fileName)));
    PageControl1->setEnabled(true);
    bbSaveTEXFile->setEnabled(true);
    bbSaveTEXFileAs->setEnabled(true);
    FillList();
    ShowStatus("Loaded " + ExtractFileName(fileName) + ": " + countOf(static_cast<int>(tex_->Count), "texture"));
    return true;
}

void TFrmTEXWorkshop::bbSaveTEXFileClick()
{
    if (!tex_)
        return;
    if (Interaction().question("Replace " + tex_->FileName + "?", QuestionKind::Confirmation) &&
        tex_->SaveToFile(tex_->FileName))
        ShowStatus("Saved " + tex_->FileName);
}

void TFrmTEXWorkshop::bbSaveTEXFileAsClick()
{
    if (!tex_)
        return;
    std::string fileName;
    if (ChooseFileToSave("EditorTEX.SaveTEX", "", TEXFilter, fileName) && tex_->SaveToFile(fileName))
        ShowStatus("Saved " + ExtractFileName(tex_->FileName) + " as " + fileName);
}

bool TFrmTEXWorkshop::chooseTGASeries(std::string& mask) const
{
    if (!ChooseSequence(ExtractFilePath(tex_->FileName), ExtractFileTitle(tex_->FileName) + "*.TGA", mask))
        return false;
    return CheckFileMask(ExtractFileName(mask));
}

std::string TFrmTEXWorkshop::seriesText(const std::string& mask) const
{
    const std::string name = ExtractFileName(mask);
    const auto numbered = [&name](int n) { return ReplaceAll(name, "*", std::to_string(n)); };
    const std::string files =
        tex_->Count <= 1 ? numbered(0) : numbered(0) + " to " + numbered(static_cast<int>(tex_->Count) - 1);
    return files + " in " + ExtractFilePath(mask);
}

void TFrmTEXWorkshop::bbExtractAllFilesClick()
{
    if (!tex_)
        return;
    std::string mask;
    if (chooseTGASeries(mask) && tex_->ExportAllTGA(mask))
        ShowStatus("Saved " + countOf(static_cast<int>(tex_->Count), "texture") + " as " + seriesText(mask));
}

void TFrmTEXWorkshop::bbReplaceAllFilesClick()
{
    if (!tex_)
        return;
    std::string mask;
    if (!chooseTGASeries(mask))
        return;
    const bool all = tex_->ImportAllTGA(mask);
    FillList();
    ShowStatus(std::string(all ? "Replaced the textures" : "Replaced some of the textures") + " from " +
               seriesText(mask) + "; save the TEX file to keep them");
}

std::string TFrmTEXWorkshop::proposedTGAName() const
{
    return ExtractFileTitle(tex_->FileName) + std::to_string(lbTextures->currentRow() + 1) + ".TGA";
}

void TFrmTEXWorkshop::BitBtn2Click()
{
    if (!tex_ || lbTextures->currentRow() < 0)
        return;
    const int index = lbTextures->currentRow();
    std::string fileName;
    if (ChooseFileToSave("EditorTEX.ExtractSelected", proposedTGAName(), PictureSaveFilter, fileName) &&
        SavePictureFile(*tex_, index, fileName))
        ShowStatus("Saved texture " + std::to_string(index) + " as " + fileName);
}

void TFrmTEXWorkshop::BitBtn3Click()
{
    if (!tex_ || lbTextures->currentRow() < 0)
        return;
    std::string fileName;
    // The save dialog, so that a name typed without extension gets the
    // chosen kind's extension.
    if (!ChooseFileToSave("EditorTEX.ReplaceSelected", proposedTGAName(), PictureSaveFilter, fileName))
        return;
    ReplaceTexture(lbTextures->currentRow(), fileName);
}

bool TFrmTEXWorkshop::ReplaceTexture(int index, const std::string& fileName)
{
    if (!tex_ || index < 0 || index >= static_cast<int>(tex_->Count))
        return false;
    const bool replaced = LoadPictureFile(*tex_, index, fileName);
    FillList();
    if (replaced)
        ShowStatus("Replaced texture " + std::to_string(index) + " from " + fileName + "; save the TEX file to keep it");
    return replaced;
}

void TFrmTEXWorkshop::BitBtn1Click()
{
    if (!tex_)
        return;
    if (!Interaction().question("Warning: This will replace textures 2 - " + std::to_string(tex_->Count) +
                                    " with a smaller version of texure 1. Continue?",
                                QuestionKind::Warning))
        return;
    if (tex_->Downsample(2) && tex_->Count > 1)
        ShowStatus("Rebuilt textures 2 to " + std::to_string(tex_->Count) +
                   " from texture 1; save the TEX file to keep them");
    lbTexturesClick();
}

} // namespace paddock
