// The window under a real X session with a window manager (a virtual display
// and openbox, started by main() below): what only a desktop shows, a box
// minimized and restored. (The outer window size is checked under the
// offscreen platform, whose windows have frames too.)
#include "WindowFixture.h"

#include "app/AboutB.h"
#include "app/Fonts.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
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
  QTest::mouseClick(f.TBMainbar->widgetForAction(f.TBIAbout), Qt::LeftButton);
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
