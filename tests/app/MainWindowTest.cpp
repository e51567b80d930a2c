// The main window's shell: start-up state, layout rules, window layouts,
// folder chooser, defaults, help and the about box.
#include "WindowFixture.h"

#include "app/AboutB.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include "playback/TextPic.h"
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

using testing_support::Exists;

TEST_F(WindowTest, StartsWithTheDesignedToolbarsAndTexts) {
  TForm1& f = Start(nullptr);
  EXPECT_EQ(f.windowTitle(), "Glyphreel");
  EXPECT_EQ(f.size(), QSize(737, 620)) << "no settings file: the design size";
  EXPECT_EQ(f.RecordFolder, app / "output/");
  EXPECT_EQ(AppPath, app.Path());
  EXPECT_EQ(IniFileName, app / "dll/Kinograf.ini");

  struct Item {
    QAction* action;
    const char* caption;
    const char* hint;
    bool enabled;
  } items[] = {
      {f.TBIOpen, "Open", "打开电影文件", true},       {f.TBIPlay, "Play", "播放", false},
      {f.TBIPause, "Pause", "暂停播放", false},        {f.TBISnapBegin, "Rec", "开始录制", false},
      {f.TBIStop, "Stop", "停止播放/录制", false},     {f.TBIConvert, "Convert", "开始字符转换", false},
      {f.TBISaveText, "Save", "Save", false},          {f.TBIOpenText, "Open", "打开字符电影", true},
      {f.TBIPlayText, "Play", "单播放字符电影", false}, {f.TBIPlayText2, "Play2", "同步播放", false},
      {f.TBIPauseText, "Pause", "暂停播放字符电影", false}, {f.TBIStopText, "Stop", "停止播放字符电影", false},
      {f.TBIRwText, "Rw", "返回开头", false},          {f.TBIColor, "FontColor", "改变字体颜色", true},
      {f.TBIFontSize, "FontSize", "改变字体大小", true}, {f.TBINotepad, "Notepad", "打开记事本", false},
      {f.TBIWnd, "window", "窗口布局", true},          {f.TBIHelp, "help", "帮助", true},
      {f.TBIAbout, "About", "关于", true},             {f.TBIExit, "Exit", "退出", true},
  };
  for (const Item& i : items) {
    EXPECT_EQ(i.action->text(), QString::fromUtf8(i.caption));
    EXPECT_EQ(i.action->toolTip(), QString::fromUtf8(i.hint)) << i.caption;
    EXPECT_EQ(i.action->isEnabled(), i.enabled) << i.caption;
    EXPECT_FALSE(i.action->icon().isNull()) << i.caption;
  }
  // Toolbar order, separators included.
  auto captions = [](QToolBar* bar) {
    QStringList list;
    for (QAction* a : bar->actions()) list << (a->isSeparator() ? QStringLiteral("|") : a->text());
    return list.join(QLatin1Char(' '));
  };
  EXPECT_EQ(captions(f.TBTVideoBar), "Open Play Pause Rec Stop Convert Save");
  EXPECT_EQ(captions(f.TBTextbar), "Open Play Play2 Pause Stop Rw | FontColor FontSize Notepad");
  EXPECT_EQ(captions(f.TBMainbar), "window | help About Exit");

  EXPECT_EQ(f.StBarPanels[0]->text(), "未装入电影文件");
  EXPECT_EQ(f.StBarPanels[3]->text(), "点击\"打开电影\"按钮打开一个视频文件");
  EXPECT_EQ(f.StBarPanels[0]->width(), 100);
  EXPECT_EQ(f.StBarPanels[1]->width(), 200);
  EXPECT_EQ(f.Pl_Time->text(), "00:00:00/00:00:00");
  EXPECT_EQ(f.Pl_FrameCount->text(), "Frame:0");
  EXPECT_FALSE(f.PBar->isVisible());
  EXPECT_EQ(f.PBar->parentWidget(), f.StBarPanels[1]);
  EXPECT_EQ(f.CBFrame->currentText(), "10");
  EXPECT_EQ(f.CB_Size->currentText(), "160 X 120");
  EXPECT_EQ(f.CBFrame->currentIndex(), 5) << "the entry shown is selected";
  EXPECT_EQ(f.TimerSnap->interval(), 100) << "and it is the rate recorded";
  EXPECT_EQ(f.TimerStartWindow->interval(), 100);
  EXPECT_FALSE(f.TimerStartWindow->isActive());
  EXPECT_EQ(f.LeftTopHeight(), f.RightTopHeight());
  ASSERT_TRUE(f.Converter && f.TextPic);
  EXPECT_EQ(f.Converter->FrameMarker, "\x80\x80");
  EXPECT_EQ(f.TextPic->FrameMarker, "\x80\x80");
}

