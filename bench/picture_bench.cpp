// How recognisable the pictures are: Glyphreel's classic and fine pictures
// against jp2a and chafa, every tool's text drawn by our own renderer.
//
// The photos python3-skimage ships, each stretched to a 640 x 480 bitmap, are
// converted at 80 x 60 and 160 x 120 cells by
//   - classic: the default gray table, nearest pixel (the default bytes);
//   - fine: the fine picture (area means, the built-in 32-unit table);
//   - jp2a (its ASCII ramp, --background=light) and
//   - chafa (--symbols ascii --colors none --invert),
// the two peers given 2W columns by H rows, since one of our cells is two
// single-byte columns. Every text is drawn black on white by TFrameRenderer
// at s = 9 pixels a cell, and measured against the source's gray:
//   - cell correlation: Pearson's r between each cell's mean source gray
//     (the area mean over the cell) and the drawn cell's mean brightness;
//   - blurred SSIM: the SSIM of the source gray (resized to the drawing's
//     size) and the drawing, both blurred by a Gaussian of sigma s / 2, with
//     a Gaussian window of sigma s.
// Two more rows tell the classic picture's figures apart: "by ink" is the
// classic picture with the default table's units in the order of their
// measured ink (nearest pixel still), "fine default" the fine picture with
// the default table calibrated (what the window draws for a table of the
// user's own).
// It prints the figures, and with --picture FILE writes the side-by-side
// picture (source | classic | fine | best peer) of one photo at 80 x 60.
//
// It needs python3-skimage, jp2a and chafa, and installs them through
// tools/install-deps.sh when it may (as root); otherwise it names them.
#include "common/Gbk.h"
#include "conversion/BmpReader.h"
#include "conversion/BmpTxt.h"
#include "conversion/FinePicture.h"
#include "playback/FrameRenderer.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kCell = 9;                  // pixels a cell, as the player and the export default to
constexpr int kPhotoWidth = 640, kPhotoHeight = 480;
const char* const kPhotos[] = {"astronaut.png", "camera.png", "coffee.png", "chelsea.png",
                               "rocket.jpg",    "retina.jpg", "coins.png",  "motorcycle_left.png"};
const char* const kPicturePhoto = "astronaut.png";  // the side-by-side picture's

// A gray picture in doubles.
struct Gray {
  int width = 0, height = 0;
  std::vector<double> v;
  double& at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
  double at(int x, int y) const { return v[static_cast<size_t>(y) * width + x]; }
};

Gray GrayOf(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  Gray g{rgb.width(), rgb.height(), {}};
  g.v.resize(static_cast<size_t>(g.width) * g.height);
  for (int y = 0; y < g.height; ++y) {
    const uchar* p = rgb.constScanLine(y);
    for (int x = 0; x < g.width; ++x, p += 3) g.at(x, y) = 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
  }
  return g;
}

// Box (area-mean) resampling to any size, up or down.
Gray Resized(const Gray& src, int width, int height) {
  Gray out{width, height, std::vector<double>(static_cast<size_t>(width) * height, 0.0)};
  for (int y = 0; y < height; ++y) {
    const double y0 = double(y) * src.height / height, y1 = double(y + 1) * src.height / height;
    for (int x = 0; x < width; ++x) {
      const double x0 = double(x) * src.width / width, x1 = double(x + 1) * src.width / width;
      double sum = 0, area = 0;
      for (int sy = int(y0); sy < std::min(src.height, int(std::ceil(y1))); ++sy) {
        const double wy = std::min(y1, sy + 1.0) - std::max(y0, double(sy));
        for (int sx = int(x0); sx < std::min(src.width, int(std::ceil(x1))); ++sx) {
          const double w = wy * (std::min(x1, sx + 1.0) - std::max(x0, double(sx)));
          sum += w * src.at(sx, sy);
          area += w;
        }
      }
      out.at(x, y) = area > 0 ? sum / area : 0;
    }
  }
  return out;
}

double Pearson(const std::vector<double>& a, const std::vector<double>& b) {
  const double n = static_cast<double>(a.size());
  double ma = 0, mb = 0;
  for (size_t i = 0; i < a.size(); ++i) ma += a[i] / n, mb += b[i] / n;
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    sab += (a[i] - ma) * (b[i] - mb), saa += (a[i] - ma) * (a[i] - ma), sbb += (b[i] - mb) * (b[i] - mb);
  }
  return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

