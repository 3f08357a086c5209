#include "ui/EditorGP4.h"

#include "app/Application.h"
#include "app/EditorHost.h"
#include "app/Icons.h"
#include "app/QtInteraction.h"
#include "app/Tools.h"
#include "formats/GP4GP4.h"
#include "formats/GP4MeshText.h"
#include "ui/EditorControls.h"
#include "ui/WindowSize.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTextDocument>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <exception>

namespace paddock {

namespace {

const char* const GP4Filter = "GP4-Files|*.GP4";
const char* const Filter3DS = "3DS-Files|*.3DS";

// ---- Drawing --------------------------------------------------------------

// A corner's mark: a disc of 4 x 4 pixels with a black rim, filled red, in a
// box of 5 x 5 around the corner. Transparent pixels are 0.
const QImage& cornerMark()
{
    static const QImage mark = [] {
        QImage image(5, 5, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setPen(Qt::black);
        painter.setBrush(Qt::red);
        painter.drawEllipse(QRect(0, 0, 4, 4));
        return image;
    }();
    return mark;
}

class TCanvas {
public:
    explicit TCanvas(QImage& picture)
        : bits_(reinterpret_cast<QRgb*>(picture.bits())), stride_(picture.bytesPerLine() / 4), width_(picture.width()),
          height_(picture.height())
    {
    }

    void Pixel(int x, int y, QRgb colour)
    {
        if (x >= 0 && y >= 0 && x < width_ && y < height_)
            bits_[static_cast<std::ptrdiff_t>(y) * stride_ + x] = colour;
    }

    // A one-pixel line between two picture points, clipped to the picture
    // first, so that points far outside cost no more than points inside.
    void Line(TGP4Projection::Point a, TGP4Projection::Point b, QRgb colour)
    {
        // Most lines lie inside the picture: they need no clipping and no
        // check of their pixels.
        const bool inside = contains(a) && contains(b);
        if (!inside && !clip(a, b))
            return;
        int x0 = static_cast<int>(std::lround(a.X)), y0 = static_cast<int>(std::lround(a.Y));
        const int x1 = static_cast<int>(std::lround(b.X)), y1 = static_cast<int>(std::lround(b.Y));
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        int error = dx + dy;
        for (;;) {
            if (inside)
                bits_[static_cast<std::ptrdiff_t>(y0) * stride_ + x0] = colour;
            else
                Pixel(x0, y0, colour);
            if (x0 == x1 && y0 == y1)
                return;
            const int e2 = 2 * error;
            if (e2 >= dy) {
                error += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                error += dx;
                y0 += sy;
            }
        }
    }

    void Mark(TGP4Projection::Point at)
    {
        if (at.X < -3 || at.Y < -3 || at.X > width_ + 3 || at.Y > height_ + 3)
            return;
        const QImage& mark = cornerMark();
        const int left = static_cast<int>(at.X) - 2, top = static_cast<int>(at.Y) - 2;
        for (int y = 0; y < mark.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(mark.constScanLine(y));
            for (int x = 0; x < mark.width(); ++x)
                if (qAlpha(line[x]) >= 128)
                    Pixel(left + x, top + y, line[x] | 0xFF000000u);
        }
    }

private:
    bool contains(TGP4Projection::Point p) const
    {
        return p.X >= 0 && p.Y >= 0 && p.X <= width_ - 1 && p.Y <= height_ - 1;
    }

    // Liang-Barsky: cuts the segment to the picture; false when none of it
    // lies inside.
    bool clip(TGP4Projection::Point& a, TGP4Projection::Point& b) const
    {
        const double dx = b.X - a.X, dy = b.Y - a.Y;
        double t0 = 0, t1 = 1;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {a.X, width_ - 1 - a.X, a.Y, height_ - 1 - a.Y};
        for (int k = 0; k < 4; ++k) {
            if (p[k] == 0) {
                if (q[k] < 0)
                    return false;
                continue;
            }
            const double t = q[k] / p[k];
            if (p[k] < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
            if (t0 > t1)
                return false;
        }
        const TGP4Projection::Point from = a;
        a = {from.X + t0 * dx, from.Y + t0 * dy};
        b = {from.X + t1 * dx, from.Y + t1 * dy};
        return true;
    }

    QRgb* bits_;
    std::ptrdiff_t stride_;
    int width_, height_;
};

QFont smallRedFont()
{
    QFont font = QApplication::font();
    font.setPointSize(6);
    return font;
}

// ---- Texts ----------------------------------------------------------------

// The core's lines of the mesh, its names in the game's code page.
QStringList lines(const std::vector<std::string>& texts)
{
    QStringList result;
    for (const std::string& text : texts)
        result << FromGameText(text);
    return result;
}

QPlainTextEdit* makeMemo(QWidget* parent, const char* name)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QLatin1String(name));
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setMinimumSize(60, 60);
    return memo;
}

QListWidget* makeList(QWidget* parent, const char* name)
{
    auto* list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setMinimumSize(60, 60);
    return list;
}

// A group box holding one control, with an optional label above it.
QGroupBox* boxed(QWidget* parent, const char* name, const QString& title, QWidget* content,
                 const QString& label = {})
{
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(2);
    if (!label.isEmpty())
        layout->addWidget(new QLabel(label, box));
    content->setParent(box);
    layout->addWidget(content, 1);
    return box;
}

void setLines(QPlainTextEdit* memo, const QStringList& lines)
{
    memo->setPlainText(lines.join(QLatin1Char('\n')));
}

} // namespace

// ---------------------------------------------------------------------------

std::string DrawGP4Wireframe(QImage& picture, const TGP4File* mesh, const std::vector<int>& shapes,
                             const TGP4Projection& projection, bool points, bool numbers)
{
    picture.fill(Qt::white);
    if (!mesh || shapes.empty() || picture.isNull())
        return {};
    if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    TCanvas canvas(picture);
    const QRgb black = qRgb(0, 0, 0);
    const std::vector<TGP4Projection::Point> screen = projection.ProjectAll(mesh->Vertices);
    std::vector<int> markedFor(mesh->Vertices.size(), -1);
    std::vector<std::int32_t> marked;
    TGP4ShapeWalk skipped;
    QPainter painter;
    for (int s : shapes) {
        const TGP4ShapeWalk walk = mesh->WalkShape(s);
        skipped.AddSkipped(walk);
        marked.clear();
        for (std::int32_t p : walk.Polygons) {
            const auto& corners = mesh->Polygons[static_cast<std::size_t>(p)].Corners;
            const auto& p0 = screen[static_cast<std::size_t>(corners[0])];
            const auto& p1 = screen[static_cast<std::size_t>(corners[1])];
            const auto& p2 = screen[static_cast<std::size_t>(corners[2])];
            canvas.Line(p0, p1, black);
            canvas.Line(p1, p2, black);
            canvas.Line(p2, p0, black);
            for (std::int32_t c : corners) {
                if (markedFor[static_cast<std::size_t>(c)] != s) {
                    markedFor[static_cast<std::size_t>(c)] = s;
                    marked.push_back(c);
                }
            }
        }
        if (points)
            for (std::int32_t c : marked)
                canvas.Mark(screen[static_cast<std::size_t>(c)]);
        if (numbers && !marked.empty()) {
            if (!painter.isActive()) {
                painter.begin(&picture);
                painter.setFont(smallRedFont());
                painter.setPen(Qt::red);
            }
            for (std::int32_t c : marked) {
                const auto& at = screen[static_cast<std::size_t>(c)];
                if (at.X > -50 && at.Y > -50 && at.X < picture.width() + 50 && at.Y < picture.height() + 50)
                    painter.drawText(QPointF(at.X + 3, at.Y - 3), QString::number(c));
            }
        }
    }
    const std::string note = skipped.Complete() ? std::string() : "Skipped: " + skipped.SkippedText();
    if (!note.empty()) {
        if (!painter.isActive()) {
            painter.begin(&picture);
            painter.setFont(smallRedFont());
            painter.setPen(Qt::red);
        }
        painter.drawText(QRect(2, 2, picture.width() - 4, picture.height() - 4), Qt::TextWordWrap,
                         ToQString(note));
    }
    return note;
}

// ---------------------------------------------------------------------------

TGP4Image::TGP4Image(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGP4Image::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawImage(0, 0, Picture);
}

void TGP4Image::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (Resized)
        Resized();
}

