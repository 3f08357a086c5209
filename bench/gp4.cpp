// Mesh benchmark: a synthetic mesh of about 200,000 triangles (the demo
// writer's wavy surface in sixteen shapes, written to a temporary folder),
// timed three ways in one run: reading the file's bytes once, loading it as a
// mesh (TGP4File, which reads the bytes and then every record), and one redraw
// of the preview with every shape ticked, as the workshop's redraw does it
// (the centre of the shapes, the projection, the wireframe with the corners'
// marks) on a picture of the size the window gives its preview. Exit code 0
// when the load takes at most 3 times the read and a redraw under 30 ms.
//
//   bench_gp4 [--table] [runs [triangles [folder]]]
//
// runs: timed runs of each (default 9), the median counts; triangles: the
// mesh's size (default 200000); folder: where the temporary folder goes
// (default: the system's temporary folder). --table: one line per measure
// for scripts/bench.sh instead of the text (row, name, figure, floor, ratio,
// target, held or missed, tab-separated).

#include "BenchTiming.h"
#include "app/Streams.h"
#include "app/Tools.h"
#include "formats/GP4GP4.h"
#include "ui/EditorGP4.h"

#include "DemoMeshes.h"

#include <unistd.h>

#include <QApplication>
#include <QTabWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace paddock;
using paddock::bench::median;
using paddock::bench::seconds;
namespace fs = std::filesystem;

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool table = !args.empty() && args[0] == "--table";
    if (table)
        args.erase(args.begin());
    const int runs = !args.empty() ? std::max(1, std::atoi(args[0].c_str())) : 9;
    const int triangles = args.size() > 1 ? std::max(1000, std::atoi(args[1].c_str())) : 200000;
    const fs::path base = args.size() > 2 ? fs::path(args[2]) : fs::temp_directory_path();
    const fs::path folder = base / ("paddock-bench-gp4-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string path = (folder / "large.gp4").string();

    // The window's preview size comes from a window laid out offscreen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QSize pictureSize;
    {
        TFrmGP4Workshop window(nullptr);
        window.PageControl1->setCurrentWidget(window.TabSheet2);
        window.show();
        QApplication::processEvents();
        pictureSize = window.Image1->size();
    }

    const std::string bytes = demo::BuildGP4Mesh(demo::LargeDemoMesh(triangles));
    {
        TFileStream file(path, FileMode::Create);
        file.WriteBuffer(bytes.data(), bytes.size());
        file.Close();
    }

    std::vector<double> read, load, redraw;
    std::size_t polygons = 0, vertices = 0, shapes = 0;
    std::vector<int> all;
    std::string note;
    for (int run = 0; run <= runs; ++run) { // run 0 warms up
        const double r = seconds([&] {
            TMemoryStream stream;
            stream.LoadFromFile(path);
        });
        TGP4File mesh;
        const double l = seconds([&] { mesh.LoadFromFile(path); });
        polygons = mesh.Polygons.size();
        vertices = mesh.Vertices.size();
        shapes = mesh.Shapes.size();
        all.clear();
        for (std::size_t s = 0; s < shapes; ++s)
            all.push_back(static_cast<int>(s));
        QImage picture(pictureSize, QImage::Format_RGB32);
        const double d = seconds([&] {
            TGP4Projection p = TGP4Projection::FromControls(5, 25, 25, 25, 25, 0, 0, picture.width(), picture.height());
            const auto centre = GP4ShapesCentre(mesh, all);
            p.CentreX = centre[0];
            p.CentreY = centre[1];
            p.CentreZ = centre[2];
            note = DrawGP4Wireframe(picture, &mesh, all, p, true, false);
        });
        if (run > 0) {
            read.push_back(r);
            load.push_back(l);
            redraw.push_back(d);
        }
    }
    fs::remove_all(folder);

    const double readMs = median(read) * 1000, loadMs = median(load) * 1000, redrawMs = median(redraw) * 1000;
    const double ratio = loadMs / readMs;
    const bool loadHeld = ratio <= 3.0, redrawHeld = redrawMs < 30.0;
    if (table) {
        std::printf("row\tmesh load (%zu triangles, %.1f MiB)\t%.2f ms\t%.2f ms read\t%.2f x\tat most 3.0 x\t%s\n",
                    polygons, static_cast<double>(bytes.size()) / (1 << 20), loadMs, readMs, ratio,
                    loadHeld ? "held" : "missed");
        std::printf("row\tpreview redraw of all shapes (%dx%d)\t%.2f ms\t-\t-\tunder 30 ms\t%s\n", pictureSize.width(),
                    pictureSize.height(), redrawMs, redrawHeld ? "held" : "missed");
        return loadHeld && redrawHeld ? 0 : 1;
    }
    std::printf("mesh: %zu triangles, %zu vertices, %zu shapes, %.1f MiB; %d runs (medians)\n", polygons, vertices,
                shapes, static_cast<double>(bytes.size()) / (1 << 20), runs);
    std::printf("read the file's bytes once:           %7.2f ms\n", readMs);
    std::printf("load as a mesh (read and every record): %5.2f ms  load / read %.2f (target at most 3.00) %s\n",
                loadMs, ratio, loadHeld ? "ok" : "MISSED");
    std::printf("redraw of all shapes at %dx%d:       %7.2f ms  (target under 30 ms) %s\n", pictureSize.width(),
                pictureSize.height(), redrawMs, redrawHeld ? "ok" : "MISSED");
    if (!note.empty())
        std::printf("the redraw skipped: %s\n", note.c_str());
    return loadHeld && redrawHeld ? 0 : 1;
}