// A separable Gaussian blur (kernel cut at 3 sigma, edges mirrored).
Gray Blurred(const Gray& src, double sigma) {
  const int radius = static_cast<int>(std::ceil(3 * sigma));
  std::vector<double> k(static_cast<size_t>(2 * radius + 1));
  double total = 0;
  for (int i = -radius; i <= radius; ++i) total += k[static_cast<size_t>(i + radius)] = std::exp(-i * i / (2 * sigma * sigma));
  for (double& w : k) w /= total;
  const auto mirror = [](int i, int n) {
    while (i < 0 || i >= n) i = i < 0 ? -i - 1 : 2 * n - i - 1;
    return i;
  };
  Gray across = src, out = src;
  for (int y = 0; y < src.height; ++y) {
    for (int x = 0; x < src.width; ++x) {
      double s = 0;
      for (int i = -radius; i <= radius; ++i) s += k[static_cast<size_t>(i + radius)] * src.at(mirror(x + i, src.width), y);
      across.at(x, y) = s;
    }
  }
  for (int y = 0; y < src.height; ++y) {
    for (int x = 0; x < src.width; ++x) {
      double s = 0;
      for (int i = -radius; i <= radius; ++i) {
        s += k[static_cast<size_t>(i + radius)] * across.at(x, mirror(y + i, src.height));
      }
      out.at(x, y) = s;
    }
  }
  return out;
}

Gray Product(const Gray& a, const Gray& b) {
  Gray p = a;
  for (size_t i = 0; i < p.v.size(); ++i) p.v[i] = a.v[i] * b.v[i];
  return p;
}

// SSIM with a Gaussian window of `sigma`, the usual constants for 0..255.
double Ssim(const Gray& a, const Gray& b, double sigma) {
  const double c1 = std::pow(0.01 * 255, 2), c2 = std::pow(0.03 * 255, 2);
  const Gray ma = Blurred(a, sigma), mb = Blurred(b, sigma);
  const Gray aa = Blurred(Product(a, a), sigma), bb = Blurred(Product(b, b), sigma), ab = Blurred(Product(a, b), sigma);
  double sum = 0;
  for (size_t i = 0; i < a.v.size(); ++i) {
    const double va = aa.v[i] - ma.v[i] * ma.v[i], vb = bb.v[i] - mb.v[i] * mb.v[i], cov = ab.v[i] - ma.v[i] * mb.v[i];
    sum += (2 * ma.v[i] * mb.v[i] + c1) * (2 * cov + c2) /
           ((ma.v[i] * ma.v[i] + mb.v[i] * mb.v[i] + c1) * (va + vb + c2));
  }
  return sum / static_cast<double>(a.v.size());
}

struct Figures {
  double cellCorrelation = 0, blurredSsim = 0;
};

// The drawing of `rows` (W cells by H rows) against the source gray.
Figures Measure(const Gray& source, const QImage& drawing, int cells, int rows) {
  const Gray drawn = GrayOf(drawing);
  const Gray sourceCells = Resized(source, cells, rows), drawnCells = Resized(drawn, cells, rows);
  Figures f;
  f.cellCorrelation = Pearson(sourceCells.v, drawnCells.v);
  const Gray reference = Resized(source, drawn.width, drawn.height);
  f.blurredSsim = Ssim(Blurred(reference, kCell / 2.0), Blurred(drawn, kCell / 2.0), kCell);
  return f;
}

QImage Draw(const QString& text, int cells, int rows) {
  TFrameRenderer renderer(MovieFont(kCell), Qt::black, Qt::white);
  return renderer.Render(text, QSize(cells * kCell, rows * kCell)).convertToFormat(QImage::Format_RGB888);
}

// The rows of a frame the engine wrote, decoded, without the marker and info lines.
QString EngineRows(TConverter& engine, const QImage& photo, int cells, int rows) {
  engine.OutputRect = TRect{0, 0, cells, rows};
  QImage picture;
  if (engine.FinePicture) {
    picture = photo;
  } else {
    bmp::StretchPicture(photo, cells, rows, &picture);
  }
  std::string frame;
  const size_t rowsEnd = engine.AppendFrame(picture, &frame);
  return gbk::Decode(std::string_view(frame).substr(0, rowsEnd));
}