// ---------------------------------------------------------------------------

TFrmGP4Workshop::TFrmGP4Workshop(QWidget* mainWindow)
    : TWorkshopForm(mainWindow, QStringLiteral("GP4 Workshop"), QStringLiteral("FrmGP4Workshop"), QStringLiteral("GP4"))
{
    imgLogo = new QLabel(GroupBox1);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setAlignment(Qt::AlignCenter);
    imgLogo->setPixmap(MakeProgramIcon().pixmap(64, 64));
    if (auto* group = qobject_cast<QVBoxLayout*>(GroupBox1->layout()))
        group->insertWidget(0, imgLogo);
    bbLoadWAD = addGroupButton("bbLoadWAD", QStringLiteral("Load GP4-File"));
    BitBtn2 = addGroupButton("BitBtn2", QStringLiteral("Save as 3DS"));

    auto* dataPage = new QVBoxLayout(TabSheet1);
    dataPage->setContentsMargins(0, 0, 0, 0);
    dataPage->addWidget(buildDataPage());
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Preview"));
    auto* previewPage = new QVBoxLayout(TabSheet2);
    previewPage->setContentsMargins(0, 0, 0, 0);
    previewPage->addWidget(buildPreviewPage());

    connect(bbLoadWAD, &QPushButton::clicked, this, Guarded(this, &TFrmGP4Workshop::bbLoadWADClick));
    connect(BitBtn2, &QPushButton::clicked, this, Guarded(this, &TFrmGP4Workshop::BitBtn2Click));
    connect(ListBox1, &QListWidget::currentRowChanged, this, Guarded(this, &TFrmGP4Workshop::ListBox1Click));
    connect(ListBox2, &QListWidget::currentRowChanged, this, Guarded(this, &TFrmGP4Workshop::ListBox2Click));
    connect(ListBox3, &QListWidget::currentRowChanged, this, Guarded(this, &TFrmGP4Workshop::ListBox3Click));
    // Every change of the preview's controls redraws it at once.
    connect(BitBtn1, &QPushButton::clicked, this, Guarded(this, &TFrmGP4Workshop::BitBtn1Click));
    connect(CheckListBox1, &QListWidget::itemChanged, this, Guarded(this, &TFrmGP4Workshop::BitBtn1Click));
    connect(CheckBox1, &QCheckBox::clicked, this, Guarded(this, &TFrmGP4Workshop::BitBtn1Click));
    connect(CheckBox2, &QCheckBox::clicked, this, Guarded(this, &TFrmGP4Workshop::BitBtn1Click));
    for (QSlider* slider : {TrackBar1, TrackBar2, TrackBar3, TrackBar4, TrackBar5})
        connect(slider, &QSlider::valueChanged, this, Guarded(this, &TFrmGP4Workshop::BitBtn1Click));
    for (QScrollBar* bar : {ScrollBar1, ScrollBar2})
        connect(bar, &QScrollBar::valueChanged, this, Guarded(this, &TFrmGP4Workshop::BitBtn1Click));
    Image1->Resized = Guarded([this] { BitBtn1Click(); });

    // 869 x 741 to start with, or more where the texts need it, or what
    // the screen has room for.
    setStartingClientSize(StartingSize);
    fitClientSize();
    FormCreate();
}

