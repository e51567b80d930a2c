#include "playback/ColourPaint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>

namespace colour_paint {
namespace {

// sRGB levels in linear light, as WCAG defines them.
double LinearLevel(int level) {
  const double c = level / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

constexpr double kWeights[3] = {0.2126, 0.7152, 0.0722};  // of R, G and B in the luminance

// Luminance in whole units of 2^-24, each channel's share rounded, for the
// search, which tries many pairs: integers compare fast and exactly. Sums of
// three rounded shares are within 1.5 units of the luminance.
constexpr double kUnit = 1 << 24;
struct Shares {
  std::array<std::array<int32_t, 256>, 3> channel;  // R, G, B
  std::array<int32_t, 256> gray;                    // of the gray of each level, rising
};
const Shares& LuminanceShares() {
  static const Shares shares = [] {
    Shares s{};
    for (int level = 0; level < 256; ++level) {
      int32_t gray = 0;
      for (int k = 0; k < 3; ++k) {
        gray += s.channel[size_t(k)][size_t(level)] = static_cast<int32_t>(std::lround(kWeights[k] * LinearLevel(level) * kUnit));
      }
      s.gray[size_t(level)] = gray;
    }
    return s;
  }();
  return shares;
}
// The least that 2 x dark - light may fall short of the lighter one for a
// contrast of 2:1, (light + 0.05) >= 2 x (dark + 0.05), in those units, with
// room for the rounding of the six shares (3 x 1.5 units at most): a pair the
// search accepts reaches 2:1 by ContrastRatio too.
constexpr int64_t kTwoToOneMargin = static_cast<int64_t>(0.05 * kUnit) + 5;

// The largest shift tried: far enough that the side that moves reaches
// black or white even when it takes 1/1000 of the cell.
constexpr int kMaxShift = 255 * 1000;
// Where the search for the smallest shift starts when nothing better is known.
constexpr int kFirstShift = 64;
// Steps of the coverage in the table of first guesses.
constexpr int kCoverageSteps = 64;

// A cell's colour and its glyph's coverage, as the search tries shifts.
class Pairs {
 public:
  Pairs(QRgb colour, double p, bool lighterGlyph)
      : levels_{qRed(colour), qGreen(colour), qBlue(colour)}, p_(p), sign_(lighterGlyph ? 1 : -1) {}

  // How far the pair `shift` apart (see Paint) lies past 2:1, in units of
  // luminance: at least 0 when it reaches 2:1. Only grows with the shift.
  int64_t Excess(int shift) const {
    const Shares& s = LuminanceShares();
    const int glyphBy = GlyphBy(shift), groundBy = GroundBy(shift);
    int64_t glyph = 0, ground = 0;
    for (size_t k = 0; k < 3; ++k) {
      glyph += s.channel[k][size_t(std::clamp(levels_[k] + glyphBy, 0, 255))];
      ground += s.channel[k][size_t(std::clamp(levels_[k] + groundBy, 0, 255))];
    }
    const int64_t light = std::max(glyph, ground), dark = std::min(glyph, ground);
    return light - 2 * dark - kTwoToOneMargin;
  }

  // The pair `shift` apart: the glyph moved by shift x (1 - p) (up for a
  // lighter glyph, down otherwise), the background the other way by
  // shift x p, each rounded half up and held within 0..255. *held tells
  // whether any channel was held.
  CellPaint Paint(int shift, bool* held) const {
    const int glyphBy = GlyphBy(shift), groundBy = GroundBy(shift);
    int glyph[3], ground[3];
    *held = false;
    for (size_t k = 0; k < 3; ++k) {
      const int g = levels_[k] + glyphBy, b = levels_[k] + groundBy;
      *held = *held || g < 0 || g > 255 || b < 0 || b > 255;
      glyph[k] = std::clamp(g, 0, 255);
      ground[k] = std::clamp(b, 0, 255);
    }
    return {qRgb(glyph[0], glyph[1], glyph[2]), qRgb(ground[0], ground[1], ground[2])};
  }

 private:
  static int Rounded(double v) { return static_cast<int>(v + 0.5); }  // v is never negative
  int GlyphBy(int shift) const { return sign_ * Rounded(shift * (1.0 - p_)); }
  int GroundBy(int shift) const { return -sign_ * Rounded(shift * p_); }

  int levels_[3];
  double p_;
  int sign_;
};

// The smallest shift in 0..kMaxShift whose pair reaches 2:1, or -1 when
// none does. Bracketed from `guess` by steps that grow fourfold, then closed
// in by false position (the excess is nearly straight over a few levels),
// halving where that gains little: a guess within a level or two costs two
// or three tries.
int SmallestShift(const Pairs& pairs, int guess) {
  guess = std::clamp(guess, 0, kMaxShift);
  // A shift that falls short (or -1) and one that reaches 2:1, with their excesses.
  int fail = -1, ok = guess;
  int64_t failExcess = 0, okExcess = pairs.Excess(guess);
  int step = 1;
  if (okExcess >= 0) {
    while (ok > 0) {
      const int below = std::max(0, ok - step);
      const int64_t e = pairs.Excess(below);
      if (e < 0) {
        fail = below, failExcess = e;
        break;
      }
      ok = below, okExcess = e;
      step *= 4;
    }
    if (fail < 0) return ok;
  } else {
    fail = guess, failExcess = okExcess;
    while (true) {
      if (fail >= kMaxShift) return -1;
      const int above = std::min(kMaxShift, fail + step);
      const int64_t e = pairs.Excess(above);
      if (e >= 0) {
        ok = above, okExcess = e;
        break;
      }
      fail = above, failExcess = e;
      step *= 4;
    }
  }
  bool halve = false;
  while (ok - fail > 1) {
    const int width = ok - fail;
    // Where the straight line through the two crosses 0, kept inside; and
    // its neighbour on the far side, which closes the bracket when the line
    // was right.
    const double at = fail + double(width) * double(-failExcess) / double(okExcess - failExcess);
    const int mid = halve ? fail + width / 2 : std::clamp(static_cast<int>(std::ceil(at)), fail + 1, ok - 1);
    const auto take = [&](int shift) {
      const int64_t e = pairs.Excess(shift);
      if (e >= 0) {
        ok = shift, okExcess = e;
      } else {
        fail = shift, failExcess = e;
      }
      return e >= 0;
    };
    const bool reached = take(mid);
    if (!halve && reached && mid - 1 > fail) take(mid - 1);
    if (!halve && !reached && mid + 1 < ok) take(mid + 1);
    halve = 2 * (ok - fail) > width;  // the line gained little: halve next
  }
  return ok;
}

// The smallest shift of every gray level, each way round, at every step of
// the coverage: the first guess for a colour of the same luminance.
using Guesses = std::array<std::array<std::array<int, 256>, 2>, kCoverageSteps + 1>;
const Guesses& GrayShifts() {
  static const std::unique_ptr<Guesses> shifts = [] {
    auto g = std::make_unique<Guesses>();
    for (int step = 0; step <= kCoverageSteps; ++step) {
      for (const bool lighter : {false, true}) {
        int guess = kFirstShift;
        for (int level = 0; level < 256; ++level) {
          const int shift =
              SmallestShift(Pairs(qRgb(level, level, level), double(step) / kCoverageSteps, lighter), guess);
          (*g)[size_t(step)][lighter ? 1 : 0][size_t(level)] = shift;
          if (shift >= 0) guess = shift;
        }
      }
    }
    return g;
  }();
  return *shifts;
}

// The gray level whose luminance is nearest below `colour`'s.
int GrayLevelOf(QRgb colour) {
  const Shares& s = LuminanceShares();
  const int32_t luminance =
      s.channel[0][size_t(qRed(colour))] + s.channel[1][size_t(qGreen(colour))] + s.channel[2][size_t(qBlue(colour))];
  return static_cast<int>(std::upper_bound(s.gray.begin() + 1, s.gray.end(), luminance) - s.gray.begin()) - 1;
}

// How far the pair's mean lies from `colour`: squared, summed over R, G, B.
double MeanError(const CellPaint& paint, QRgb colour, double p) {
  const auto off = [&](int glyph, int ground, int wanted) {
    const double d = p * glyph + (1.0 - p) * ground - wanted;
    return d * d;
  };
  return off(qRed(paint.glyph), qRed(paint.background), qRed(colour)) +
         off(qGreen(paint.glyph), qGreen(paint.background), qGreen(colour)) +
         off(qBlue(paint.glyph), qBlue(paint.background), qBlue(colour));
}

}  // namespace

double RelativeLuminance(QRgb colour) {
  return kWeights[0] * LinearLevel(qRed(colour)) + kWeights[1] * LinearLevel(qGreen(colour)) +
         kWeights[2] * LinearLevel(qBlue(colour));
}

double ContrastRatio(QRgb a, QRgb b) {
  const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

CellPaint MeanKeepingPaint(QRgb colour, double coverage, bool lighterGlyphFirst) {
  const double p = std::clamp(coverage, 0.0, 1.0);
  const int level = GrayLevelOf(colour);
  const auto& guesses = GrayShifts()[static_cast<size_t>(std::lround(p * kCoverageSteps))];
  CellPaint best{colour, colour};
  double bestError = std::numeric_limits<double>::infinity();
  for (const bool lighter : {lighterGlyphFirst, !lighterGlyphFirst}) {
    const Pairs pairs(colour, p, lighter);
    const int guess = guesses[lighter ? 1 : 0][static_cast<size_t>(level)];
    const int shift = SmallestShift(pairs, guess < 0 ? kFirstShift : guess);
    if (shift < 0) continue;  // never far enough apart this way round
    bool held = false;
    const CellPaint pair = pairs.Paint(shift, &held);
    // Nothing held: the mean is kept as well as rounding allows, and the
    // other way round cannot do better.
    if (!held) return pair;
    const double error = MeanError(pair, colour, p);
    if (error < bestError) {
      best = pair;
      bestError = error;
    }
  }
  return best;
}

CellPaint SourcePaint(QRgb colour, double coverage) {
  return MeanKeepingPaint(colour, coverage, /*lighterGlyphFirst=*/false);
}

}  // namespace colour_paint
