// The window under a real X session with a window manager (a virtual display
// and openbox, started by main() below): what only a desktop shows, a box
// minimized and restored, the outer size the settings give back, and texts
// that fit the default size in both languages.
#include "WindowFixture.h"

#include "app/AboutB.h"
#include "app/Fonts.h"
#include "shell/Language.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QToolButton>
#include <QTranslator>
#include <QToolBar>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Why the desktop could not be started; empty when it runs.
std::string g_noDesktop;

class Desktop : public WindowTest {
 protected:
  void SetUp() override {
    if (!g_noDesktop.empty()) GTEST_SKIP() << g_noDesktop;
  }
  TForm1& Framed(const char* ini) {
    TForm1& f = Start(ini);
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    QTest::qWait(200);
    return f;
  }
};

// `w` lies wholly inside each of its parents up to its window.
bool InsideItsWindow(const QWidget* w) {
  QRect area = w->rect();
  for (; !w->isWindow() && w->parentWidget(); w = w->parentWidget()) {
    area.translate(w->pos());
    if (!w->parentWidget()->rect().contains(area)) return false;
  }
  return true;
}

// The labels and buttons of `root` whose text does not show whole: cut short,
// or cut off by the page or pane they sit in (the status bar's panels, whose
// widths are fixed, and the icon-only tool buttons aside).
QStringList CutTexts(QWidget* root) {
  QStringList cut;
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (!w->isVisible() || qobject_cast<QStatusBar*>(w->parentWidget()) || qobject_cast<QToolButton*>(w)) continue;
    auto* label = qobject_cast<QLabel*>(w);
    auto* button = qobject_cast<QAbstractButton*>(w);
    const QString text = label ? label->text() : button ? button->text() : QString();
    // (A push button's hint adds the style's least width: its text is what must fit.)
    const int needed = qobject_cast<QPushButton*>(w) ? button->fontMetrics().horizontalAdvance(text) + 8 : w->sizeHint().width();
    if (!text.isEmpty() && !(label && label->wordWrap()) && (needed > w->width() || !InsideItsWindow(w))) cut << text;
  }
  return cut;
}

// In both languages, at the default 640 x 480: every label and button of
// every option page and of the about box shows its whole text; and start,
// use, close, start again: the stored outer size comes back exactly (also
// after the text player leaves the hint empty and the layout changes twice).
TEST_F(Desktop, TheDefaultSizeShowsEveryTextAndComesBackAtEveryStart) {
  for (const bool english : {false, true}) {
    QTranslator translator;
    if (english && LoadTranslation(WindowLanguage::English, translator)) QCoreApplication::installTranslator(&translator);
    const auto uninstall = qScopeGuard([&] { QCoreApplication::removeTranslator(&translator); });
    const char* ini = "[window]\r\nwidth=640\r\nheight=480\r\n";
    for (int start = 1; start <= 2; ++start, ini = nullptr) {
      SCOPED_TRACE(::testing::Message() << (english ? "English" : "Chinese") << ", start " << start);
      TForm1& f = Framed(ini);
      // (Qt may report no frame, or a nonsensical one, for a window openbox framed while it was being made.)
      auto framed = [&] { return f.frameGeometry().width() >= f.width(); };
      EXPECT_TRUE(QTest::qWaitFor([&] { return f.frameGeometry().size() == QSize(640, 480); }, 10000) || !framed())
          << f.frameGeometry().width() << "x" << f.frameGeometry().height();
      EXPECT_TRUE(f.width() <= 640 && f.height() <= 480) << f.width() << "x" << f.height() << " inside";
      QStringList cut;
      for (int page = 0; page < Parts(f).PgC->count(); ++page) {
        Parts(f).PgC->setCurrentIndex(page);
        QApplication::processEvents();
        cut << CutTexts(&f);
      }
      QTimer::singleShot(500, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) cut << CutTexts(box), box->close();
      });
      QTest::mouseClick(Parts(f).TBMainbar->widgetForAction(Parts(f).TBIAbout), Qt::LeftButton);
      EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1Char('\n')).toStdString();
      f.OpenTextMovie(Movie("three.txt", 3));
      QTest::mouseClick(Parts(f).TBTextbar->widgetForAction(Parts(f).TBIPlayText), Qt::LeftButton);
      for (int click = 0; click < 2; ++click) QTest::mouseClick(Parts(f).TBMainbar->widgetForAction(Parts(f).TBIWnd), Qt::LeftButton);
      QTest::qWait(300);
      EXPECT_TRUE(!framed() || f.frameGeometry().size() == QSize(640, 480));
      f.close();
      form.reset();
      EXPECT_NE(Ini().find("width=640\r\nheight=480\r\n"), std::string::npos) << Ini();
    }
  }
}

