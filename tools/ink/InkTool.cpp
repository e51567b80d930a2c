// glyphreel-ink: measures the ink of gray units as the frame renderer draws
// them, black on white, and writes or checks the fine picture's committed
// measurements (conversion/InkData.inc).
//
//   glyphreel-ink measure [--size S] [--family F] [TABLE]
//       each unit of TABLE (default: the default gray table) with its mean
//       brightness 0..255, then the range, the rank correlation of table
//       order with brightness (1: darkest first throughout) and the
//       reversals (neighbours lighter than the unit after them)
//   glyphreel-ink faces [--size S]
//       the default table measured in every installed Chinese face
//   glyphreel-ink generate FILE
//       measures every GBK double-byte unit and every single byte
//       0x01..0x7F in both halves of a cell with the movie's face at the
//       reference size, chooses the 32-unit fine table, writes FILE
//   glyphreel-ink check FILE
//       measures again and compares with FILE: exit status 1 when the
//       installed face draws any unit differently
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "conversion/FinePicture.h"
#include "playback/FrameRenderer.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QRawFont>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The cell side of the committed measurements: the player's and the
// export's default font size.
constexpr int kReferenceSize = 9;
// Units of the built-in fine table.
constexpr int kFineUnits = 32;
constexpr char16_t kFullBlock = 0x2588, kIdeographicSpace = 0x3000;

// Brightness summed over the pixels of columns [from, to) of `text` drawn in
// one line of `renderer`'s cells, black on white.
int InkSum(FrameRenderer& renderer, const QString& text, int from, int to) {
  const int s = renderer.CellSize();
  const QImage image = renderer.Render(text, QSize(to, s));
  int sum = 0;
  for (int y = 0; y < s; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = from; x < to; ++x) sum += qRed(row[x]);
  }
  return sum;
}

QString PairText(int lead, int trail) {
  const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  return gbk::Decode(std::string_view(bytes, 2));
}

// Everything the fine picture needs from the face, measured afresh.
struct Measurements {
  std::vector<std::vector<int>> pairs;  // [lead - 0x81][trail index]
  std::vector<int> first, second;       // bytes 0x01..0x7F
  std::string fineTable;
  std::string fineReport;
};

int TrailAt(int index) { return 0x40 + index + (index >= 0x7F - 0x40 ? 1 : 0); }

Measurements Measure() {
  FrameRenderer renderer(MovieFont(kReferenceSize), Qt::black, Qt::white);
  const int s = kReferenceSize, half = s / 2;
  Measurements m;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    std::vector<int> row;
    for (int t = 0; t < 190; ++t) row.push_back(InkSum(renderer, PairText(lead, TrailAt(t)), 0, s));
    m.pairs.push_back(std::move(row));
  }
  for (int b = 1; b <= 0x7F; ++b) {
    const QString c(QChar(static_cast<char16_t>(b)));
    m.first.push_back(InkSum(renderer, c, 0, half));
    m.second.push_back(InkSum(renderer, QStringLiteral(" ") + c, half, s));
  }

  // The fine table: from the ideographs the face itself holds (no fallback
  // face), with █ and the full-width space, 32 from the darkest to the
  // lightest as evenly spaced as the face allows: the choice with the least
  // sum of squared steps between neighbours. Of units that measure the same,
  // the lowest code stands for them all.
  struct Candidate {
    int sum;
    std::string bytes;
    QString text;
  };
  const QRawFont face = QRawFont::fromFont(MovieFont(kReferenceSize));
  std::map<int, Candidate> bySum;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int t = 0; t < 190; ++t) {
      const QString text = PairText(lead, TrailAt(t));
      if (text.size() != 1 || text[0].unicode() == 0xFFFD || !face.supportsCharacter(text[0])) continue;
      const char16_t u = text[0].unicode();
      const bool ideograph = u >= 0x4E00 && u <= 0x9FA5;
      // Characters only, with █ for black and the full-width space for white:
      // the other block and shade elements draw stripes across the picture.
      if (!ideograph && u != kFullBlock && u != kIdeographicSpace) continue;
      const Candidate c{m.pairs[static_cast<size_t>(lead - 0x81)][static_cast<size_t>(t)],
                        {static_cast<char>(lead), static_cast<char>(TrailAt(t))}, text};
      bySum.emplace(c.sum, c);
    }
  }
  std::vector<Candidate> candidates;
  for (auto& [sum, c] : bySum) candidates.push_back(c);
  const size_t n = candidates.size();
  const auto cost = [&](size_t i, size_t j) {
    const double step = candidates[j].sum - candidates[i].sum;
    return step * step;
  };
  // best[k][j]: the least cost of k steps from the darkest unit to unit j.
  const double kNone = 1e300;
  std::vector<std::vector<double>> best(kFineUnits, std::vector<double>(n, kNone));
  std::vector<std::vector<size_t>> from(kFineUnits, std::vector<size_t>(n, 0));
  best[0][0] = 0;
  for (int k = 1; k < kFineUnits; ++k) {
    for (size_t j = 1; j < n; ++j) {
      for (size_t i = j; i-- > 0;) {
        if (best[k - 1][i] == kNone) continue;
        const double c = best[k - 1][i] + cost(i, j);
        if (c < best[k][j]) best[k][j] = c, from[k][j] = i;
      }
    }
  }
  std::vector<size_t> chosen(kFineUnits);
  chosen[kFineUnits - 1] = n - 1;
  for (int k = kFineUnits - 1; k > 0; --k) chosen[static_cast<size_t>(k - 1)] = from[k][chosen[static_cast<size_t>(k)]];
  std::ostringstream report;
  for (size_t i : chosen) {
    m.fineTable += candidates[i].bytes;
    report << candidates[i].text.toStdString() << " " << candidates[i].sum / double(s * s) << "\n";
  }
  m.fineReport = report.str();
  return m;
}

