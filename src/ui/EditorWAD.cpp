#include "ui/EditorWAD.h"

#include "app/Application.h"
#include "app/EditorHost.h"
#include "app/Interaction.h"
#include "app/QtInteraction.h"
#include "app/Tools.h"
#include "formats/CodePage.h"
#include "formats/GP4WAD.h"

#include <QColor>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace paddock {

namespace {

const char* const WADFilter = "WAD-Files|*.WAD";

// "1 file", "70 files".
std::string countOf(int count, const char* thing)
{
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

} // namespace

TFrmWADWorkshop::TFrmWADWorkshop(QWidget* mainWindow)
    : TWorkshopForm(mainWindow, QStringLiteral("WAD Workshop"), QStringLiteral("FrmWADWorkshop"), QStringLiteral("WAD"))
{
    bbLoadWAD = addGroupButton("bbLoadWAD", QStringLiteral("Load WAD-File"));
    bbCreateWADFromDir = addGroupButton("bbCreateWADFromDir", QStringLiteral("Create WAD from directory"));
    Button1 = addGroupButton("Button1", QStringLiteral("Fix WAD File"));

    // The page: the archive's directory above the extraction commands.
    auto* page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(6, 6, 6, 6);
    page->setSpacing(6);

    lvEntries = new QTreeWidget(TabSheet1);
    lvEntries->setObjectName(QStringLiteral("lvEntries"));
    lvEntries->setRootIsDecorated(false);
    lvEntries->setUniformRowHeights(true);
    lvEntries->setSelectionMode(QAbstractItemView::SingleSelection);
    lvEntries->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvEntries->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvEntries->setAllColumnsShowFocus(true);
    lvEntries->setHeaderLabels({QStringLiteral("Index"), QStringLiteral("Filename"), QStringLiteral("Offset"),
                                QStringLiteral("Size")});
    // Index as wide as its caption or the widest index; Offset and Size wide
    // enough for eight hexadecimal digits and at least 75; Filename takes the
    // rest and starts at 290 or more.
    QHeaderView* header = lvEntries->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    QStyleOptionViewItem hexCell;
    hexCell.initFrom(lvEntries);
    hexCell.font = lvEntries->font();
    hexCell.features = QStyleOptionViewItem::HasDisplay;
    hexCell.text = QStringLiteral("00000000");
    const int hexWidth =
        lvEntries->style()->sizeFromContents(QStyle::CT_ItemViewItem, &hexCell, QSize(), lvEntries).width();
    int columnsWidth = header->sectionSizeHint(0) + 290;
    for (int column : {2, 3}) {
        const int width = std::max({75, hexWidth, header->sectionSizeHint(column)});
        lvEntries->setColumnWidth(column, width);
        columnsWidth += width;
    }
    lvEntries->setMinimumWidth(columnsWidth + 2 * lvEntries->frameWidth());
    // The selection stays visible when the list loses the focus.
    QPalette palette = lvEntries->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    lvEntries->setPalette(palette);
    page->addWidget(lvEntries, 1);

    auto* commands = new QHBoxLayout;
    commands->setSpacing(6);
    page->addLayout(commands);
    bbExtractAllFiles = addButton(TabSheet1, commands, "bbExtractAllFiles", QStringLiteral("Extract all files"));
    BitBtn2 = addButton(TabSheet1, commands, "BitBtn2", QStringLiteral("Extract selected"));
    bbReplaceAllFiles = addButton(TabSheet1, commands, "bbReplaceAllFiles", QStringLiteral("Import all files"));
    BitBtn1 = addButton(TabSheet1, commands, "BitBtn1", QStringLiteral("Delete all files"));
    commands->addStretch(1);
    bbReplaceAllFiles->hide();
    BitBtn1->hide();

    connect(bbLoadWAD, &QPushButton::clicked, this, Guarded(this, &TFrmWADWorkshop::bbLoadWADClick));
    connect(bbCreateWADFromDir, &QPushButton::clicked, this, Guarded(this, &TFrmWADWorkshop::bbCreateWADFromDirClick));
    connect(Button1, &QPushButton::clicked, this, Guarded(this, &TFrmWADWorkshop::Button1Click));
    connect(bbExtractAllFiles, &QPushButton::clicked, this, Guarded(this, &TFrmWADWorkshop::bbExtractAllFilesClick));
    connect(BitBtn2, &QPushButton::clicked, this, Guarded(this, &TFrmWADWorkshop::BitBtn2Click));
    connect(bbReplaceAllFiles, &QPushButton::clicked, this, Guarded(this, &TFrmWADWorkshop::bbReplaceAllFilesClick));
    connect(BitBtn1, &QPushButton::clicked, this, Guarded(this, &TFrmWADWorkshop::bbReplaceAllFilesClick));

    fitClientSize();
    FormCreate();
}

TFrmWADWorkshop::~TFrmWADWorkshop() = default;

void TFrmWADWorkshop::FormCreate()
{
    showNoArchive();
}

void TFrmWADWorkshop::showNoArchive()
{
    wad_.reset();
    lvEntries->clear();
    setPageCaption({});
}

void TFrmWADWorkshop::listEntries()
{
    lvEntries->clear();
    if (!wad_)
        return;
    QList<QTreeWidgetItem*> items;
    for (const TWADListRow& row : wad_->ListEntries()) {
        auto* item = new QTreeWidgetItem(
            {ToQString(row.Index), ToQString(row.Name), ToQString(row.Offset), ToQString(row.Size)});
        if (row.Outside) {
            // Listed, but its bytes cannot be read: say so where it shows.
            for (int column = 0; column < item->columnCount(); ++column) {
                item->setForeground(column, QColor(Qt::red));
                item->setToolTip(column, QStringLiteral("This member lies outside the file: it cannot be read or "
                                                        "extracted."));
            }
        }
        items.append(item);
    }
    lvEntries->addTopLevelItems(items);
}

void TFrmWADWorkshop::bbLoadWADClick()
{
    std::string fileName;
    if (ChooseFileToOpen("EditorWAD.LoadWAD", "", WADFilter, fileName))
        LoadWAD(fileName);
}

void TFrmWADWorkshop::LoadWAD(const std::string& fileName)
{
    showNoArchive();
    auto wad = std::make_unique<TWADFile>(fileName);
    // A directory that cannot be read leaves no archive behind: nothing can be
    // extracted from it, and the error reaches the report.
    wad->ReadDirectory();
    wad_ = std::move(wad);
    listEntries();
    setPageCaption(ToQString(ExtractFileName(fileName)));
    ShowStatus("Loaded " + ExtractFileName(fileName) + ": " + countOf(wad_->Count, "member"));
}

void TFrmWADWorkshop::bbExtractAllFilesClick()
{
    if (!wad_) {
        ShowErrorMessage("No WAD file loaded");
        return;
    }
    const std::string name = ExtractFileName(wad_->FileName);
    std::string folder;
    if (!ChooseFolder("EditorWAD.ExtractAll", "Extract all files of " + name + " into", ExtractFilePath(wad_->FileName),
                      folder))
        return;
    int written = 0;
    {
        const auto progress = Interaction().showProgress({"Extracting " + name + "...", wad_->Count, false, 0, 0});
        written = wad_->ExtractAll(folder, [&progress](const std::string& member) { progress->step(member); });
    }
    ShowStatus("Extracted " + (written == wad_->Count ? countOf(written, "file") :
                                                        std::to_string(written) + " of " + countOf(wad_->Count, "file")) +
               " of " + name + " into " + folder);
}

void TFrmWADWorkshop::BitBtn2Click()
{
    if (!wad_)
        return;
    const int row = lvEntries->currentItem() ? lvEntries->indexOfTopLevelItem(lvEntries->currentItem()) : -1;
    if (row < 0 || row >= wad_->Count || !lvEntries->currentItem()->isSelected())
        return;
    // The last level of the member's name, which separates levels with "\",
    // as a file name: through the code page.
    const std::string name = wad_->Entries[static_cast<std::size_t>(row)].NameString();
    const std::size_t cut = name.find_last_of("\\/");
    const std::string proposed = GameTextToUtf8(cut == std::string::npos ? name : name.substr(cut + 1));
    std::string target;
    if (ChooseFileToSave("EditorWAD.ExtractSelected", proposed, "All files|*.*", target) &&
        wad_->ExtractMember(row, target, false))
        ShowStatus("Extracted " + GameTextToUtf8(name) + " to " + target);
}

void TFrmWADWorkshop::bbCreateWADFromDirClick()
{
    std::string folder;
    if (!ChooseFolder("EditorWAD.CreateFrom", "Pack the files of a folder into a new WAD file", "", folder))
        return;
    std::string target;
    if (!ChooseFileToSave("EditorWAD.CreateWAD", ExtractFileName(RemoveTrailingBackslash(folder)) + ".wad", WADFilter,
                          target))
        return;
    TWADFile archive;
    bool created = false;
    {
        const int files = DirectoryExists(folder) ? static_cast<int>(TWADFile::DirectoryFiles(folder, true).size()) : 0;
        const auto progress =
            Interaction().showProgress({"Creating " + ExtractFileName(target) + "...", files, false, 0, 0});
        created = archive.CreateFromDirectory(target, folder, true,
                                              [&progress](const std::string& file) { progress->step(file); });
    }
    if (created)
        ShowStatus("Created " + target + " with " + countOf(archive.Count, "file") + " of " + folder);
}

void TFrmWADWorkshop::Button1Click()
{
    if (!Interaction().question("Warning! Use this option only if you have edited textures with\r\n"
                                "v1.0 AND encouter problems using car texture editor now. Continue?",
                                QuestionKind::Warning))
        return;
    std::string fileName;
    if (!ChooseFileToOpen("EditorWAD.FixWAD", "", WADFilter, fileName))
        return;
    TWADFile archive(fileName);
    archive.ReadDirectory();
    const auto health = archive.HealthMeasure();
    if (!health) {
        ShowMessage("The WAD file has no entries. There is nothing to repair.");
        return;
    }
    // An archive laid out by the gap rule whose offsets were fixed anyway
    // gets that fix undone rather than another one.
    if (const auto drift = archive.GapRuleDrift(); drift && *drift > 0) {
        if (!Interaction().question("Warning! The WAD file you are trying to fix seems to have been fixed " +
                                        std::to_string(*drift) + (*drift == 1 ? " time" : " times") +
                                        " too often. Undo that? Make a backup first",
                                    QuestionKind::Warning))
            return;
        archive.RepairOffsets(-*drift);
        ShowStatus("Fixed the offsets of " + fileName);
        ShowMessage("WAD file fixed with success");
        return;
    }
    if (*health <= 2 &&
        !Interaction().question("Warning! The WAD file you are trying to fix seems to be OK. Fix anyway? File may "
                                "be corrupted. Make a backup first",
                                QuestionKind::Warning))
        return;
    archive.RepairOffsets();
    ShowStatus("Fixed the offsets of " + fileName);
    ShowMessage("WAD file fixed with success");
}

void TFrmWADWorkshop::bbReplaceAllFilesClick()
{
    if (!wad_)
        return;
    wad_->Clear();
    listEntries();
}

} // namespace paddock