TEST_F(WindowTest, PreviewKeepsItsAspectAndIsCentred) {
  EXPECT_EQ(TForm1::VideoWidthFor(50), 66);    // 66.5 to the even 66
  EXPECT_EQ(TForm1::VideoWidthFor(150), 200);  // 199.5 to the even 200
  EXPECT_EQ(TForm1::VideoWidthFor(250), 332);  // 332.5 to 332
  EXPECT_EQ(TForm1::VideoWidthFor(-4), -5);    // a pane with no room: -5.32

  TForm1& f = Start();
  struct {
    int paneWidth, paneHeight, width, height, left;
  } samples[] = {{260, 54, 66, 50, 97}, {260, 154, 200, 150, 30}, {260, 254, 332, 250, -36}, {41, 54, 66, 50, -12}};
  for (const auto& s : samples) {
    f.Pl_Video->resize(s.paneWidth, s.paneHeight);
    f.FormResize();
    EXPECT_EQ(f.VideoWindowRect.height, s.height) << s.paneHeight;
    EXPECT_EQ(f.VideoWindowRect.width, s.width) << s.paneHeight;
    EXPECT_EQ(f.VideoWindowRect.left, s.left) << s.paneWidth << "x" << s.paneHeight;
    EXPECT_EQ(f.VideoWindowRect.top, 2);
    EXPECT_EQ(f.ImageRect.width, s.width);
    EXPECT_EQ(f.ImageRect.height, s.height);
    EXPECT_EQ(f.Image->geometry(), QRect(1, 1, s.width, s.height));
  }
}

// (Dragging the splitters is tested through the mouse in WiringTest.)
TEST_F(WindowTest, LayoutsSwitch) {
  TForm1& f = Start();
  f.show();
  f.TBIWnd->trigger();  // text layout
  EXPECT_TRUE(f.TBIWnd->isChecked());
  EXPECT_EQ(f.LeftWidth(), 0);
  EXPECT_EQ(f.LeftTopHeight(), 0);
  EXPECT_EQ(f.RightTopHeight(), 0);
  f.TBIWnd->trigger();  // standard layout, whatever it was before
  EXPECT_EQ(f.LeftWidth(), 250);
  EXPECT_EQ(f.LeftTopHeight(), 150);
  EXPECT_EQ(f.RightTopHeight(), 150);
}

TEST_F(WindowTest, DefaultsButtonSetsTheOptionsButNotTheFolderOrTables) {
  TForm1& f = Start("[Setting]\nOutPutFrame=14\nOutPutSize=8\nOutPutType=2\nAutoConvert=0\nSavePath=output/\n");
  EXPECT_EQ(f.TimerSnap->interval(), 1000) << "the rate restored is the rate recorded";
  EXPECT_TRUE(dialogs.shown.empty()) << "restoring a wide size does not warn";
  f.CB_AutoClearBmp->setChecked(false);
  f.BtnOptionDefaultClick();
  EXPECT_EQ(f.CBFrame->currentText(), "10");
  EXPECT_EQ(f.TimerSnap->interval(), 100);
  EXPECT_EQ(f.CB_Size->currentText(), "80 X 60");
  EXPECT_TRUE(f.CB_AutoConvert->isChecked());
  EXPECT_TRUE(f.CB_AutoClearBmp->isChecked());
  EXPECT_EQ(f.OutputType(), OutputForm::Text);
  EXPECT_TRUE(dialogs.shown.empty()) << "80 X 60 is no wide size";
  EXPECT_EQ(f.RecordFolder, app / "output/");
}

TEST_F(WindowTest, WideSizesWarnAndFrameRatesSetTheInterval) {
  TForm1& f = Start();
  for (int index = 0; index < 9; ++index) {
    dialogs.shown.clear();
    f.CB_Size->setCurrentIndex(index);
    f.CB_SizeChange();
    EXPECT_EQ(dialogs.shown.size(), index >= 7 ? 1u : 0u) << index;
  }
  EXPECT_EQ(dialogs.shown.at(0), "请注意:转换图宽大于250用记事本程序打开时可能会显示异常.");
  const int intervals[15] = {67, 71, 77, 83, 91, 100, 111, 125, 143, 167, 200, 250, 333, 500, 1000};
  for (int i = 0; i < 15; ++i) {
    f.CBFrame->setCurrentIndex(i);
    f.CBFrameChange();
    EXPECT_EQ(f.TimerSnap->interval(), intervals[i]) << f.CBFrame->currentText().toStdString();
  }
  f.CBFrame->setCurrentIndex(-1);
  f.CBFrameChange();
  EXPECT_EQ(f.TimerSnap->interval(), 62);
}

