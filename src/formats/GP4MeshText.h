// The texts of a mesh as the GP4 Workshop shows them, line by line: the
// header's fields, the lines of the shape and material lists, a shape's data
// words, its run list, a material's numbers and a polygon run's words. The
// window and the command line both show these lines. Names are the file's
// bytes (the game's code page); each caller converts them for its display.
//
// Integers are shown in decimal as unsigned 32-bit values (-1 shows as
// 4294967295), except the integer words of a shape's data and the run indices
// of the list lines, which are shown signed; floats as GP4FloatText gives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace paddock {

class TGP4File;
struct TGP4Material;
struct TGP4Shape;

// One of the 17 header fields that the window's edits LabeledEdit1 ...
// LabeledEdit17 show, the last four the words of the vertices chunk.
struct TGP4HeaderField {
    const char* Caption; // the window's caption; "Unknown1" twice
    const char* Label;   // unique: the caption, "Vertex Unknown1" ... for the last four
    const char* Key;     // for JSON: "id", "num_shapes", "vertex_unknown1", ...
    std::string Text;    // what the edit shows
    bool Numeric = false;
    std::uint32_t Number = 0; // the value shown, when Numeric
};

// The 17 fields in the order of the edits' numbers (LabeledEdit8 is
// "NumShapes", LabeledEdit9 "Unknown5"); a mesh of no file gives the
// captions with its zeros and empty texts.
std::vector<TGP4HeaderField> GP4HeaderFields(const TGP4File& mesh);
// The fields in the order of their captions in the window (and on the
// command line): indices into GP4HeaderFields, "Unknown5" before
// "NumShapes", then the four words of the vertices chunk.
inline constexpr std::size_t GP4HeaderOrder[17] = {0, 1, 2, 3, 4, 5, 6, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16};

// The list lines: the index in decimal, a space and the name ("0 body").
std::string GP4ShapeLine(const TGP4File& mesh, std::size_t shape);
std::string GP4MaterialLine(const TGP4File& mesh, std::size_t material);

// The preview's check-list line for shape `index`: its name and " 0" when its
// one run has the shape's own index (the runs and the shapes then match one
// to one); otherwise its name and the runs it draws, "wing_rear (runs 6, 7)",
// or "name (no runs)".
std::string GP4PreviewLine(const TGP4Shape& shape, int index);

// A shape's data as 46 words: integers at words 0-6, 10, 14 and 38-45,
// floats elsewhere.
inline constexpr std::size_t GP4ShapeDataWords = 46;
bool GP4ShapeWordIsInteger(std::size_t word);
// The 46 lines of the shape's data, integers signed.
std::vector<std::string> GP4ShapeDataLines(const TGP4Shape& shape);
// The shape's run list record: its first word, its entry count and each
// entry, unsigned.
std::vector<std::string> GP4RunListLines(const TGP4Shape& shape);
// The run indices of the shape's run list, signed, one per line.
std::vector<std::string> GP4RunIndexLines(const TGP4Shape& shape);

// A material's 36 lines: for each of its five groups the word and its three
// floats, then its 16 words.
std::vector<std::string> GP4MaterialDataLines(const TGP4Material& material);

// The seven words of polygon run `run`, unsigned; "Run 9 is not in the file"
// for a run that the file does not hold.
std::vector<std::string> GP4RunLines(const TGP4File& mesh, std::int64_t run);

} // namespace paddock
