// The window as users click it: clicks, keys and drags delivered to the
// widgets themselves, so a handler that is not wired to the user's event,
// or wired twice, shows up here.
#include "WindowFixture.h"

#include "app/AboutB.h"
#include "common/BmpWriter.h"
#include "playback/FrameLabel.h"
#include "shell/IniFile.h"
#include "video/VideoService.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace testing_support;

class Wiring : public WindowTest {
 protected:
  TForm1& Shown(const char* ini = "") {
    TForm1& f = Start(ini);
    f.show();
    QApplication::setActiveWindow(&f);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    return f;
  }
  static void Click(QToolBar* bar, QAction* item) { QTest::mouseClick(bar->widgetForAction(item), Qt::LeftButton); }
  // Replaces the text of an editable box as a user would: select all, type, Enter.
  static void Type(QComboBox* box, const QString& text) {
    QTest::keyClick(box->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box->lineEdit(), text);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
  }
  // Picks entry `row` of a box's list with the mouse.
  static void PickWithMouse(QComboBox* box, int row) {
    box->showPopup();
    QAbstractItemView* view = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    QTest::qWait(QApplication::doubleClickInterval() + 50);  // a release this soon after opening is ignored
    view->scrollTo(box->model()->index(row, 0));
    const QRect cell = view->visualRect(box->model()->index(row, 0));
    QTest::mouseMove(view->viewport(), cell.center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
  }
  void OpenByClick(TForm1& f, const std::string& path) {
    dialogs.files.push_back(QString::fromStdString(path));
    Click(Parts(f).TBTVideoBar, Parts(f).TBIOpen);
  }
};

TEST_F(Wiring, OneLeftClickOnTheStatusBarOpensThePageOnce) {
  TForm1& f = Shown();
  Parts(f).PBar->show();
  const struct {
    const char* what;
    QWidget* widget;
  } targets[] = {{"panel 0", Parts(f).StBarPanels[0]}, {"panel 1", Parts(f).StBarPanels[1]}, {"panel 3", Parts(f).StBarPanels[3]},
                 {"progress bar", Parts(f).PBar},      {"status bar", Parts(f).StBar}};
  for (const auto& t : targets) {
    launcher.Calls.clear();
    QTest::mouseClick(t.widget, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(launcher.Calls.size(), 1u) << t.what;
    QTest::mouseClick(t.widget, Qt::RightButton, {}, QPoint(3, 3));
    QTest::mouseClick(t.widget, Qt::MiddleButton, {}, QPoint(3, 3));
    EXPECT_EQ(launcher.Calls.size(), 1u) << t.what << ": only the left button opens the page";
  }
  EXPECT_EQ(launcher.Calls.at(0).argument, "https://glyphreel.example.org/");
}

TEST_F(Wiring, HoveringAToolbarItemLeavesTheStatusBarAlone) {
  TForm1& f = Shown();
  for (QToolBar* bar : {Parts(f).TBTVideoBar, Parts(f).TBTextbar, Parts(f).TBMainbar}) {
    for (QAction* item : bar->actions()) {
      if (QWidget* button = bar->widgetForAction(item)) QTest::mouseMove(button);
      QApplication::processEvents();
      EXPECT_TRUE(Parts(f).StBar->currentMessage().isEmpty()) << item->text().toStdString();
      EXPECT_TRUE(Parts(f).StBarPanels[0]->isVisible()) << item->text().toStdString();
    }
  }
  // Save has no hint: the window keeps its tool tip from showing; a hinted item's shows.
  auto tipEaten = [&](QWidget* button) {
    QHelpEvent tip(QEvent::ToolTip, QPoint(3, 3), button->mapToGlobal(QPoint(3, 3)));
    return static_cast<QObject&>(f).eventFilter(button, &tip);
  };
  EXPECT_FALSE(tipEaten(Parts(f).TBTVideoBar->widgetForAction(Parts(f).TBIPlay)));
  EXPECT_TRUE(tipEaten(Parts(f).TBTVideoBar->widgetForAction(Parts(f).TBISaveText)));

  // The toolbars have no context menu of their own (nor the window's).
  QWidget* bar = Parts(f).TBTextbar;
  QTimer closeMenu;  // a menu would block in its own loop: close it (stops with the test)
  closeMenu.setSingleShot(true);
  QObject::connect(&closeMenu, &QTimer::timeout, [] {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  });
  closeMenu.start(200);
  QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(2, 2), bar->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(bar, &menu);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(Wiring, TypedTextNeverAddsToTheBoxesAndOtherTextIsNoEntry) {
  TForm1& f = Shown();
  const struct {
    QString typed;
    int frameIndex;
    int interval;
  } rates[] = {{"7", 8, 143}, {"99", -1, 62}, {"15", 0, 67}, {"abc", -1, 62}, {"1", 14, 1000}};
  for (const auto& r : rates) {
    Type(Parts(f).CBFrame, r.typed);
    EXPECT_EQ(Parts(f).CBFrame->count(), 15) << r.typed.toStdString();
    EXPECT_EQ(Parts(f).CBFrame->currentIndex(), r.frameIndex) << r.typed.toStdString();
    EXPECT_EQ(Parts(f).CBFrame->currentText(), r.typed);
    EXPECT_EQ(Parts(f).Interval(), r.interval) << r.typed.toStdString();
  }

  Type(Parts(f).CB_Size, QStringLiteral("123 X 45"));
  EXPECT_EQ(Parts(f).CB_Size->count(), 9);
  EXPECT_EQ(Parts(f).CB_Size->currentIndex(), -1);
  Parts(f).SetOutputType(OutputForm::Text);
  dialogs.shown.clear();
  Parts(f).TBIConvert->setEnabled(true);
  Click(Parts(f).TBTVideoBar, Parts(f).TBIConvert);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0], "请先选择转换图尺寸");
  EXPECT_FALSE(Exists(app / "output/.txt")) << "nothing converted";

  Type(Parts(f).CB_Size, QStringLiteral("320 X 240"));
  EXPECT_EQ(Parts(f).CB_Size->currentIndex(), 8);
  EXPECT_EQ(dialogs.shown.back(), "请注意:转换图宽大于250用记事本程序打开时可能会显示异常.") << "its reaction ran";
  f.close();
  EXPECT_EQ(IniFile(app / "dll/Kinograf.ini").ReadString("Setting", "OutPutFrame", ""), "14");
}

TEST_F(Wiring, EntriesPickedWithTheKeyboardOrTheMouseRunTheirReactions) {
  TForm1& f = Shown(nullptr);
  ASSERT_EQ(Parts(f).CBFrame->currentText(), "10");
  Parts(f).CBFrame->setFocus();
  QTest::keyClick(Parts(f).CBFrame, Qt::Key_Down);
  EXPECT_EQ(Parts(f).CBFrame->currentText(), "9");
  EXPECT_EQ(Parts(f).Interval(), 111);
  PickWithMouse(Parts(f).CBFrame, 13);
  EXPECT_EQ(Parts(f).CBFrame->currentText(), "2");
  EXPECT_EQ(Parts(f).Interval(), 500);

  dialogs.shown.clear();
  Parts(f).CB_Size->setFocus();
  for (int i = 0; i < 3; ++i) QTest::keyClick(Parts(f).CB_Size, Qt::Key_Down);
  EXPECT_EQ(Parts(f).CB_Size->currentText(), "280 X 210");
  EXPECT_EQ(dialogs.shown.size(), 1u) << "the wide-size warning, once at 280";
  PickWithMouse(Parts(f).CB_Size, 1);
  EXPECT_EQ(Parts(f).CB_Size->currentText(), "80 X 60");
  PickWithMouse(Parts(f).CB_Size, 8);
  EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(Wiring, TheCaptureIntervalMatchesTheRateShownFromTheStart) {
  const struct {
    const char* ini;  // nullptr: no settings file
    const char* rate;
    int interval;
    const char* size;
  } cases[] = {
      {nullptr, "10", 100, "160 X 120"},
      {"", "15", 67, "60 X 45"},
      {"[Setting]\nOutPutFrame=10\nOutPutSize=6\n", "5", 200, "240 X 180"},
      {"[Setting]\nOutPutFrame=-1\nOutPutSize=-1\n", "10", 100, "160 X 120"},
      {"[Setting]\nOutPutFrame=15\nOutPutSize=9\n", "10", 100, "160 X 120"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini ? c.ini : "no settings file");
    TForm1& f = Start(c.ini);
    EXPECT_EQ(Parts(f).CBFrame->currentText(), c.rate);
    EXPECT_EQ(Parts(f).Interval(), c.interval);
    EXPECT_EQ(Parts(f).CB_Size->currentText(), c.size);
    ASSERT_TRUE(f.TakeConversionOptions());
    const Rect& converted = Parts(f).Converter->OutputRect;
    EXPECT_EQ(QStringLiteral("%1 X %2").arg(converted.Right).arg(converted.Bottom), c.size) << "the size shown is converted";
    form.reset();
  }
}

TEST_F(Wiring, AFailedOpenKeepsTheVideoBeforeOrLeavesNone) {
  TForm1& f = Shown();
  WriteAll(app / "x.avi", "This is a text file, not a movie.\r\n");
  WriteBmp(Parts(f).RecordFolder + "7.bmp", MakeImage(4, 4, [](int, int) { return 0u; }));

  OpenByClick(f, app / "x.avi");
  EXPECT_EQ(dialogs.shown.back(), "打开视频出错，请先安装相应视频解码器.");
  EXPECT_EQ(Parts(f).VideoFileName, "");
  EXPECT_EQ(f.windowTitle(), "Glyphreel");
  EXPECT_EQ(VideoItems(f), "100000");

  // The text player's road to the video's commands: nothing is there to play or record.
  dialogs.files.push_back(QString::fromStdString(Movie("m.txt", 3)));
  Click(Parts(f).TBTextbar, Parts(f).TBIOpenText);
  EXPECT_FALSE(Parts(f).TBIPlayText2->isEnabled()) << "no video is known";
  Click(Parts(f).TBTextbar, Parts(f).TBIPlayText);
  Click(Parts(f).TBTextbar, Parts(f).TBIStopText);
  EXPECT_EQ(VideoItems(f), "100000");
  f.TBISnapBeginClick();  // as a button left enabled would
  EXPECT_FALSE(Parts(f).TimerSnap->isActive());
  EXPECT_TRUE(Exists(Parts(f).RecordFolder + "7.bmp")) << "no frame is cleared without a video";
  EXPECT_FALSE(Exists(Parts(f).RecordFolder + "1.bmp"));

  const std::string clip = Clip("clip.avi", 25);
  OpenByClick(f, clip);
  EXPECT_EQ(VideoItems(f), "110100");
  OpenByClick(f, app / "x.avi");
  EXPECT_EQ(Parts(f).VideoFileName, "clip.avi") << "outputs keep the loaded video's name";
  EXPECT_EQ(f.windowTitle(), "Glyphreel - clip.avi");
  EXPECT_TRUE(Parts(f).FilterGraph->HasMovie());
  EXPECT_EQ(VideoItems(f), "110100");
  Click(Parts(f).TBTVideoBar, Parts(f).TBIPlay);
  EXPECT_EQ(VideoItems(f), "001110");
  Click(Parts(f).TBTVideoBar, Parts(f).TBIStop);
}

TEST_F(Wiring, TabbingIntoTheStoredTablesKeepsTheTableAndOnlyAPickReplacesIt) {
  TForm1& f = Shown("[Setting]\nGraywordlist2=ABCD\nGraywordlist4=WXYZ\n");
  Parts(f).PgC->setCurrentIndex(2);
  Parts(f).EdGray->setFocus();
  QTest::keyClick(Parts(f).EdGray, Qt::Key_End);
  QTest::keyClicks(Parts(f).EdGray, QStringLiteral("x"));
  const QString typed = Parts(f).EdGray->text();
  for (int i = 0; i < 4 && QApplication::focusWidget() != Parts(f).ListGray; ++i) {
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  ASSERT_EQ(QApplication::focusWidget(), Parts(f).ListGray);
  EXPECT_EQ(Parts(f).EdGray->text(), typed) << "taking the focus is no pick";
  EXPECT_TRUE(dialogs.shown.empty());

  dialogs.confirmations.push_back(true);
  QTest::keyClick(Parts(f).ListGray, Qt::Key_Down);
  EXPECT_EQ(dialogs.shown.back(), "是否更新当前的灰度表？");
  EXPECT_EQ(Parts(f).EdGray->text(), "ABCD");
  QTest::mouseClick(Parts(f).ListGray->viewport(), Qt::LeftButton, {}, Parts(f).ListGray->visualItemRect(Parts(f).ListGray->item(3)).center());
  EXPECT_EQ(Parts(f).EdGray->text(), "WXYZ");
  EXPECT_EQ(dialogs.shown.size(), 1u) << "a table set by a pick is replaced without asking";
}

TEST_F(Wiring, ATableGbkCannotHoldIsSaidAtCloseAndTheOldOneKept) {
  TForm1& f = Shown("[Setting]\nGrayword=ABCD\n");
  Parts(f).PgC->setCurrentIndex(2);
  QTest::keyClick(Parts(f).EdGray, Qt::Key_End);
  QTest::sendKeyEvent(QTest::Click, Parts(f).EdGray, Qt::Key_unknown, QString(QChar(0x0800)), Qt::NoModifier);
  f.close();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0], QStringLiteral("灰度表中的字符“%1”无法用GBK编码保存,已保留原来的灰度表。").arg(QChar(0x0800)));
  EXPECT_EQ(IniFile(app / "dll/Kinograf.ini").ReadString("Setting", "Grayword", ""), "ABCD");
}

TEST_F(Wiring, AFramesFolderThatCannotBeMadeGivesOneMessage) {
  TForm1& f = Shown();
  WriteBmp(Parts(f).RecordFolder + "1.bmp", MakeImage(8, 6, [](int, int) { return 0u; }));
  Parts(f).VideoFileName = "clip.avi";
  WriteAll(Parts(f).RecordFolder + "clip", "a file where the folder would go");
  Parts(f).SetOutputType(OutputForm::Frames);
  Parts(f).TBIConvert->setEnabled(true);
  Click(Parts(f).TBTVideoBar, Parts(f).TBIConvert);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0], "已转换0个图象字符文件,点击确定查看该文件.");
  ASSERT_EQ(launcher.Calls.size(), 1u);
  EXPECT_EQ(launcher.Calls[0].argument, Parts(f).RecordFolder + "clip");
}