std::string Hex4(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

std::string CString(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    char esc[8];
    std::snprintf(esc, sizeof esc, "\\x%02x", c);
    out += esc;
  }
  return out + "\"";
}

std::string DataFile(const Measurements& m) {
  std::ostringstream out;
  out << "// Generated by glyphreel-ink generate (tools/ink/InkTool.cpp); do not edit.\n"
         "// The ink of every gray unit as FrameRenderer draws it, black on white,\n"
         "// with the movie's face at cells of kCell pixels: for each unit, the\n"
         "// brightness (0..255) of every pixel of its area added up, as four hex\n"
         "// digits. `glyphreel-ink check` tells whether the installed face still\n"
         "// draws exactly this.\n"
      << "constexpr char kFace[] = \"" << MovieFontFamilies().front().toStdString() << "\";\n"
      << "constexpr int kCell = " << kReferenceSize << ";\n"
      << "// Double-byte units: one string a lead byte 0x81..0xFE, trail bytes\n"
         "// 0x40..0xFE without 0x7F; the whole cell.\n"
         "constexpr const char* kPairs[126] = {\n";
  for (const auto& row : m.pairs) {
    out << "    \"";
    for (int v : row) out << Hex4(v);
    out << "\",\n";
  }
  out << "};\n// Single bytes 0x01..0x7F in the first half of a cell (floor(kCell / 2)\n"
         "// columns) and in the second (the rest).\n"
         "constexpr char kFirstHalves[] = \"";
  for (int v : m.first) out << Hex4(v);
  out << "\";\nconstexpr char kSecondHalves[] = \"";
  for (int v : m.second) out << Hex4(v);
  out << "\";\n// The built-in fine table: " << kFineUnits
      << " units evenly spaced in ink, darkest first.\nconstexpr char kFineTable[] = " << CString(m.fineTable)
      << ";\n";
  return out.str();
}

