#include "app/Main.h"

#include "app/About.h"
#include "app/Application.h"
#include "app/EditorHost.h"
#include "app/ExportImport.h"
#include "app/FileSystem.h"
#include "app/Icons.h"
#include "app/Items.h"
#include "app/Options.h"
#include "app/QtInteraction.h"
#include "app/Settings.h"
#include "app/Tools.h"
#include "diag/FormError.h"
#include "diag/MAPModule.h"
#include "diag/ThrowSite.h"
#include "game/GP4CarTextures.h"
#include "game/GP4Points.h"
#include "game/GP4Teams.h"
#include "ui/EditorCarTextures.h"
#include "ui/EditorControls.h"
#include "ui/EditorForm.h"
#include "ui/EditorGP4.h"
#include "ui/EditorPoints.h"
#include "ui/EditorTEX.h"
#include "ui/EditorTeams.h"
#include "ui/EditorWAD.h"
#include "ui/WindowSize.h"

#include <algorithm>
#include <utility>

#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QDir>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace paddock {

TMainForm* MainForm = nullptr;

namespace {

// A caption without the "&" that marks its access key ("&&" stands for "&").
QString WithoutMnemonic(const QString& caption)
{
    QString text;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        text += caption[i];
    }
    return text;
}

// One line of text that takes the room it is given: a text longer than that
// is shortened in its middle ("...") and shown whole as the tooltip.
class TStatusLabel : public QLabel {
public:
    explicit TStatusLabel(QWidget* parent) : QLabel(parent)
    {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    void SetFullText(const QString& text)
    {
        full_ = text;
        elide();
    }
    const QString& FullText() const { return full_; }

    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide()
    {
        const int room = contentsRect().width() - 2 * margin() - 2;
        const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(0, room));
        setText(shown);
        setToolTip(shown == full_ ? QString() : full_);
    }

    QString full_;
};

} // namespace

TMainForm::TMainForm(const std::string& programPath)
{
    MainForm = this;
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Paddock v1.2 BETA - by the Paddock developers"));
    setWindowIcon(MakeProgramIcon());
    buildMenu();
    buildToolBar();
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusText = new TStatusLabel(StatusBar1);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    StatusBar1->addWidget(StatusText, 1);
    // The strip holds the menu bar above the toolbar and the status line:
    // 705 wide, or as wide as the menu titles need.
    setFixedSize(LaidOutClientSize(*this, QSize(705, 0)).expandedTo(QSize(menuBar()->sizeHint().width(), 0)));

    // WAD, TEX and GP4 files dropped on the window open in their workshops.
    setAcceptDrops(true);

    if (auto* app = qobject_cast<TApplication*>(QCoreApplication::instance()))
        app->setExceptionHandler(
            [this](std::exception_ptr error, std::uintptr_t address) { ApplicationEvents1Exception(error, address); });
    SetEditorHost(this);

    FormCreate(programPath);
}

