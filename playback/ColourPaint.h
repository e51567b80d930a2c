// How a character movie's cells are painted in colour: each cell has the
// mean colour of the picture it stands for, and its glyph must stay legible
// on it.
//
// A cell is painted with two colours, a glyph colour G over a background B,
// that keep the cell's mean colour C: with the glyph covering a share p of
// the cell, p x G + (1 - p) x B = C, so the picture seen from a distance (or
// blurred) has the source's colours and tones. G and B lie on either side of
// C, shifted by the same amount in R, G and B (so the hue stays), just far
// enough apart that their WCAG contrast ratio reaches kMinGlyphContrast.
// Near black or white one of them cannot go further; the pair then gives up
// as little of the mean as the contrast allows. Of the two ways round (the
// glyph lighter or darker than its background) the one that keeps the mean
// better is taken; where both keep it, the glyph is darker, as the ink of
// the gray picture is. bench/export_bench measured this against other
// styles; see README.
#pragma once

#include "playback/FrameRenderer.h"

#include <QRgb>

namespace colour_paint {

// The WCAG contrast ratio every glyph reaches against its own background.
constexpr double kMinGlyphContrast = 2.0;

// WCAG relative luminance of an sRGB colour, 0 (black) to 1 (white).
double RelativeLuminance(QRgb colour);
// WCAG contrast ratio of two colours, 1 to 21.
double ContrastRatio(QRgb a, QRgb b);

// The mean-keeping pair for a cell of colour `colour` whose glyph covers
// `coverage` (0..1) of it, kMinGlyphContrast apart; `lighterGlyphFirst`
// decides the way round where both keep the mean alike. Thread-safe.
CellPaint MeanKeepingPaint(QRgb colour, double coverage, bool lighterGlyphFirst);

// The export's paint (a PaintRule): MeanKeepingPaint at kMinGlyphContrast,
// the glyph darker where both ways keep the mean.
CellPaint SourcePaint(QRgb colour, double coverage);

}  // namespace colour_paint
