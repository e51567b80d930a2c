// A palette of at most 256 colours for one picture, as a GIF frame needs,
// and the picture's pixels as indices into it.
//
// A picture of at most 256 colours keeps every one exactly. Otherwise the
// colours are counted in a histogram of 5 bits per channel and cut by median
// cut: the box of colours whose pixels spread the most (count x the longest
// side squared) is split across that side at its median pixel, until there
// are 256 boxes; each box gives the mean colour of its pixels, and each
// histogram cell takes the nearest of those colours. No dithering: areas of
// one colour stay one colour, which also keeps the GIF small.
#pragma once

#include <QImage>

#include <cstdint>

namespace movie_export {

// Fills `palette` (256 entries, 0xffRRGGBB; the unused ones black) and
// writes the index of every pixel of `picture` (Format_ARGB32_Premultiplied
// or Format_RGB32, opaque) into rows `indexStride` bytes apart from
// `indices`.
void MedianCutPalette(const QImage& picture, uint32_t* palette, uint8_t* indices, int indexStride);

}  // namespace movie_export
