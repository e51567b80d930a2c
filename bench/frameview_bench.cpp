// Frame view speed: time to show one frame (set the text and paint it),
// offscreen, for 100 frames of a converted movie at 160 x 120 and 320 x 240
// cells, with the window's font ("宋体") at 9 and 12 pixels.
//
// Each case paints
//   pane   the part a pane of the main window shows (kPaneWidth x kPaneHeight,
//          the label at the pane's top-left corner, sized as the player sizes it),
//   whole  the whole label (every line and cell of the frame),
// and, for comparison, setting the text alone (text), decoding it (decode),
// a plain QLabel in the same pane, and the floors: filling the pane (fill)
// and filling an image of the whole label (fillall). Figures are medians over the frames (the first
// frame, which builds the cell pictures, is reported apart).
//
// Usage: frameview_bench
#include "BenchSupport.h"
#include "app/Fonts.h"
#include "common/Gbk.h"
#include "conversion/BmpTxt.h"
#include "playback/FrameLabel.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 100;
constexpr int kPaneWidth = 800, kPaneHeight = 600;  // a generous lower right pane

// A moving picture at the movie's own size: rings, a sweeping edge, noise.
QImage Picture(int width, int height, int n) {
  QImage image(width, height, QImage::Format_RGB888);
  uint32_t seed = 99u + static_cast<uint32_t>(n);
  for (int y = 0; y < height; ++y) {
    uchar* line = image.scanLine(y);
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double d = std::hypot(x - width / 2.0 - width / 4.0 * std::sin(n / 15.0), (y - height / 2.0) * 1.3);
      int v = static_cast<int>(127 + 110 * std::sin(d / (width / 40.0) - n / 4.0)) + static_cast<int>(seed >> 29);
      if ((x + 2 * n) % width < width / 20) v = 255 - v;
      const uchar g = static_cast<uchar>(std::clamp(v, 0, 255));
      line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = g;
    }
  }
  return image;
}

std::vector<std::string> Movie(int width, int height) {
  TConverter engine;
  bench::SetUpEngine(engine, width, height, 67);
  std::vector<std::string> frames;
  for (int n = 0; n < kFrames; ++n) {
    engine.FrameIndex = n;
    frames.push_back(engine.BitmapToFrame(Picture(width, height, n)));
  }
  return frames;
}

QFont SongTi(int pixels) {
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(pixels);
  return font;
}

struct Figures {
  double first = 0, median = 0, worst = 0;  // milliseconds
};

// Times show(frame) for every frame.
Figures Time(const std::vector<std::string>& frames, const std::function<void(const std::string&)>& show) {
  std::vector<double> ms;
  for (const std::string& frame : frames) {
    const auto start = std::chrono::steady_clock::now();
    show(frame);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  Figures f;
  f.first = ms.front();
  std::vector<double> rest(ms.begin() + 1, ms.end());
  std::sort(rest.begin(), rest.end());
  f.median = rest[rest.size() / 2];
  f.worst = rest.back();
  return f;
}

void Report(const char* what, int w, int h, int s, const Figures& f) {
  std::printf("%-8s %3d x %3d  %2d px   median %7.2f ms   worst %7.2f ms   first %7.2f ms\n", what, w, h, s,
              f.median, f.worst, f.first);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  InstallFontSubstitutions();

  const int sizes[][2] = {{160, 120}, {320, 240}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    const std::vector<std::string> frames = Movie(w, h);
    std::printf("%d frames of %d x %d cells, %zu bytes each\n", kFrames, w, h, frames.front().size());
    for (int s : {9, 12}) {
      QImage paneImage(kPaneWidth, kPaneHeight, QImage::Format_ARGB32_Premultiplied);

      {  // the frame view in a pane
        QWidget pane;
        pane.resize(kPaneWidth, kPaneHeight);
        FrameLabel label(&pane);
        label.setFont(SongTi(s));
        label.setColors(Qt::black, Qt::white);
        label.setGeometry(0, 0, s * w + 20, s * (h + 2) + 20);
        Report("pane", w, h, s, Time(frames, [&](const std::string& frame) {
                 label.setFrame(frame);
                 pane.render(&paneImage);
               }));
      }
      {  // setting the text alone: decoding and cutting into cells
        FrameLabel label;
        label.setFont(SongTi(s));
        Report("text", w, h, s, Time(frames, [&](const std::string& frame) { label.setFrame(frame); }));
        Report("decode", w, h, s, Time(frames, [&](const std::string& frame) { (void)gbk::Decode(frame); }));
      }
      {  // the whole frame view
        FrameLabel label;
        label.setFont(SongTi(s));
        label.setColors(Qt::black, Qt::white);
        label.setFrame(frames.front());
        label.resize(s * w + 20, s * (h + 2));
        QImage whole(label.size(), QImage::Format_ARGB32_Premultiplied);
        Report("whole", w, h, s, Time(frames, [&](const std::string& frame) {
                 label.setFrame(frame);
                 label.render(&whole);
               }));
        Report("fillall", w, h, s, Time(frames, [&](const std::string&) {
                 QPainter p(&whole);
                 p.fillRect(whole.rect(), Qt::white);
               }));
      }
      {  // a plain label in the same pane, for comparison
        QWidget pane;
        pane.resize(kPaneWidth, kPaneHeight);
        QLabel label(&pane);
        label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label.setAutoFillBackground(true);
        label.setFont(SongTi(s));
        label.setGeometry(0, 0, s * w + 20, s * (h + 2) + 20);
        const std::vector<std::string> some(frames.begin(), frames.begin() + 21);
        Report("QLabel", w, h, s, Time(some, [&](const std::string& frame) {
                 label.setText(gbk::Decode(frame));
                 pane.render(&paneImage);
               }));
      }
      {  // the floor: filling the pane
        Report("fill", w, h, s, Time(frames, [&](const std::string&) {
                 QPainter p(&paneImage);
                 p.fillRect(paneImage.rect(), Qt::white);
               }));
      }
    }
  }
  std::printf("(QLabel: 20 frames; times on a shared machine, offscreen platform)\n");
  return 0;
}