TEST_F(Desktop, TheAboutBoxKeepsItsLabelsWhenMinimizedAndRestored) {
  TForm1& f = Framed("");
  QStringList seen;
  QTimer poll;
  poll.setInterval(50);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<TAboutForm*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    poll.stop();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(box));
    seen << box->L_Name->text();
    box->showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->isMinimized(); }, 3000)) << "not minimized";
    QTest::qWait(200);
    box->showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box->isMinimized() && box->isVisible(); }, 3000)) << "not restored";
    QTest::qWait(200);
    seen << box->L_Name->text() << box->L_Ver->text() << box->L_Pro->text() << box->L_Date->text();
    box->accept();
  });
  poll.start();
  QTest::mouseClick(Parts(f).TBMainbar->widgetForAction(Parts(f).TBIAbout), Qt::LeftButton);
  poll.stop();
  ASSERT_EQ(seen.size(), 5);
  EXPECT_EQ(seen[0], "软件名: Glyphreel");
  EXPECT_EQ(seen[1], "软件名: Glyphreel") << "extended once per showing, not once per restore";
  EXPECT_EQ(seen[2].count(QStringLiteral("版  本: ")), 1);
  EXPECT_EQ(seen[3], "制作者: Glyphreel 开发组");
  EXPECT_EQ(seen[4], "日  期: 2009年12月");
}

// ---- The virtual display and its window manager -----------------------------------

pid_t Spawn(const std::vector<std::string>& words, int keepFd = -1) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  for (int fd = 3; fd < 256; ++fd) {
    if (fd != keepFd) close(fd);
  }
  execvp(argv[0], argv.data());
  _exit(127);
}

struct VirtualDesktop {
  pid_t server = -1, manager = -1;

  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return Fail("no pipe");
    server = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten", "tcp"},
                   fds[1]);
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return Fail("Xvfb did not start (tools/install-deps.sh installs xvfb)");
    setenv("DISPLAY", (":" + number).c_str(), 1);
    manager = Spawn({"openbox", "--sm-disable"});
    // The manager is up once it announces itself on the root window.
    for (int i = 0; i < 100; ++i) {
      QProcess probe;
      probe.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
      probe.waitForFinished(2000);
      if (probe.readAllStandardOutput().contains("window id")) return true;
      if (probe.error() == QProcess::FailedToStart) return Fail("xprop is missing (tools/install-deps.sh installs x11-utils)");
      int status = 0;
      if (waitpid(manager, &status, WNOHANG) == manager) {
        manager = -1;
        return Fail("openbox did not start (tools/install-deps.sh installs it)");
      }
      usleep(100000);
    }
    return Fail("openbox never took the display");
  }
  bool Fail(const std::string& why) {
    g_noDesktop = why;
    std::fprintf(stderr, "desktop tests skipped: %s\n", why.c_str());
    return false;
  }
  ~VirtualDesktop() {
    for (pid_t pid : {manager, server}) {
      if (pid <= 0) continue;
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
  VirtualDesktop desktop;
  if (!listing && desktop.Start()) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  } else {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (listing) g_noDesktop = "listing only";
  }
  int result = 0;
  {
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  return result;
}