// Ranks 1..n with ties given their mean rank.
std::vector<double> Ranks(const std::vector<double>& v) {
  std::vector<size_t> order(v.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
  std::vector<double> ranks(v.size());
  for (size_t i = 0; i < order.size();) {
    size_t j = i;
    while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
    for (size_t k = i; k <= j; ++k) ranks[order[k]] = (i + j) / 2.0 + 1;
    i = j + 1;
  }
  return ranks;
}

double Pearson(const std::vector<double>& a, const std::vector<double>& b) {
  const double n = static_cast<double>(a.size());
  double ma = 0, mb = 0;
  for (size_t i = 0; i < a.size(); ++i) ma += a[i] / n, mb += b[i] / n;
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

struct TableFigures {
  std::vector<std::pair<QString, double>> units;  // text, mean brightness
  double range = 0, rankCorrelation = 0;
  int reversals = 0;
};

// The table's units drawn one to a cell at `size` by `renderer`.
TableFigures MeasureTable(FrameRenderer& renderer, const std::string& table) {
  TableFigures f;
  const int s = renderer.CellSize();
  std::vector<double> position, brightness;
  for (const GrayUnit& u : WalkGrayUnits(table)) {
    const QString text = gbk::Decode(std::string_view(table).substr(u.offset, u.length));
    const int width = renderer.LineWidth(text);
    const double mean = width > 0 ? InkSum(renderer, text, 0, width) / double(width * s) : 255;
    f.units.push_back({text, mean});
    position.push_back(static_cast<double>(position.size()));
    brightness.push_back(mean);
  }
  if (brightness.empty()) return f;
  const auto [lo, hi] = std::minmax_element(brightness.begin(), brightness.end());
  f.range = *hi - *lo;
  f.rankCorrelation = Pearson(Ranks(position), Ranks(brightness));
  for (size_t i = 1; i < brightness.size(); ++i) f.reversals += brightness[i] < brightness[i - 1] ? 1 : 0;
  return f;
}

int Usage() {
  std::fprintf(stderr,
               "usage: glyphreel-ink measure [--size S] [--family F] [TABLE]\n"
               "       glyphreel-ink faces [--size S]\n"
               "       glyphreel-ink generate FILE\n"
               "       glyphreel-ink check FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) return Usage();
  const QString command = args[0];
  int size = kReferenceSize;
  QString family, table = gbk::Decode(gbk::DefaultGrayTable()), file;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
      size = args[++i].toInt();
    } else if (args[i] == QLatin1String("--family") && i + 1 < args.size()) {
      family = args[++i];
    } else if (args[i].startsWith(QLatin1String("--"))) {
      return Usage();
    } else {
      (command == QLatin1String("measure") ? table : file) = args[i];
    }
  }
  if (size < 1 || size > 16) {
    std::fprintf(stderr, "glyphreel-ink: --size must be 1 to 16\n");
    return 2;
  }

  if (command == QLatin1String("measure") || command == QLatin1String("faces")) {
    QStringList families;
    if (command == QLatin1String("faces")) {
      families = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    } else {
      families << family;
    }
    std::string bytes;
    QString error;
    if (!gbk::Encode(table, &bytes, &error)) {
      std::fprintf(stderr, "glyphreel-ink: %s\n", qPrintable(error));
      return 2;
    }
    for (const QString& f : families) {
      QFont font = MovieFont(size);
      if (!f.isEmpty()) font.setFamilies({f});
      FrameRenderer renderer(font, Qt::black, Qt::white,
                              f.isEmpty() ? FrameRenderer::Face::Movie : FrameRenderer::Face::Given);
      const TableFigures figures = MeasureTable(renderer, bytes);
      const QString name = f.isEmpty() ? MovieFontFamilies().front() : f;
      if (command == QLatin1String("measure")) {
        std::printf("%s at %d px\n", qPrintable(name), size);
        for (const auto& [text, mean] : figures.units) std::printf("  %s %6.1f\n", qPrintable(text), mean);
      }
      std::printf("%-32s range %6.1f  rank correlation %5.2f  reversals %d\n", qPrintable(name), figures.range,
                  figures.rankCorrelation, figures.reversals);
    }
    return 0;
  }

  if ((command != QLatin1String("generate") && command != QLatin1String("check")) || file.isEmpty()) return Usage();
  const Measurements m = Measure();
  const std::string data = DataFile(m);
  const std::string path = file.toStdString();
  if (command == QLatin1String("generate")) {
    std::ofstream(path, std::ios::binary) << data;
    std::printf("wrote %s; the fine table, darkest first, with each unit's mean brightness:\n%s", path.c_str(),
                m.fineReport.c_str());
    return 0;
  }
  std::ifstream in(path, std::ios::binary);
  const std::string committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (committed == data) {
    std::printf("%s matches the installed face\n", path.c_str());
    return 0;
  }
  // Say which units differ: the committed file read as the core reads it.
  int differ = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int t = 0; t < 190; ++t) {
      const char unit[2] = {static_cast<char>(lead), static_cast<char>(TrailAt(t))};
      const int64_t now = m.pairs[static_cast<size_t>(lead - 0x81)][static_cast<size_t>(t)] *
                          (fine::InkScale() / (kReferenceSize * kReferenceSize));
      if (fine::UnitInk(std::string_view(unit, 2)) != now && differ++ < 10) {
        std::fprintf(stderr, "  %02X%02X (%s) is drawn differently\n", lead, TrailAt(t),
                     qPrintable(PairText(lead, TrailAt(t))));
      }
    }
  }
  std::fprintf(stderr,
               "glyphreel-ink: %s does not match the installed face (%d double-byte units differ; the fine\n"
               "table or the single bytes may too): regenerate it with glyphreel-ink generate\n",
               path.c_str(), differ);
  return 1;
}