// Nearest pixel, as the classic picture samples, but each gray taking the
// default table's unit by measured ink.
QString ByInkRows(const QImage& photo, int cells, int rows) {
  const std::string table = gbk::DefaultGrayTable();
  const std::vector<GrayUnit> units = WalkGrayUnits(table);
  const std::array<uint16_t, 256> levels = fine::CalibratedLevels(table);
  QImage picture;
  bmp::StretchPicture(photo, cells, rows, &picture);
  std::string text;
  for (int y = 0; y < rows; ++y) {
    const uchar* p = picture.constScanLine(y);
    for (int x = 0; x < cells; ++x, p += 3) {
      const GrayUnit& u = units[levels[static_cast<size_t>(GrayLevelOf(p[0], p[1], p[2]))]];
      text.append(table, u.offset, u.length);
    }
    text += "\r\n";
  }
  return gbk::Decode(text);
}

// A peer's output as exactly `columns` x `rows` single-byte characters.
QString PeerRows(const QByteArray& output, int columns, int rows) {
  QString text = QString::fromUtf8(output);
  text.remove(QRegularExpression(QStringLiteral("\x1b\\[[0-9;?]*[A-Za-z]")));
  QStringList lines = text.split(QLatin1Char('\n'));
  QString out;
  for (int r = 0; r < rows; ++r) {
    QString line = r < lines.size() ? lines[r] : QString();
    line.remove(QLatin1Char('\r'));
    out += line.left(columns).leftJustified(columns, QLatin1Char(' ')) + QStringLiteral("\r\n");
  }
  return out;
}

QByteArray Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  p.waitForFinished(-1);
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    std::fprintf(stderr, "picture_bench: %s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
  }
  return p.readAllStandardOutput();
}

QString SkimageData() {
  const QByteArray out = Run(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral("-c"),
                              QStringLiteral("import os, skimage.data; print(os.path.dirname(skimage.data.__file__))")});
  return QString::fromUtf8(out).trimmed();
}

