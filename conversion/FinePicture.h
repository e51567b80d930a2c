// The fine picture: a conversion that follows the ink the movie's face really
// puts on the screen, beside the classic conversion (nearest pixel, the gray
// table's units by their order), which stays the default.
//
//  - Each cell's gray is the mean of the source area it covers (AreaMeanGrays).
//  - The gray table is calibrated: every unit's brightness as the frame
//    renderer draws it with the shipped face at kInkCellPixels, black on
//    white, is committed data (InkData.inc, written and checked by
//    tools/ink), never measured at run time, so every machine writes the same
//    bytes. A gray level takes the unit whose brightness, stretched over
//    0..255 between the table's darkest and lightest units, is nearest.
//  - FineGrayTable() is the built-in table of 32 units evenly spaced in ink.
//
// Everything here is integer arithmetic on committed numbers: exact and the
// same on every machine.
#pragma once

#include <QImage>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fine {

// The cell side in pixels at which the ink was measured: the player's and the
// export's default font size.
int InkCellPixels();
// The face the ink was measured with.
const char* InkFace();

// The gray of every cell of `picture` cut into `width` x `height` cells, row
// by row, top row first. Cell (x, y) covers the source area
// [x * Ws / width, (x + 1) * Ws / width) x [y * Hs / height, (y + 1) * Hs / height)
// of a Ws x Hs picture, pixels that straddle its edge counted by the share
// they have in it. A pixel weighs 30 R + 59 G + 11 B (100 times its gray
// level); the cell's gray is the weighted sum over the covered area divided
// by 100 x the area, rounded half up: exact integers, so the result is the
// same on every machine. The picture may have any size (smaller than the
// grid too) and format. `grays` is resized to width x height.
void AreaMeanGrays(const QImage& picture, int width, int height, std::vector<uint8_t>* grays);
// The mean colour of every cell by the same area rule: each of R, G and B
// summed over the area and divided by it, rounded half up (qRgb, opaque),
// row by row. `colours` is resized to width x height.
void AreaMeanColours(const QImage& picture, int width, int height, std::vector<QRgb>* colours);

// The measured brightness of one gray unit as drawn (its bytes as the unit
// walk cuts them): a double-byte character over a whole cell, a pair of
// single-byte characters over their two halves, a lone single byte over the
// first half. In units of 1 / InkScale() of the 0..255 brightness mean, so
// units of every kind compare exactly. -1 for bytes that are no unit (empty,
// longer than two bytes, a lone byte of 0x80 or above).
int64_t UnitInk(std::string_view unit);
// The denominator of UnitInk: a unit of mean brightness b has UnitInk b x InkScale().
int64_t InkScale();

// For every gray level 0..255, the index (in WalkGrayUnits order) of the unit
// it takes: the unit whose ink, stretched over 0..255 between the table's
// darkest and lightest units, is nearest to the level; ties go to the darker
// unit, equal ink to the unit that comes first. A table whose units all
// measure the same gives its first unit everywhere. The table must be one
// TConverter::CheckOptions accepts.
std::array<uint16_t, 256> CalibratedLevels(std::string_view table);

// The built-in fine table (GBK bytes): 32 double-byte characters from
// darkest to lightest, evenly spaced in the measured ink of the shipped face.
const std::string& FineGrayTable();

}  // namespace fine