TMainForm::~TMainForm()
{
    if (auto* app = qobject_cast<TApplication*>(QCoreApplication::instance()))
        app->setExceptionHandler({});
    delete editor_;
    editor_ = nullptr;
    if (CurrentEditorHost() == this)
        SetEditorHost(nullptr);
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::buildMenu()
{
    auto action = [this](QMenu* menu, const char* name, const QString& caption) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QLatin1String(name));
        menu->addAction(a);
        return a;
    };
    auto submenu = [](QMenu* parent, const char* name, const QString& caption) {
        QMenu* m = parent->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name) + QStringLiteral("Action"));
        return m;
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    File1 = bar->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    RestoreBackups1 = action(File1, "RestoreBackups1", QStringLiteral("&Restore game files from backups"));
    File1->addSeparator();
    Exit1 = action(File1, "Exit1", QStringLiteral("&Exit"));

    Editors1 = bar->addMenu(QStringLiteral("&Editors"));
    Editors1->setObjectName(QStringLiteral("Editors1"));
    General1 = submenu(Editors1, "General1", QStringLiteral("&General"));
    Teamsanddrivers1 = action(General1, "Teamsanddrivers1", QStringLiteral("&Teams and drivers"));
    Textures1 = submenu(Editors1, "Textures1", QStringLiteral("&Textures"));
    Cartextures1 = action(Textures1, "Cartextures1", QStringLiteral("&Car textures"));
    Misc1 = submenu(Editors1, "Misc1", QStringLiteral("&Misc"));
    Points1 = action(Misc1, "Points1", QStringLiteral("&Points"));
    Workshops1 = submenu(Editors1, "Workshops1", QStringLiteral("&Workshops"));
    WADWorkshop1 = action(Workshops1, "WADWorkshop1", QStringLiteral("&WAD Workshop"));
    EXWorkshop1 = action(Workshops1, "EXWorkshop1", QStringLiteral("&TEX Workshop"));
    Developer1 = submenu(Editors1, "Developer1", QStringLiteral("Developer"));
    GP4Workshop1 = action(Developer1, "GP4Workshop1", QStringLiteral("GP4 Workshop"));

    Options1 = bar->addMenu(QStringLiteral("&Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    Configure1 = action(Options1, "Configure1", QStringLiteral("&Configure..."));

    Help1 = bar->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    About1 = action(Help1, "About1", QStringLiteral("&About"));

    connect(Cartextures1, &QAction::triggered, this, Guarded([this] { OpenEditor<TFrmCarTextures>(); }));
    connect(Teamsanddrivers1, &QAction::triggered, this, Guarded([this] { OpenEditor<TFrmTeams>(); }));
    connect(Points1, &QAction::triggered, this, Guarded([this] { OpenEditor<TFrmPoints>(); }));
    connect(WADWorkshop1, &QAction::triggered, this, Guarded([this] { OpenEditor<TFrmWADWorkshop>(); }));
    connect(EXWorkshop1, &QAction::triggered, this, Guarded([this] { OpenEditor<TFrmTEXWorkshop>(); }));
    connect(GP4Workshop1, &QAction::triggered, this, Guarded([this] { OpenEditor<TFrmGP4Workshop>(); }));

    connect(RestoreBackups1, &QAction::triggered, this, Guarded(this, &TMainForm::RestoreBackups1Click));
    connect(Exit1, &QAction::triggered, this, Guarded(this, &TMainForm::Exit1Click));
    connect(Configure1, &QAction::triggered, this, Guarded(this, &TMainForm::Configure1Click));
    connect(About1, &QAction::triggered, this, Guarded(this, &TMainForm::About1Click));
}

void TMainForm::buildToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(18, 18));
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    setContextMenuPolicy(Qt::NoContextMenu);

    auto button = [this](const char* name, QAction* item, ToolIcon icon) {
        item->setIcon(MakeToolIcon(icon));
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QLatin1String(name));
        b->setDefaultAction(item);
        b->setFixedSize(25, 24);
        b->setAutoRaise(true);
        ToolBar1->addWidget(b);
        return b;
    };
    ToolButton8 = button("ToolButton8", Teamsanddrivers1, ToolIcon::TeamsAndDrivers);
    ToolBar1->addSeparator();
    ToolButton7 = button("ToolButton7", Cartextures1, ToolIcon::CarTextures);
    ToolBar1->addSeparator();
    ToolButton3 = button("ToolButton3", WADWorkshop1, ToolIcon::WADWorkshop);
    ToolButton4 = button("ToolButton4", EXWorkshop1, ToolIcon::TEXWorkshop);
    ToolBar1->addSeparator();
    ToolButton2 = button("ToolButton2", Configure1, ToolIcon::Configure);
}

void TMainForm::FormCreate(const std::string& programPath)
{
    // The system's own separators: "C:\Games\Paddock\" on Windows.
    SetProgramPaths(programPath.empty() ? ToStdString(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()))
                                        : programPath);
    // A working folder that is still there was left by a run that did not
    // end: its staged files were never flushed and may not be whole, so
    // nothing of it goes into the game. A folder that cannot be made is not
    // reported here; what writes into it later fails then.
    DeleteTree(Settings.TempPath);
    ForceDirectories(Settings.TempPath);
    ForceDirectories(Settings.ExportPath);
    // Ended by a signal, the program leaves neither its working folder nor
    // a file it was writing beside its target.
    CleanUpOnSignals(Settings.TempPath);

    // Default data until the user loads from the game.
    InitTeams();
    ClearCarTextures();
    PointsTable.fill(0);

    ClearItems(LoadedItems);

    // No failure of the start-up ends the program unseen: each is reported,
    // and one that leaves the game folder unchecked leads to the Options
    // window as a failed check does.
    try {
        LoadSettings();
    } catch (...) {
        ShowErrorReport(std::current_exception(), CurrentThrowAddress());
    }
    Developer1->menuAction()->setVisible(AccessMode >= AccessDeveloper);

    bool gameFound = false;
    try {
        gameFound = CheckGamePath(Settings.GamePath, ExtractFileName(Settings.GameExePath));
    } catch (...) {
        ShowErrorReport(std::current_exception(), CurrentThrowAddress());
    }
    if (!gameFound && !ShowOptions(this)) {
        ShowMessage("Paddock cannot be run without specifying GP4 path.");
        terminated_ = true;
        QCoreApplication::quit();
    }

    // Last, whatever the check found: the debug information from the link map.
    try {
        PrepareDebugInfo(true);
    } catch (...) {
        ShowErrorReport(std::current_exception(), CurrentThrowAddress());
    }
}

