// How alike a drawn picture and its source are, for the benchmarks that
// measure pictures (picture_bench, export_bench), and the photographs they
// measure them on (the ones python3-skimage ships).
//
//   - cell correlation: Pearson's r between the cells' mean source values
//     and the drawn cells' mean values;
//   - blurred SSIM: the SSIM of the source (resized to the drawing's size)
//     and the drawing, both blurred by a Gaussian of sigma s / 2, with a
//     Gaussian window of sigma s, s the cell's size in pixels.
// A plane holds one value per pixel: the gray (0.3 R + 0.59 G + 0.11 B, as
// the conversion weighs them) or one of R, G and B.
#pragma once

#include "common/Gbk.h"
#include "conversion/BmpReader.h"
#include "conversion/BmpTxt.h"

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QString>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// One value per pixel, in doubles.
struct Plane {
  int width = 0, height = 0;
  std::vector<double> v;
  double& at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
  double at(int x, int y) const { return v[static_cast<size_t>(y) * width + x]; }
};

// Which plane of a picture: its gray, or one of its channels.
enum class Channel { Gray, Red, Green, Blue };

inline Plane PlaneOf(const QImage& image, Channel channel = Channel::Gray) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  Plane g{rgb.width(), rgb.height(), {}};
  g.v.resize(static_cast<size_t>(g.width) * g.height);
  for (int y = 0; y < g.height; ++y) {
    const uchar* p = rgb.constScanLine(y);
    for (int x = 0; x < g.width; ++x, p += 3) {
      switch (channel) {
        case Channel::Gray: g.at(x, y) = 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2]; break;
        case Channel::Red: g.at(x, y) = p[0]; break;
        case Channel::Green: g.at(x, y) = p[1]; break;
        case Channel::Blue: g.at(x, y) = p[2]; break;
      }
    }
  }
  return g;
}

