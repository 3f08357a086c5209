#include "ui/EditorPoints.h"

#include "app/Application.h"
#include "app/ExportImport.h"
#include "app/Items.h"
#include "game/GP4Points.h"
#include "ui/EditorControls.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>
#include <cstdint>

namespace paddock {

namespace {

// Positions 1 to 11 in the left column, 12 to 22 in the right one.
constexpr int PositionsPerColumn = 11;

// The predefined sets by the Tag of their buttons; positions not listed get 0.
constexpr std::array<std::array<std::uint8_t, PointsCount>, 4> PredefinedSets{{
    // Formula 1
    {10, 6, 4, 3, 2, 1},
    // CART
    {20, 16, 14, 12, 10, 8, 6, 5, 4, 3, 2, 1},
    // Points for all: position p gets 23 - p.
    {22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
    // Formula 1, the older scale
    {9, 6, 4, 3, 2, 1},
}};

QString fieldName(int position)
{
    return QStringLiteral("sePoints%1").arg(position);
}

} // namespace

TFrmPoints::TFrmPoints(QWidget* mainWindow) : TEditorForm(mainWindow, QStringLiteral("Points"))
{
    setObjectName(QStringLiteral("FrmPoints"));
    setRefuseClose(true);

    // Left: the load and save buttons, in the row the other editors of the
    // game data have below their team list; the row's other buttons have no
    // use here.
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setMinimumWidth(141);
    static_cast<TLoadSaveButtons&>(*this) = MakeLoadSaveButtons(GroupBox1, false);
    QHBoxLayout* buttons = Row;
    // Until the points are loaded, what to do, above the buttons.
    // Lines of their own, as narrow as the group.
    lHint = new QLabel(QStringLiteral("Load the points from\nthe game to edit\nthem: Load, below."), GroupBox1);
    lHint->setObjectName(QStringLiteral("lHint"));
    lHint->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    auto* left = new QVBoxLayout(GroupBox1);
    left->addStretch(1);
    left->addWidget(lHint);
    left->addLayout(buttons);

    // Right: the fields of the 22 positions above the predefined sets.
    GroupBox2 = new QGroupBox(this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));

    GroupBox30 = new QGroupBox(QStringLiteral("Points for position..."), GroupBox2);
    GroupBox30->setObjectName(QStringLiteral("GroupBox30"));
    auto* fields = new QGridLayout(GroupBox30);
    fields->setContentsMargins(6, 2, 6, 4);
    fields->setVerticalSpacing(2);
    fields->setHorizontalSpacing(6);
    for (int position = 1; position <= PointsCount; ++position) {
        const int row = (position - 1) % PositionsPerColumn;
        const int column = (position - 1) / PositionsPerColumn * 3;
        auto* field = new TSpinEdit(0, PointsMax, GroupBox30);
        field->setObjectName(fieldName(position));
        auto* label = new QLabel(QStringLiteral("%1:").arg(position), GroupBox30);
        label->setObjectName(QStringLiteral("Label%1").arg(position));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(field);
        fields->addWidget(label, row, column);
        fields->addWidget(field, row, column + 1);
    }
    // A gap between the two columns, and the room to their right left free.
    fields->setColumnMinimumWidth(2, 24);
    fields->setColumnStretch(5, 1);

    GroupBox5 = new QGroupBox(QStringLiteral("Predefined sets"), GroupBox2);
    GroupBox5->setObjectName(QStringLiteral("GroupBox5"));
    auto makeSetButton = [this](const char* name, const QString& caption, int tag) {
        auto* b = new QPushButton(caption, GroupBox5);
        b->setObjectName(QLatin1String(name));
        SetTag(b, tag);
        connect(b, &QPushButton::clicked, this, Guarded([this, b] { Button1Click(b); }));
        return b;
    };
    Button1 = makeSetButton("Button1", QStringLiteral("Formula 1"), 0);
    Button40 = makeSetButton("Button40", QStringLiteral("Formula 1 Old"), 3);
    Button2 = makeSetButton("Button2", QStringLiteral("CART"), 1);
    Button3 = makeSetButton("Button3", QStringLiteral("Points for all"), 2);
    auto* firstRow = new QHBoxLayout;
    firstRow->addWidget(Button1);
    firstRow->addWidget(Button40);
    firstRow->addWidget(Button2);
    firstRow->addStretch();
    auto* secondRow = new QHBoxLayout;
    secondRow->addWidget(Button3);
    secondRow->addStretch();
    auto* sets = new QVBoxLayout(GroupBox5);
    sets->setContentsMargins(6, 2, 6, 4);
    sets->setSpacing(3);
    sets->addLayout(firstRow);
    sets->addLayout(secondRow);

    // Margins that leave the 22 fields and the sets room in the starting
    // height of the window.
    auto* right = new QVBoxLayout(GroupBox2);
    right->setContentsMargins(4, 0, 4, 3);
    right->setSpacing(3);
    right->addWidget(GroupBox30);
    right->addWidget(GroupBox5);
    right->addStretch(1);

    placeGroups(GroupBox1, GroupBox2);

    connect(sbImport1, &QToolButton::clicked, this, Guarded(this, &TFrmPoints::sbImport1Click));
    connect(sbExport1, &QToolButton::clicked, this, Guarded(this, &TFrmPoints::sbExport1Click));
}

TSpinEdit* TFrmPoints::PointsField(int position) const
{
    return findChild<TSpinEdit*>(fieldName(position));
}

void TFrmPoints::storeFields() const
{
    for (int position = 1; position <= PointsCount; ++position)
        if (const TSpinEdit* field = PointsField(position))
            PointsTable[position - 1] = static_cast<std::uint8_t>(field->StoredValue());
}

void TFrmPoints::showTable()
{
    for (int position = 1; position <= PointsCount; ++position)
        if (TSpinEdit* field = PointsField(position))
            field->setValue(PointsTable[position - 1]);
    lHint->setVisible(!LoadedItems[ItemPoints]);
}

void TFrmPoints::FormShow()
{
    // A new window shows the table, so that hiding it stores what the table
    // holds rather than the fields' start values.
    showTable();
}

void TFrmPoints::FormHide()
{
    storeFields();
}

void TFrmPoints::StoreEdits()
{
    storeFields();
}

void TFrmPoints::ReloadData()
{
    showTable();
}

void TFrmPoints::sbImport1Click()
{
    SelectItems({ItemPoints});
    ImportSelected();
}

void TFrmPoints::sbExport1Click()
{
    SelectItems({ItemPoints});
    ExportSelected();
}

void TFrmPoints::Button1Click(QObject* button)
{
    const int tag = TagOf(button);
    if (tag < 0 || tag >= static_cast<int>(PredefinedSets.size()))
        return;
    const auto& set = PredefinedSets[static_cast<std::size_t>(tag)];
    for (int position = 1; position <= PointsCount; ++position)
        if (TSpinEdit* field = PointsField(position))
            field->setValue(set[static_cast<std::size_t>(position - 1)]);
}

} // namespace paddock
