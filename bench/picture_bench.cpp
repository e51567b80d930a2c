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
// single-byte columns. Every text is drawn black on white by FrameRenderer
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
#include "PictureMeasures.h"
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

using bench::Plane;

constexpr int kCell = 9;                  // pixels a cell, as the player and the export default to
const char* const kPicturePhoto = "astronaut.png";  // the side-by-side picture's

struct Figures {
  double cellCorrelation = 0, blurredSsim = 0;
};

// The drawing of `rows` (W cells by H rows) against the source gray.
Figures Measure(const Plane& source, const QImage& drawing, int cells, int rows) {
  const Plane drawn = bench::PlaneOf(drawing);
  Figures f;
  f.cellCorrelation = bench::Pearson(bench::Resized(source, cells, rows).v, bench::Resized(drawn, cells, rows).v);
  f.blurredSsim = bench::BlurredSsim(source, drawn, kCell);
  return f;
}

QImage Draw(const QString& text, int cells, int rows) {
  FrameRenderer renderer(MovieFont(kCell), Qt::black, Qt::white);
  return renderer.Render(text, QSize(cells * kCell, rows * kCell)).convertToFormat(QImage::Format_RGB888);
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

bool HaveTools() {
  return !QStandardPaths::findExecutable(QStringLiteral("jp2a")).isEmpty() &&
         !QStandardPaths::findExecutable(QStringLiteral("chafa")).isEmpty() && !bench::SkimageData().isEmpty();
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
  if (!bench::HaveOrInstall(HaveTools, "python3-skimage jp2a chafa", GLYPHREEL_SOURCE_DIR)) {
    std::fprintf(stderr, "picture_bench: needs the Debian packages python3-skimage, jp2a and chafa\n");
    return 1;
  }
  const QString data = bench::SkimageData();
  QTemporaryDir work;

  const std::vector<std::string> tools = {"classic", "fine", "jp2a", "chafa", "by ink", "fine default"};
  std::map<std::string, std::map<int, std::vector<Figures>>> results;  // tool -> cells -> per photo
  std::map<std::string, QImage> pictureOf;                              // the side-by-side photo's drawings
  QImage pictureSource;
  std::printf("%-20s %-9s %-12s %8s %8s\n", "photo", "cells", "tool", "cell r", "SSIM");
  for (const std::string& photoName : bench::PhotoNames()) {
    const char* name = photoName.c_str();
    const QImage photo = bench::Photo(data, photoName);
    if (photo.isNull()) continue;
    const QString png = work.filePath(QLatin1String(name) + QStringLiteral(".png"));
    photo.save(png);
    const Plane source = bench::PlaneOf(photo);
    for (const auto& [cells, rows] : {std::pair{80, 60}, std::pair{160, 120}}) {
      TConverter engine;
      engine.FrameMarker = kFrameMarker;
      std::map<std::string, QString> texts;
      engine.GrayTable = gbk::DefaultGrayTable();
      engine.GrayLevels = CountGrayUnits(engine.GrayTable);
      texts["classic"] = bench::EngineRows(engine, photo, cells, rows);
      engine.FinePicture = true;
      texts["fine default"] = bench::EngineRows(engine, photo, cells, rows);
      engine.GrayTable = fine::FineGrayTable();
      engine.GrayLevels = CountGrayUnits(engine.GrayTable);
      texts["fine"] = bench::EngineRows(engine, photo, cells, rows);
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