int TMainForm::CentredTop(int areaTop, int areaHeight, int mainHeight, int editorHeight)
{
    return areaTop + std::max(0, (areaHeight - (mainHeight + editorHeight)) / 2);
}

QRect TMainForm::ScreenArea() const
{
    const QScreen* s = screen();
    return s ? s->availableGeometry() : QRect();
}

QSize TMainForm::frameExtra() const
{
    return frameGeometry().size() - size();
}

QSize TMainForm::editorFrameSize() const
{
    if (!editor_)
        return {};
    // Before the window system has framed the editor, its frame is taken to
    // be as large as the main window's.
    const QSize own = editor_->frameGeometry().size();
    return own != editor_->size() ? own : editor_->size() + frameExtra();
}

QSize TMainForm::EditorRoom() const
{
    const QRect area = ScreenArea();
    if (!area.isValid())
        return {};
    const QSize frame = frameExtra();
    return QSize(std::max(1, area.width() - frame.width()),
                 std::max(1, area.height() - frameGeometry().height() - frame.height()));
}

void TMainForm::placeWithEditor()
{
    const QRect area = ScreenArea();
    if (editor_ && area.isValid()) {
        const QSize editor = editorFrameSize();
        QPoint at = pos();
        const int bottom = at.y() + frameGeometry().height() + editor.height();
        if (bottom > area.bottom() + 1)
            at.setY(std::max(area.top(), area.bottom() + 1 - frameGeometry().height() - editor.height()));
        const int right = at.x() + std::max(frameGeometry().width(), editor.width());
        if (right > area.right() + 1)
            at.setX(std::max(area.left(), area.right() + 1 - std::max(frameGeometry().width(), editor.width())));
        at.setY(std::max(at.y(), area.top()));
        if (at != pos())
            move(at);
    }
    dockEditor();
}

bool TMainForm::event(QEvent* e)
{
    const bool handled = QMainWindow::event(e);
    if (e->type() == QEvent::WindowActivate) {
        FormActivate();
        // The window system may frame the main window only after the first
        // docking, which then left the editor over the window's bottom.
        if (!closing_)
            dockEditor();
    }
    return handled;
}

void TMainForm::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    // Some window systems never activate a window by themselves.
    if (firstActivation_)
        QTimer::singleShot(0, this, Guarded(this, &TMainForm::FormActivate));
}

void TMainForm::FormActivate()
{
    if (!firstActivation_ || terminated_)
        return;
    firstActivation_ = false;

    for (int n = 1; n <= 25; ++n) {
        auto* b = findChild<QToolButton*>(QStringLiteral("ToolButton%1").arg(n));
        if (b && b->defaultAction()) {
            // The hint is the menu item's caption without the mark of its
            // access key.
            const QString hint = WithoutMnemonic(b->defaultAction()->text());
            b->defaultAction()->setToolTip(hint);
            b->setToolTip(hint);
        }
    }

    OpenEditor<TFrmTeams>();
    // The main window and the editor below it, centred together.
    const QRect area = ScreenArea();
    if (area.isValid())
        move(pos().x(), CentredTop(area.top(), area.height(), frameGeometry().height(), editorFrameSize().height()));
    placeWithEditor();

    if (!openAtStart_.empty()) {
        const std::string path = std::exchange(openAtStart_, {});
        try {
            OpenInWorkshop(path);
        } catch (...) {
            ReportCurrentException();
        }
    }
}

void TMainForm::dockEditor()
{
    if (editor_)
        editor_->move(pos().x(), pos().y() + frameGeometry().height());
}

void TMainForm::OpenEditor(const QMetaObject& editorClass, const std::function<TEditorForm*(QWidget*)>& create)
{
    if (editor_ && editor_->metaObject() == &editorClass)
        return;
    CloseEditor();
    editor_ = create(this);
    // The editor takes no more than the screen has room for below the main
    // window; the main window moves where that keeps the editor on screen.
    editor_->SetRoom(EditorRoom());
    placeWithEditor();
    editor_->show();
}

void TMainForm::CloseEditor()
{
    if (!editor_)
        return;
    TEditorForm* editor = editor_;
    editor->hide();
    editor_ = nullptr;
    delete editor;
}

void TMainForm::StoreEdits()
{
    if (editor_)
        editor_->StoreEdits();
}

void TMainForm::ReloadData()
{
    if (editor_)
        editor_->ReloadData();
}

void TMainForm::ShowStatus(const std::string& text)
{
    static_cast<TStatusLabel*>(StatusText)->SetFullText(ToQString(text));
}

QString TMainForm::StatusLine() const
{
    return static_cast<const TStatusLabel*>(StatusText)->FullText();
}