TFrmGP4Workshop::~TFrmGP4Workshop() = default;

QWidget* TFrmGP4Workshop::buildDataPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);

    // The header's fields, each with its caption above it, and beside them
    // the four words of the vertices chunk.
    const std::vector<TGP4HeaderField> fields = GP4HeaderFields(TGP4File());
    auto labeled = [this, &fields](QWidget* parent, QGridLayout* grid, int index, int row, int column) {
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(QStringLiteral("LabeledEdit%1").arg(index));
        edit->setReadOnly(true);
        edit->setMinimumWidth(60);
        auto* label = new QLabel(QLatin1String(fields[static_cast<std::size_t>(index - 1)].Caption), parent);
        label->setObjectName(QStringLiteral("LabeledEdit%1Label").arg(index));
        label->setBuddy(edit);
        grid->addWidget(label, 2 * row, column);
        grid->addWidget(edit, 2 * row + 1, column);
        LabeledEdit[static_cast<std::size_t>(index)] = edit;
    };
    auto* top = new QHBoxLayout;
    layout->addLayout(top);
    GroupBox2 = new QGroupBox(QStringLiteral("Header"), page);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto* header = new QGridLayout(GroupBox2);
    header->setContentsMargins(6, 4, 6, 6);
    header->setHorizontalSpacing(6);
    header->setVerticalSpacing(1);
    // In the order of their captions: Unknown5 (LabeledEdit9) before NumShapes
    // (LabeledEdit8).
    for (int k = 0; k < 13; ++k)
        labeled(GroupBox2, header, static_cast<int>(GP4HeaderOrder[k]) + 1, k / 4, k % 4);
    top->addWidget(GroupBox2, 4);
    auto* vertexWords = new QWidget(page);
    vertexWords->setObjectName(QStringLiteral("VertexWords"));
    auto* vertexGrid = new QGridLayout(vertexWords);
    vertexGrid->setContentsMargins(0, 12, 0, 0);
    vertexGrid->setHorizontalSpacing(6);
    vertexGrid->setVerticalSpacing(1);
    for (int k = 0; k < 4; ++k)
        labeled(vertexWords, vertexGrid, 14 + k, k / 2, k % 2);
    vertexGrid->setRowStretch(4, 1);
    top->addWidget(vertexWords, 2);

    // Shapes and their runs.
    auto* middle = new QHBoxLayout;
    layout->addLayout(middle, 3);
    ListBox1 = makeList(page, "ListBox1");
    Memo1 = makeMemo(page, "Memo1");
    ListBox3 = makeList(page, "ListBox3");
    Memo4 = makeMemo(page, "Memo4");
    Memo5 = makeMemo(page, "Memo5");
    middle->addWidget(boxed(page, "GroupBox3", QStringLiteral("Shape Selection"), ListBox1), 3);
    middle->addWidget(boxed(page, "GroupBox4", QStringLiteral("Shape HEader"), Memo1), 2);
    middle->addWidget(boxed(page, "GroupBox5", QStringLiteral("u16 indices"), ListBox3), 1);
    middle->addWidget(boxed(page, "GroupBox6", QStringLiteral("Unknown16"), Memo4, QStringLiteral("Unknowns")), 2);
    middle->addWidget(boxed(page, "GroupBox7", QStringLiteral("Unknown21"), Memo5, QStringLiteral("Unknowns")), 2);

    // Materials, textures and the chunk log.
    auto* bottom = new QHBoxLayout;
    layout->addLayout(bottom, 2);
    ListBox2 = makeList(page, "ListBox2");
    Memo3 = makeMemo(page, "Memo3");
    Memo2 = makeMemo(page, "Memo2");
    Memo6 = makeMemo(page, "Memo6");
    // Wide enough for a whole log line beside a scroll bar.
    Memo6->setMinimumWidth(Memo6->fontMetrics().horizontalAdvance(QStringLiteral("00000028@ 000001A4")) +
                           Memo6->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * Memo6->frameWidth() +
                           2 * static_cast<int>(Memo6->document()->documentMargin()) + 4);
    bottom->addWidget(boxed(page, "GroupBox8", QStringLiteral("Material selection"), ListBox2), 3);
    bottom->addWidget(boxed(page, "GroupBox9", QStringLiteral("Material data"), Memo3), 2);
    bottom->addWidget(boxed(page, "GroupBox10", QStringLiteral("Textures"), Memo2), 2);
    bottom->addWidget(boxed(page, "GroupBox11", QStringLiteral("Chunks"), Memo6), 2);
    return page;
}