TEST_F(Wiring, DraggingTheMoviePansIt) {
  TForm1& f = Shown();
  f.OpenTextMovie(Movie("three.txt", 3));
  Parts(f).Pl_TextShow->resize(100, 80);
  Parts(f).Lb_TextShow->setGeometry(0, 0, 300, 200);
  QTest::mousePress(Parts(f).Lb_TextShow, Qt::LeftButton, {}, QPoint(50, 50));
  QTest::mouseMove(Parts(f).Lb_TextShow, QPoint(50, 50));
  QTest::mouseMove(Parts(f).Lb_TextShow, QPoint(20, 30));
  EXPECT_EQ(Parts(f).Lb_TextShow->pos(), QPoint(-30, -20));
  QTest::mouseMove(Parts(f).Lb_TextShow, QPoint(-500, -500));
  EXPECT_EQ(Parts(f).Lb_TextShow->pos(), QPoint(-200, -120)) << "until the far edges meet the pane's";
  QTest::mouseRelease(Parts(f).Lb_TextShow, Qt::LeftButton, {}, QPoint(-500, -500));
  EXPECT_FALSE(Parts(f).LabelDragging);
  QTest::mouseMove(Parts(f).Lb_TextShow, QPoint(90, 90));
  EXPECT_EQ(Parts(f).Lb_TextShow->pos(), QPoint(-200, -120)) << "no button, no drag";
}