bool TMainForm::OpenInWorkshop(const std::string& path)
{
    const std::string ext = ExtractFileExt(path);
    if (SameText(ext, ".wad")) {
        OpenEditor<TFrmWADWorkshop>();
        static_cast<TFrmWADWorkshop*>(editor_)->LoadWAD(path);
        return true;
    }
    if (SameText(ext, ".tex")) {
        OpenEditor<TFrmTEXWorkshop>();
        return static_cast<TFrmTEXWorkshop*>(editor_)->LoadTEX(path);
    }
    if (SameText(ext, ".gp4")) {
        if (AccessMode < AccessDeveloper) {
            ShowMessage("GP4 meshes open in the GP4 Workshop of the developer mode (AccessMode=DEVELOPER in "
                        "Paddock.INI): " + path);
            return false;
        }
        OpenEditor<TFrmGP4Workshop>();
        static_cast<TFrmGP4Workshop*>(editor_)->LoadGP4(path);
        return true;
    }
    ShowErrorMessage("Paddock opens WAD archives (.wad), TEX files (.tex) and GP4 meshes (.gp4) in its workshops, "
                     "and " + path + " is none of them");
    return false;
}

void TMainForm::dragEnterEvent(QDragEnterEvent* e)
{
    if (IsWorkshopFileName(DroppedFile(e->mimeData())))
        e->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* e)
{
    const std::string path = DroppedFile(e->mimeData());
    if (!IsWorkshopFileName(path))
        return;
    e->acceptProposedAction();
    try {
        OpenInWorkshop(path);
    } catch (...) {
        ReportCurrentException();
    }
}

void TMainForm::moveEvent(QMoveEvent* e)
{
    QMainWindow::moveEvent(e);
    if (!closing_)
        dockEditor();
}

void TMainForm::endProgram()
{
    CloseEditor();
    // Settings that cannot be written (a program folder without write
    // access) are reported; the end goes on all the same.
    try {
        SaveSettings();
    } catch (...) {
        ShowErrorReport(std::current_exception(), CurrentThrowAddress());
    }
    DeleteTree(Settings.TempPath);
    closing_ = true;
}

void TMainForm::RestoreBackups1Click()
{
    const std::vector<TGameBackup> backups = GameBackups();
    if (backups.empty()) {
        ShowMessage("There are no backups of the game's files in " + Settings.GamePath +
                    ". They are made when something is first saved into the game.");
        return;
    }
    std::string text = "Put these files of the game back as their backups hold them?\r\n";
    std::string names;
    for (std::size_t i = 0; i < backups.size(); ++i) {
        text += "\r\n" + ExtractFileName(backups[i].File) + " from " + ExtractFileName(backups[i].Backup);
        names += (i == 0 ? "" : i + 1 == backups.size() ? " and " : ", ") + ExtractFileName(backups[i].File);
    }
    text += "\r\n\r\nWhat was saved into them since the backups were made is lost.";
    if (!Interaction().question(text, QuestionKind::Confirmation))
        return;
    RestoreGameBackups();
    // The editors show what the game holds now.
    if (std::any_of(LoadedItems.begin(), LoadedItems.end(), [](std::uint8_t f) { return f != 0; })) {
        SelectedItems = LoadedItems;
        ImportSelected();
    }
    const std::string restored = "Restored " + names + " from " + (backups.size() == 1 ? "its backup" : "their backups");
    ShowStatus(restored);
    ShowMessage(restored + ".");
}

bool TMainForm::confirmClose()
{
    // What the open editor still holds in its fields counts too.
    StoreEdits();
    const TItemSet unsaved = UnsavedItems();
    if (std::none_of(unsaved.begin(), unsaved.end(), [](std::uint8_t f) { return f != 0; }))
        return true;
    switch (Interaction().questionWithCancel("Save your changes into the game before closing?\r\n\r\nNot saved yet: " +
                                             DescribeItems(unsaved) + ".")) {
    case Answer::Cancel:
        return false;
    case Answer::No:
        return true;
    case Answer::Yes:
        break;
    }
    SelectedItems = unsaved;
    try {
        ExportSelected();
    } catch (...) {
        // The program stays, with the edits, and the report says why.
        ReportCurrentException();
        return false;
    }
    return true;
}

void TMainForm::Exit1Click()
{
    if (!closing_) {
        if (!confirmClose())
            return;
        endProgram();
    }
    QCoreApplication::quit();
}

void TMainForm::closeEvent(QCloseEvent* e)
{
    if (!closing_ && !terminated_) {
        if (!confirmClose()) {
            e->ignore();
            return;
        }
        endProgram();
    }
    e->accept();
}

void TMainForm::Configure1Click()
{
    ShowOptions(this);
}

void TMainForm::About1Click()
{
    TFrmAbout about(this);
    QtModal modal(about);
    Interaction().runModal(modal);
}

void TMainForm::ApplicationEvents1Exception(std::exception_ptr error, std::uintptr_t address)
{
    ShowErrorReport(error, address);
}

} // namespace paddock