QWidget* TFrmGP4Workshop::buildPreviewPage()
{
    auto* page = new QWidget;
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);

    // The picture with its shift bars below and to the right.
    auto* picture = new QGridLayout;
    picture->setSpacing(0);
    layout->addLayout(picture, 1);
    Image1 = new TGP4Image(page);
    Image1->setObjectName(QStringLiteral("Image1"));
    // 481 x 545 in a window of the starting size; less where the screen has
    // less room.
    Image1->setMinimumSize(160, 160);
    Image1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    picture->addWidget(Image1, 0, 0);
    ScrollBar2 = new QScrollBar(Qt::Vertical, page);
    ScrollBar2->setObjectName(QStringLiteral("ScrollBar2"));
    picture->addWidget(ScrollBar2, 0, 1);
    ScrollBar1 = new QScrollBar(Qt::Horizontal, page);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    picture->addWidget(ScrollBar1, 1, 0);
    for (QScrollBar* bar : {ScrollBar1, ScrollBar2}) {
        bar->setRange(-1000, 1000);
        bar->setValue(0);
    }

    auto* controls = new QVBoxLayout;
    controls->setSpacing(4);
    layout->addLayout(controls);
    CheckListBox1 = makeList(page, "CheckListBox1");
    CheckListBox1->setMinimumWidth(150);
    // As wide as its lines need, at least 150; the picture takes the rest.
    CheckListBox1->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    controls->addWidget(CheckListBox1, 1);
    BitBtn1 = addButton(page, controls, "BitBtn1", QStringLiteral("Redraw"));
    CheckBox1 = new QCheckBox(QStringLiteral("Display PointNumbers"), page);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    controls->addWidget(CheckBox1);
    CheckBox2 = new QCheckBox(QStringLiteral("Display Points"), page);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setChecked(true);
    controls->addWidget(CheckBox2);
    auto slider = [page, controls](const char* name, const QString& caption, int maximum, int start) {
        auto* label = new QLabel(caption, page);
        label->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
        controls->addWidget(label);
        auto* s = new QSlider(Qt::Horizontal, page);
        s->setObjectName(QLatin1String(name));
        // The column is as wide as its texts need; the picture takes the rest.
        s->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        s->setRange(1, maximum);
        s->setValue(start);
        controls->addWidget(s);
        return s;
    };
    TrackBar4 = slider("TrackBar4", QStringLiteral("Zoom 1"), 300, 5);
    TrackBar1 = slider("TrackBar1", QStringLiteral("Zoom 2"), 500, 25);
    TrackBar5 = slider("TrackBar5", QStringLiteral("XY-Adjust"), 600, 25);
    TrackBar2 = slider("TrackBar2", QStringLiteral("XY-Adjust"), 600, 25);
    TrackBar3 = slider("TrackBar3", QStringLiteral("Z-Adjust"), 600, 25);
    return page;
}