TEST_F(Wiring, DraggingEachSplitterLevelsTheTopPanesItsWay) {
  TForm1& f = Shown();
  auto drag = [](QSplitter* splitter, int by) {
    QSplitterHandle* handle = splitter->handle(1);
    const QPoint from = handle->rect().center();
    const QPoint to = from + (splitter->orientation() == Qt::Vertical ? QPoint(0, by) : QPoint(by, 0));
    QTest::mousePress(handle, Qt::LeftButton, {}, from);
    QTest::mouseMove(handle, to);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, to);
  };
  const int leftTop = Parts(f).LeftTopHeight();
  drag(Parts(f).Splitter1, 40);  // under the preview: the recorded picture follows
  EXPECT_EQ(Parts(f).LeftTopHeight(), leftTop + 40);
  EXPECT_EQ(Parts(f).RightTopHeight(), leftTop + 40);
  drag(Parts(f).Splitter3, -60);  // under the recorded picture: the preview follows
  EXPECT_EQ(Parts(f).RightTopHeight(), leftTop - 20);
  EXPECT_EQ(Parts(f).LeftTopHeight(), leftTop - 20);
  const int leftWidth = Parts(f).LeftWidth();
  drag(Parts(f).Splitter2, 30);  // between the columns: only the widths change
  EXPECT_EQ(Parts(f).LeftWidth(), leftWidth + 30);
  EXPECT_EQ(Parts(f).LeftTopHeight(), Parts(f).RightTopHeight());
  EXPECT_EQ(Parts(f).SplitterTag, 0);
}

