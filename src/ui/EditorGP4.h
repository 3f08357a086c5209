// The GP4 Workshop (developer mode): open a mesh file, read its header,
// shapes, materials, textures, polygon runs and the reader's chunk log, see
// ticked shapes as a rotatable, zoomable wireframe, and save the mesh as 3DS.
#pragma once

#include "ui/WorkshopForm.h"

#include <QImage>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QScrollBar;
class QSlider;

namespace paddock {

class TGP4File;
struct TGP4Projection;

// The drawing surface of the preview: it shows its picture and asks for a
// new one when its size changes.
class TGP4Image : public QWidget {
public:
    explicit TGP4Image(QWidget* parent);

    QImage Picture;
    std::function<void()> Resized;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

// Draws the wireframe of the shapes onto the picture, over a white ground:
// each polygon's outline in black and, with points, each corner as a small
// red disc with a black rim, once per vertex and shape, over the outlines;
// with numbers, the vertex numbers beside the corners in red. Returns what
// was skipped because the mesh does not hold it (empty when nothing was),
// which is also written in the picture's top left corner.
std::string DrawGP4Wireframe(QImage& picture, const TGP4File* mesh, const std::vector<int>& shapes,
                             const TGP4Projection& projection, bool points = true, bool numbers = false);

class TFrmGP4Workshop : public TWorkshopForm {
    Q_OBJECT
public:
    explicit TFrmGP4Workshop(QWidget* mainWindow);
    ~TFrmGP4Workshop() override;

    // The starting client size.
    static constexpr QSize StartingSize{869, 741};

    // The loaded mesh, or nullptr.
    TGP4File* Mesh() const { return mesh_.get(); }
    // Loads a mesh as the load button does once a file is chosen.
    void LoadGP4(const std::string& fileName);
    // What the last preview skipped; empty when it skipped nothing.
    const std::string& PreviewNote() const { return previewNote_; }

    QLabel* imgLogo;
    QPushButton* bbLoadWAD;
    QPushButton* BitBtn2;
    // Page one: the data.
    QGroupBox* GroupBox2;
    std::array<QLineEdit*, 18> LabeledEdit{}; // LabeledEdit1 ... LabeledEdit17 at 1 ... 17
    QListWidget* ListBox1;
    QListWidget* ListBox2;
    QListWidget* ListBox3;
    QPlainTextEdit* Memo1;
    QPlainTextEdit* Memo2;
    QPlainTextEdit* Memo3;
    QPlainTextEdit* Memo4;
    QPlainTextEdit* Memo5;
    QPlainTextEdit* Memo6;
    // Page two: the preview.
    QWidget* TabSheet2;
    TGP4Image* Image1;
    QListWidget* CheckListBox1;
    QPushButton* BitBtn1;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QSlider* TrackBar1;
    QSlider* TrackBar2;
    QSlider* TrackBar3;
    QSlider* TrackBar4;
    QSlider* TrackBar5;
    QScrollBar* ScrollBar1;
    QScrollBar* ScrollBar2;

    // The shapes whose check-list lines are ticked, ascending.
    std::vector<int> SelectedShapes() const;
    // The projection the sliders and the picture's size give, centred on the
    // selected shapes.
    TGP4Projection CurrentProjection() const;

public slots:
    void bbLoadWADClick();
    void BitBtn2Click();
    void ListBox1Click();
    void ListBox2Click();
    void ListBox3Click();
    void BitBtn1Click();

private:
    void FormCreate();
    void showNoMesh();
    void fill();
    QWidget* buildDataPage();
    QWidget* buildPreviewPage();

    std::unique_ptr<TGP4File> mesh_;
    std::string previewNote_;
};

} // namespace paddock