TEST_F(WindowTest, FolderChooserShowsFoldersInsideTheProgramFolderRelatively) {
  TForm1& f = Start();
  fileio::MakePath(app / "frames", nullptr);
  testing_support::TempFolder outside;
  struct {
    std::optional<QString> answer;
    std::string folder;
    QString shown;
  } cases[] = {
      {QString::fromStdString(app / "frames"), app / "frames/", QStringLiteral("frames/")},
      {QString::fromStdString(outside.Path()), outside.Path(), QString::fromStdString(outside.Path())},
      {QString::fromStdString(app.Path().substr(0, app.Path().size() - 1)), app.Path(), QString()},
      {QStringLiteral("/"), "/", QStringLiteral("/")},
  };
  for (const auto& c : cases) {
    dialogs.folders.push_back(c.answer);
    f.SBSavePathClick();
    EXPECT_EQ(f.RecordFolder, c.folder);
    EXPECT_EQ(f.EdSavePath->text(), c.shown);
  }
  EXPECT_EQ(dialogs.shown.back(), "选择保存目录");
  dialogs.folders.push_back(std::nullopt);  // cancelled: nothing changes
  f.SBSavePathClick();
  EXPECT_EQ(f.RecordFolder, "/");
}

TEST_F(WindowTest, HelpStatusBarAndAboutBox) {
  TForm1& f = Start();
  f.TBIHelp->trigger();
  f.StBarClick();
  ASSERT_EQ(launcher.Calls.size(), 2u);
  EXPECT_EQ(launcher.Calls[0].argument, app / "dll/Help.txt") << "the full path, wherever the program was started";
  EXPECT_EQ(launcher.Calls[1].argument, "https://glyphreel.example.org/");

  for (int showing = 0; showing < 2; ++showing) {  // each showing starts from a new box
    TAboutForm box(launcher);
    box.SetLanguage(true);
    box.SoftName = f.ProductName;
    box.SoftVersion = QStringLiteral("V1.0.0.0");
    box.Producer = QString::fromUtf8(about::kProducer);
    box.BuildDate = QString::fromUtf8(about::kBuildDate);
    box.Introduction = about::Introduction();
    box.FormShow();
    EXPECT_EQ(box.windowTitle(), "About Glyphreel");
    EXPECT_EQ(box.L_Name->text(), "软件名: Glyphreel");
    EXPECT_EQ(box.L_Ver->text(), "版  本: V1.0.0.0");
    EXPECT_EQ(box.L_Pro->text(), "制作者: Glyphreel 开发组");
    EXPECT_EQ(box.L_Date->text(), "日  期: 2009年12月");
    EXPECT_EQ(box.L_Int->text(), "简  介:");
    EXPECT_EQ(box.size(), QSize(392, 253));
    const QStringList paragraphs = box.L_Introcuce->toPlainText().split(QStringLiteral("\n"));
    ASSERT_EQ(paragraphs.size(), 3);
    EXPECT_TRUE(paragraphs[0].startsWith(QStringLiteral("    本程序用于将电影视频文件转换为")));
    EXPECT_TRUE(paragraphs[0].endsWith(QStringLiteral("的同步播放.")));
    EXPECT_EQ(paragraphs[1], "");
    EXPECT_EQ(paragraphs[2], "    本程序属即兴之作,存在问题敬请见谅.");
  }
  TAboutForm box(launcher);
  box.SetLanguage(false);
  EXPECT_EQ(box.L_Ver->text(), "Version: ");
  EXPECT_EQ(box.SB_Email->toolTip(), "Email to me");
  box.SetLanguage(true);
  EXPECT_EQ(box.SB_GuestBook->toolTip(), "留言及建议");
  launcher.Calls.clear();
  box.SB_HomePage->click();
  box.SB_GuestBook->click();
  box.SB_Email->click();
  ASSERT_EQ(launcher.Calls.size(), 3u);
  EXPECT_EQ(launcher.Calls[0].argument, "https://glyphreel.example.org/");
  EXPECT_EQ(launcher.Calls[1].argument, "https://glyphreel.example.org/guestbook");
  EXPECT_EQ(launcher.Calls[2].argument, "mailto:glyphreel@example.org");

  EXPECT_EQ(FormatVersion(2, 10, 0, 7, "."), "2.10.0.7");
  EXPECT_EQ(FormatVersion(1, 0, 0, 0, ""), "1000");
  EXPECT_EQ(FileVersionString("/proc/self/exe", "."), "1.0.0.0");
  EXPECT_EQ(FileVersionString(app / "dll/Kinograf.ini", "."), "") << "no version record";
}

}  // namespace