TEST_F(Wiring, TheAboutItemOpensTheBoxWithItsLabelsOnceAtEveryShowing) {
  TForm1& f = Shown();
  QStringList names;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<TAboutForm*>(QApplication::activeModalWidget());
    if (!box) return;
    names << box->L_Name->text();
    // Shown again (as after a minimize and restore): the labels stay as they were.
    box->hide();
    box->show();
    names << box->L_Name->text() << box->L_Ver->text();
    box->accept();
  });
  poll.start();
  Click(Parts(f).TBMainbar, Parts(f).TBIAbout);
  poll.stop();
  ASSERT_EQ(names.size(), 3);
  EXPECT_EQ(names[0], "软件名: Glyphreel");
  EXPECT_EQ(names[1], "软件名: Glyphreel");
  EXPECT_TRUE(names[2].startsWith(QStringLiteral("版  本: V"))) << names[2].toStdString();
  EXPECT_EQ(names[2].count(QStringLiteral("V")), 1);
}

// The desktop's opener, faked on PATH: it records its calls and exits with
// the status of XDG_FAKE_EXIT.
TEST_F(Wiring, WhatTheDesktopCannotOpenIsSaidSoTheUserCanOpenItByHand) {
  TempFolder bin;
  const std::string calls = bin / "calls";
  WriteAll(bin / "xdg-open", "#!/bin/sh\necho \"$1\" >> '" + calls + "'\nexit ${XDG_FAKE_EXIT:-0}\n");
  std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
  const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (bin.Path() + ":" + oldPath).c_str(), 1);
  Start("");
  form.reset();
  DesktopLauncher desktop;
  TForm1 f(TForm1::Services{&dialogs, &desktop, app.Path()});
  f.show();
  const std::string help = app / "dll/Help.txt";

  const struct {
    const char* exitStatus;
    bool helpThere;
    QAction* item;
    QString said;  // empty: nothing
  } cases[] = {
      {"3", true, Parts(f).TBIHelp, QStringLiteral("无法打开 %1,请手动打开。").arg(QString::fromStdString(help))},
      {"0", true, Parts(f).TBIHelp, QString()},
      {"3", false, Parts(f).TBIHelp, QString()},  // nothing there to open: whoever asked has said so
      {"3", true, nullptr, QStringLiteral("无法打开 https://glyphreel.example.org/,请手动打开。")},
  };
  int callCount = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("exit ") + c.exitStatus + (c.item ? " help" : " page"));
    setenv("XDG_FAKE_EXIT", c.exitStatus, 1);
    if (c.helpThere) {
      WriteAll(help, "help");
    } else {
      fileio::RemoveFile(help, nullptr);
    }
    dialogs.shown.clear();
    if (c.item) {
      QTest::mouseClick(Parts(f).TBMainbar->widgetForAction(c.item), Qt::LeftButton);
    } else {
      QTest::mouseClick(Parts(f).StBarPanels[0], Qt::LeftButton);
    }
    ++callCount;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const std::string lines = Exists(calls) ? ReadAll(calls) : std::string();
          return std::count(lines.begin(), lines.end(), '\n') >= callCount;
        },
        5000));
    QTest::qWait(300);  // the exit status arrives after the call
    if (c.said.isEmpty()) {
      EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().toStdString();
    } else {
      ASSERT_EQ(dialogs.shown.size(), 1u);
      EXPECT_EQ(dialogs.shown[0], c.said);
    }
  }
  const std::string recorded = ReadAll(calls);
  EXPECT_EQ(recorded.substr(0, recorded.find('\n')), help) << "the full path goes to the opener";
  setenv("PATH", oldPath.c_str(), 1);
  unsetenv("XDG_FAKE_EXIT");
  f.close();
}

}  // namespace