void TFrmGP4Workshop::FormCreate()
{
    showNoMesh();
}

void TFrmGP4Workshop::showNoMesh()
{
    mesh_.reset();
    for (QLineEdit* edit : LabeledEdit)
        if (edit)
            edit->clear();
    for (QListWidget* list : {ListBox1, ListBox2, ListBox3, CheckListBox1}) {
        const QSignalBlocker block(list);
        list->clear();
    }
    // The chunk log goes too: a failed load shows only its own.
    for (QPlainTextEdit* memo : {Memo1, Memo2, Memo3, Memo4, Memo5, Memo6})
        memo->clear();
    setPageCaption({});
    BitBtn1Click();
}

void TFrmGP4Workshop::bbLoadWADClick()
{
    std::string fileName;
    if (ChooseFileToOpen("EditorGP4.LoadGP4", "", GP4Filter, fileName))
        LoadGP4(fileName);
}

void TFrmGP4Workshop::LoadGP4(const std::string& fileName)
{
    showNoMesh();
    auto mesh = std::make_unique<TGP4File>();
    mesh->LogSink.Clear = [this] { Memo6->clear(); };
    mesh->LogSink.Add = [this](const std::string& line) { Memo6->appendPlainText(ToQString(line)); };
    // A mesh that cannot be read leaves none behind; the error reaches the
    // report.
    mesh->LoadFromFile(fileName);
    mesh->LogSink = {};
    mesh_ = std::move(mesh);
    fill();
    if (mesh_->Variant != 0) {
        setPageCaption(ToQString(ExtractFileName(fileName)));
        ShowStatus("Loaded " + ExtractFileName(fileName) + ": " + std::to_string(mesh_->Shapes.size()) +
                   (mesh_->Shapes.size() == 1 ? " shape" : " shapes"));
    }
}

void TFrmGP4Workshop::fill()
{
    const TGP4File& m = *mesh_;
    const std::vector<TGP4HeaderField> fields = GP4HeaderFields(m);
    for (std::size_t i = 1; i < LabeledEdit.size(); ++i) {
        LabeledEdit[i]->setText(FromGameText(fields[i - 1].Text));
        LabeledEdit[i]->setCursorPosition(0);
    }

    {
        const QSignalBlocker block(ListBox1);
        for (std::size_t n = 0; n < m.Shapes.size(); ++n)
            ListBox1->addItem(FromGameText(GP4ShapeLine(m, n)));
    }
    {
        const QSignalBlocker block(ListBox2);
        for (std::size_t n = 0; n < m.Materials.size(); ++n)
            ListBox2->addItem(FromGameText(GP4MaterialLine(m, n)));
    }
    setLines(Memo2, lines(m.Textures));

    // One line per shape, which the preview reads as that shape.
    {
        const QSignalBlocker block(CheckListBox1);
        for (std::size_t s = 0; s < m.Shapes.size(); ++s) {
            auto* item = new QListWidgetItem(FromGameText(GP4PreviewLine(m.Shapes[s], static_cast<int>(s))),
                                             CheckListBox1);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            item->setCheckState(Qt::Unchecked);
        }
    }
    BitBtn1Click();
}