// Box (area-mean) resampling to any size, up or down.
inline Plane Resized(const Plane& src, int width, int height) {
  Plane out{width, height, std::vector<double>(static_cast<size_t>(width) * height, 0.0)};
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

inline double Pearson(const std::vector<double>& a, const std::vector<double>& b) {
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
inline Plane Blurred(const Plane& src, double sigma) {
  const int radius = static_cast<int>(std::ceil(3 * sigma));
  std::vector<double> k(static_cast<size_t>(2 * radius + 1));
  double total = 0;
  for (int i = -radius; i <= radius; ++i) total += k[static_cast<size_t>(i + radius)] = std::exp(-i * i / (2 * sigma * sigma));
  for (double& w : k) w /= total;
  const auto mirror = [](int i, int n) {
    while (i < 0 || i >= n) i = i < 0 ? -i - 1 : 2 * n - i - 1;
    return i;
  };
  // One line blurred: the line padded with its mirror images, then a plain sum.
  std::vector<double> padded;
  const auto line = [&](int n, const auto& value, const auto& store) {
    padded.resize(static_cast<size_t>(n + 2 * radius));
    for (int i = -radius; i < n + radius; ++i) padded[static_cast<size_t>(i + radius)] = value(mirror(i, n));
    for (int i = 0; i < n; ++i) {
      double s = 0;
      const double* p = padded.data() + i;
      for (size_t j = 0; j < k.size(); ++j) s += k[j] * p[j];
      store(i, s);
    }
  };
  Plane across = src, out = src;
  for (int y = 0; y < src.height; ++y) {
    line(src.width, [&](int x) { return src.at(x, y); }, [&](int x, double s) { across.at(x, y) = s; });
  }
  for (int x = 0; x < src.width; ++x) {
    line(src.height, [&](int y) { return across.at(x, y); }, [&](int y, double s) { out.at(x, y) = s; });
  }
  return out;
}

inline Plane Product(const Plane& a, const Plane& b) {
  Plane p = a;
  for (size_t i = 0; i < p.v.size(); ++i) p.v[i] = a.v[i] * b.v[i];
  return p;
}

// A source plane made ready for the blurred SSIM of drawings of one size:
// resized to it, blurred by sigma s / 2, and the window's means of it and of
// its square.
struct BlurredReference {
  BlurredReference(const Plane& source, int width, int height, int cell)
      : cell(cell), blurred(Blurred(Resized(source, width, height), cell / 2.0)),
        mean(Blurred(blurred, cell)), meanOfSquares(Blurred(Product(blurred, blurred), cell)) {}
  int cell;
  Plane blurred, mean, meanOfSquares;
};

// The blurred SSIM of `drawn` (the reference's size) against the reference:
// SSIM with a Gaussian window of sigma s, the usual constants for 0..255.
inline double BlurredSsim(const BlurredReference& reference, const Plane& drawn) {
  const double c1 = std::pow(0.01 * 255, 2), c2 = std::pow(0.03 * 255, 2);
  const double sigma = reference.cell;
  const Plane b = Blurred(drawn, reference.cell / 2.0);
  const Plane& ma = reference.mean;
  const Plane& aa = reference.meanOfSquares;
  const Plane mb = Blurred(b, sigma), bb = Blurred(Product(b, b), sigma),
              ab = Blurred(Product(reference.blurred, b), sigma);
  double sum = 0;
  for (size_t i = 0; i < b.v.size(); ++i) {
    const double va = aa.v[i] - ma.v[i] * ma.v[i], vb = bb.v[i] - mb.v[i] * mb.v[i], cov = ab.v[i] - ma.v[i] * mb.v[i];
    sum += (2 * ma.v[i] * mb.v[i] + c1) * (2 * cov + c2) /
           ((ma.v[i] * ma.v[i] + mb.v[i] * mb.v[i] + c1) * (va + vb + c2));
  }
  return sum / static_cast<double>(b.v.size());
}

// The blurred SSIM of a drawing at `cell` pixels a cell against its source
// plane (any size).
inline double BlurredSsim(const Plane& source, const Plane& drawn, int cell) {
  return BlurredSsim(BlurredReference(source, drawn.width, drawn.height, cell), drawn);
}

// The photographs measured, each stretched to 640 x 480.
constexpr int kPhotoWidth = 640, kPhotoHeight = 480;
inline const std::vector<std::string>& PhotoNames() {
  static const std::vector<std::string> names = {"astronaut.png", "camera.png", "coffee.png", "chelsea.png",
                                                 "rocket.jpg",    "retina.jpg", "coins.png",  "motorcycle_left.png"};
  return names;
}

// The folder of python3-skimage's photographs; empty when it is not installed.
inline QString SkimageData() {
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"),
          {QStringLiteral("-c"), QStringLiteral("import os, skimage.data; print(os.path.dirname(skimage.data.__file__))")});
  p.waitForFinished(-1);
  const QString folder = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
  return p.exitCode() == 0 && QFileInfo::exists(folder + QStringLiteral("/camera.png")) ? folder : QString();
}

// Whether `check()` holds, installing the Debian `packages` through
// tools/install-deps.sh first when it does not and we may (as root).
template <typename Check>
bool HaveOrInstall(const Check& check, const std::string& packages, const char* sourceDir) {
  if (check()) return true;
  if (geteuid() == 0) std::system(("bash " + std::string(sourceDir) + "/tools/install-deps.sh " + packages).c_str());
  return check();
}

// The photograph `name` stretched to 640 x 480 (RGB888); null when missing.
inline QImage Photo(const QString& folder, const std::string& name) {
  QImage photo(folder + QLatin1Char('/') + QString::fromStdString(name));
  if (photo.isNull()) return photo;
  return photo.convertToFormat(QImage::Format_RGB888)
      .scaled(kPhotoWidth, kPhotoHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The rows of the frame `engine` writes for `photo` at `cells` x `rows`,
// decoded, without the marker and info lines.
inline QString EngineRows(TConverter& engine, const QImage& photo, int cells, int rows) {
  engine.OutputRect = Rect{0, 0, cells, rows};
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

}  // namespace bench
