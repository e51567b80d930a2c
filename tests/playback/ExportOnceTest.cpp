// Exports against real faults and a real player: a full disk, a read-only
// folder, and headless Chromium playing MP4 and WebM exports to their end in
// real time. Run once (mounts, a browser in real time), not under the
// sanitizer build.
#include "playback/MovieExport.h"

#include "playback/ExportSupport.h"
#include "playback/TextPic.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cstdlib>

namespace {

using namespace testing_support;

TTextPic NoisyMovie(const std::string& path, int frames) {
  // A busy picture that compresses badly, so the export outgrows a small disk.
  WriteAll(path, export_support::MovieText(frames, 120, 90, 100, [](int k, int x, int y) {
             uint32_t h = uint32_t(k * 7919 + x * 104729 + y * 1299709);
             h ^= h >> 13;
             h *= 0x5bd1e995u;
             return ((h >> 15) & 1) != 0;
           }));
  TTextPic movie;
  movie.FrameMarker = "\x80\x80";
  EXPECT_TRUE(movie.LoadFromFile(path));
  return movie;
}

// A small tmpfs at a fresh folder, unmounted at the end.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& at, const char* options) : path_(at) {
    QDir().mkpath(QString::fromStdString(at));
    mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, options) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  bool MakeReadOnly() {
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=2m") == 0;
  }

 private:
  std::string path_;
  bool mounted_ = false;
};

QStringList Entries(const std::string& folder) {
  return QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A full disk and a read-only folder fail the export with the system's
// reason, leave no partial file, and keep an older file of the same name.
TEST(ExportFaults, FullOrReadOnlyDiskLeavesNoPartialFile) {
  TempFolder dir;
  const TTextPic movie = NoisyMovie(dir / "movie.txt", 30);
  for (const char* extension : {".mkv", ".mp4"}) {
    SCOPED_TRACE(extension);
    SmallDisk disk(dir / (std::string("disk") + extension), "size=1m");
    if (!disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs is refused here";
    const std::string folder = dir / (std::string("disk") + extension + "/");
    movie_export::Options options;
    options.output = folder + "out" + extension;
    const movie_export::Result full = movie_export::Export(movie, options);
    EXPECT_FALSE(full.ok);
    EXPECT_NE(full.error.find("No space left on device"), std::string::npos) << full.error;
    EXPECT_TRUE(Entries(folder).isEmpty()) << Entries(folder).join(QLatin1Char(' ')).toStdString();

    WriteAll(options.output, "older");
    ASSERT_TRUE(disk.MakeReadOnly());
    options.overwrite = true;
    const movie_export::Result readOnly = movie_export::Export(movie, options);
    EXPECT_FALSE(readOnly.ok);
    EXPECT_NE(readOnly.error.find("Read-only file system"), std::string::npos) << readOnly.error;
    EXPECT_EQ(ReadAll(options.output), "older");
    EXPECT_EQ(Entries(folder).size(), 1);
  }
}

// A tiny web server for the browser: serves a folder's files and reports the
// page's own messages ("/report?...") to the test.
class PageServer {
 public:
  explicit PageServer(const std::string& folder) : folder_(folder) {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(socket); });
      }
    });
  }
  QString Url(const QString& file) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(server_.serverPort()).arg(file);
  }
  QStringList reports;

 private:
  void Serve(QTcpSocket* socket) {
    const QByteArray request = socket->readAll();
    const QByteArray path = request.split(' ').value(1);
    QByteArray body, type = "text/plain";
    if (path.startsWith("/report?")) {
      reports << QUrl::fromPercentEncoding(path.mid(8));
    } else {
      QFile file(QString::fromStdString(folder_) + QString::fromUtf8(path.mid(1)));
      if (file.open(QIODevice::ReadOnly)) body = file.readAll();
      if (path.endsWith(".mp4")) type = "video/mp4";
      if (path.endsWith(".webm")) type = "video/webm";
      if (path.endsWith(".html")) type = "text/html; charset=utf-8";
    }
    socket->write("HTTP/1.0 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  }

  std::string folder_;
  QTcpServer server_;
};

// The MP4 and WebM exports play to their end in headless Chromium, in real
// time: the <video> element fires "ended" at the export's full length.
TEST(ExportInBrowser, Mp4AndWebmPlayToTheirEnd) {
  const QString browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
  ASSERT_FALSE(browser.isEmpty()) << "chromium is installed by tools/install-deps.sh";
  TempFolder dir;
  WriteAll(dir / "movie.txt", export_support::MovieText(12, 30, 20, 100, [](int k, int x, int) { return x == k; }));
  TTextPic movie;
  movie.FrameMarker = "\x80\x80";
  ASSERT_TRUE(movie.LoadFromFile(dir / "movie.txt"));
  for (const char* extension : {".mp4", ".webm"}) {
    SCOPED_TRACE(extension);
    movie_export::Options options;
    options.output = dir / (std::string("movie") + extension);
    ASSERT_TRUE(movie_export::Export(movie, options).ok);
    WriteAll(dir / "page.html",
             std::string("<!doctype html><video muted autoplay src=\"movie") + extension +
                 "\"></video><script>\n"
                 "const v = document.querySelector('video');\n"
                 "const say = (what) => fetch('/report?' + encodeURIComponent(what));\n"
                 "v.addEventListener('ended', () => say('ended ' + v.currentTime.toFixed(2) + ' ' +\n"
                 "                                     v.duration.toFixed(2)));\n"
                 "v.addEventListener('error', () => say('error ' + (v.error && v.error.code)));\n"
                 "</script>\n");
    PageServer server(dir.Path());
    QProcess chromium;
    chromium.start(browser, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                             QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
                             QStringLiteral("--autoplay-policy=no-user-gesture-required"),
                             QStringLiteral("--remote-debugging-port=0"),
                             QStringLiteral("--user-data-dir=") + QString::fromStdString(dir / "profile"),
                             server.Url(QStringLiteral("page.html"))});
    ASSERT_TRUE(chromium.waitForStarted());
    // Bounded wait for the page's report; the movie lasts 1.3 s.
    QElapsedTimer waited;
    waited.start();
    while (server.reports.isEmpty() && waited.elapsed() < 60000 && chromium.state() == QProcess::Running) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    chromium.kill();
    chromium.waitForFinished();
    ASSERT_FALSE(server.reports.isEmpty()) << "no report from the page: "
                                           << chromium.readAllStandardError().left(2000).toStdString();
    const QStringList words = server.reports.front().split(QLatin1Char(' '));
    ASSERT_EQ(words.value(0), QStringLiteral("ended")) << server.reports.front().toStdString();
    EXPECT_NEAR(words.value(1).toDouble(), 1.3, 0.05) << "played to the end";
    EXPECT_NEAR(words.value(2).toDouble(), 1.3, 0.05) << "the browser's idea of the length";
  }
}

}  // namespace