void TFrmGP4Workshop::ListBox1Click()
{
    const int row = ListBox1->currentRow();
    {
        const QSignalBlocker block(ListBox3);
        ListBox3->clear();
    }
    Memo4->clear();
    if (!mesh_ || row < 0 || static_cast<std::size_t>(row) >= mesh_->Shapes.size()) {
        Memo1->clear();
        Memo5->clear();
        return;
    }
    const TGP4Shape& shape = mesh_->Shapes[static_cast<std::size_t>(row)];
    setLines(Memo1, lines(GP4ShapeDataLines(shape)));
    {
        const QSignalBlocker block(ListBox3);
        ListBox3->addItems(lines(GP4RunIndexLines(shape)));
    }
    setLines(Memo5, lines(GP4RunListLines(shape)));
}

void TFrmGP4Workshop::ListBox2Click()
{
    const int row = ListBox2->currentRow();
    if (!mesh_ || row < 0 || static_cast<std::size_t>(row) >= mesh_->Materials.size()) {
        Memo3->clear();
        return;
    }
    setLines(Memo3, lines(GP4MaterialDataLines(mesh_->Materials[static_cast<std::size_t>(row)])));
}

void TFrmGP4Workshop::ListBox3Click()
{
    const QListWidgetItem* item = ListBox3->currentItem();
    if (!mesh_ || !item) {
        Memo4->clear();
        return;
    }
    bool ok = false;
    const qlonglong index = item->text().toLongLong(&ok);
    if (!ok) {
        setLines(Memo4, {QStringLiteral("Run %1 is not in the file").arg(item->text())});
        return;
    }
    setLines(Memo4, lines(GP4RunLines(*mesh_, index)));
}

void TFrmGP4Workshop::BitBtn2Click()
{
    if (!mesh_ || mesh_->Variant == 0) {
        ShowErrorMessage("EditorGP4 Error 001: No GP4 file loaded. Load one before saving it as 3DS");
        return;
    }
    std::string fileName;
    if (ChooseFileToSave("EditorGP4.Save3DS", ExtractFileTitle(mesh_->LoadedPath) + ".3DS", Filter3DS, fileName) &&
        mesh_->Save3DS(fileName))
        ShowStatus("Saved " + ExtractFileName(mesh_->LoadedPath) + " as " + fileName);
}

std::vector<int> TFrmGP4Workshop::SelectedShapes() const
{
    std::vector<int> shapes;
    const int count = mesh_ ? static_cast<int>(std::min<std::size_t>(mesh_->Shapes.size(), INT32_MAX)) : 0;
    for (int s = 0; s < count && s < CheckListBox1->count(); ++s)
        if (CheckListBox1->item(s)->checkState() == Qt::Checked)
            shapes.push_back(s);
    return shapes;
}

TGP4Projection TFrmGP4Workshop::CurrentProjection() const
{
    TGP4Projection p = TGP4Projection::FromControls(TrackBar4->value(), TrackBar1->value(), TrackBar5->value(),
                                                    TrackBar2->value(), TrackBar3->value(), ScrollBar1->value(),
                                                    ScrollBar2->value(), Image1->width(), Image1->height());
    if (mesh_) {
        const auto centre = GP4ShapesCentre(*mesh_, SelectedShapes());
        p.CentreX = centre[0];
        p.CentreY = centre[1];
        p.CentreZ = centre[2];
    }
    return p;
}

void TFrmGP4Workshop::BitBtn1Click()
{
    QImage picture(Image1->size(), QImage::Format_RGB32);
    try {
        previewNote_ = DrawGP4Wireframe(picture, mesh_.get(), SelectedShapes(), CurrentProjection(),
                                        CheckBox2->isChecked(), CheckBox1->isChecked());
    } catch (const std::exception& e) {
        // The picture stays as far as it was drawn.
        ShowMessage(e.what());
    }
    Image1->Picture = picture;
    Image1->update();
}

} // namespace paddock