bool HaveTools() {
  return !QStandardPaths::findExecutable(QStringLiteral("jp2a")).isEmpty() &&
         !QStandardPaths::findExecutable(QStringLiteral("chafa")).isEmpty() &&
         QFileInfo::exists(SkimageData() + QStringLiteral("/camera.png"));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QGuiApplication app(argc, argv);
  QString picturePath;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--picture") && i + 1 < args.size()) picturePath = args[++i];
  }
  if (!HaveTools()) {
    if (geteuid() == 0) {
      std::system("bash " GLYPHREEL_SOURCE_DIR "/tools/install-deps.sh python3-skimage jp2a chafa");
    }
    if (!HaveTools()) {
      std::fprintf(stderr, "picture_bench: needs the Debian packages python3-skimage, jp2a and chafa\n");
      return 1;
    }
  }
  const QString data = SkimageData();
  QTemporaryDir work;

  const std::vector<std::string> tools = {"classic", "fine", "jp2a", "chafa", "by ink", "fine default"};
  std::map<std::string, std::map<int, std::vector<Figures>>> results;  // tool -> cells -> per photo
  std::map<std::string, QImage> pictureOf;                              // the side-by-side photo's drawings
  QImage pictureSource;
  std::printf("%-20s %-9s %-12s %8s %8s\n", "photo", "cells", "tool", "cell r", "SSIM");
  for (const char* name : kPhotos) {
    const QString path = data + QLatin1Char('/') + QLatin1String(name);
    QImage photo(path);
    if (photo.isNull()) continue;
    photo = photo.convertToFormat(QImage::Format_RGB888)
                .scaled(kPhotoWidth, kPhotoHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString png = work.filePath(QLatin1String(name) + QStringLiteral(".png"));
    photo.save(png);
    const Gray source = GrayOf(photo);
    for (const auto& [cells, rows] : {std::pair{80, 60}, std::pair{160, 120}}) {
      TConverter engine;
      engine.FrameMarker = kFrameMarker;
      std::map<std::string, QString> texts;
      engine.GrayTable = gbk::DefaultGrayTable();
      engine.GrayLevels = CountGrayUnits(engine.GrayTable);
      texts["classic"] = EngineRows(engine, photo, cells, rows);
      engine.FinePicture = true;
      texts["fine default"] = EngineRows(engine, photo, cells, rows);
      engine.GrayTable = fine::FineGrayTable();
      engine.GrayLevels = CountGrayUnits(engine.GrayTable);
      texts["fine"] = EngineRows(engine, photo, cells, rows);
      texts["by ink"] = ByInkRows(photo, cells, rows);
      const QString size = QStringLiteral("%1x%2").arg(2 * cells).arg(rows);
      texts["jp2a"] = PeerRows(Run(QStringLiteral("jp2a"), {QStringLiteral("--size=") + size,
                                                             QStringLiteral("--background=light"), png}),
                               2 * cells, rows);
      texts["chafa"] = PeerRows(Run(QStringLiteral("chafa"), {QStringLiteral("--symbols"), QStringLiteral("ascii"),
                                                              QStringLiteral("--colors"), QStringLiteral("none"),
                                                              QStringLiteral("--invert"), QStringLiteral("--stretch"),
                                                              QStringLiteral("--format"), QStringLiteral("symbols"),
                                                              QStringLiteral("--animate"), QStringLiteral("off"),
                                                              QStringLiteral("--size"), size, png}),
                                2 * cells, rows);
      for (const std::string& tool : tools) {
        const QImage drawing = Draw(texts[tool], cells, rows);
        const Figures f = Measure(source, drawing, cells, rows);
        results[tool][cells].push_back(f);
        std::printf("%-20s %3dx%-5d %-12s %8.3f %8.3f\n", name, cells, rows, tool.c_str(), f.cellCorrelation,
                    f.blurredSsim);
        std::fflush(stdout);
        if (cells == 80 && std::string(name) == kPicturePhoto) pictureOf[tool] = drawing;
      }
      if (cells == 80 && std::string(name) == kPicturePhoto) {
        pictureSource = photo.scaled(cells * kCell, rows * kCell, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_Grayscale8);
      }
    }
  }

  std::printf("\nMeans over %zu photos, text drawn at %d px a cell:\n\n", results["classic"][80].size(), kCell);
  std::printf("| tool | cell correlation 80x60 | 160x120 | all | blurred SSIM 80x60 | 160x120 | all |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  std::map<std::string, double> ssimOf;
  for (const std::string& tool : tools) {
    double r[3] = {}, s[3] = {};
    int n[3] = {};
    for (int i = 0; i < 2; ++i) {
      for (const Figures& f : results[tool][i == 0 ? 80 : 160]) {
        r[i] += f.cellCorrelation, s[i] += f.blurredSsim, ++n[i];
        r[2] += f.cellCorrelation, s[2] += f.blurredSsim, ++n[2];
      }
    }
    for (int i = 0; i < 3; ++i) r[i] /= std::max(1, n[i]), s[i] /= std::max(1, n[i]);
    ssimOf[tool] = s[2];
    std::printf("| %s | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f |\n", tool.c_str(), r[0], r[1], r[2], s[0], s[1], s[2]);
  }
  const std::string bestPeer = ssimOf["jp2a"] >= ssimOf["chafa"] ? "jp2a" : "chafa";
  std::printf("\nbest peer by blurred SSIM: %s; fine mode is %+.3f above it\n", bestPeer.c_str(),
              ssimOf["fine"] - ssimOf[bestPeer]);

  if (!picturePath.isEmpty() && !pictureSource.isNull()) {
    // Source | classic | fine | best peer, with a white gap between them.
    const int w = pictureSource.width(), h = pictureSource.height(), gap = 8;
    QImage side(4 * w + 3 * gap, h, QImage::Format_Grayscale8);
    side.fill(Qt::white);
    QPainter p(&side);
    const QImage parts[] = {pictureSource, pictureOf["classic"], pictureOf["fine"], pictureOf[bestPeer]};
    for (int i = 0; i < 4; ++i) p.drawImage(i * (w + gap), 0, parts[i]);
    p.end();
    if (side.save(picturePath)) std::printf("wrote %s (source | classic | fine | %s)\n", qPrintable(picturePath), bestPeer.c_str());
  }
  return 0;
}
