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
  EXPECT_EQ(Parts(f).RecordFolder, app / "output/");
  EXPECT_EQ(AppPath, app.Path());
  EXPECT_EQ(IniFileName, app / "dll/Kinograf.ini");

  struct Item {
    QAction* action;
    const char* caption;
    const char* hint;
    bool enabled;
  } items[] = {
      {Parts(f).TBIOpen, "Open", "打开电影文件", true},       {Parts(f).TBIPlay, "Play", "播放", false},
      {Parts(f).TBIPause, "Pause", "暂停播放", false},        {Parts(f).TBISnapBegin, "Rec", "开始录制", false},
      {Parts(f).TBIStop, "Stop", "停止播放/录制", false},     {Parts(f).TBIConvert, "Convert", "开始字符转换", false},
      {Parts(f).TBISaveText, "Save", "Save", false},          {Parts(f).TBIOpenText, "Open", "打开字符电影", true},
      {Parts(f).TBIPlayText, "Play", "单播放字符电影", false}, {Parts(f).TBIPlayText2, "Play2", "同步播放", false},
      {Parts(f).TBIPauseText, "Pause", "暂停播放字符电影", false}, {Parts(f).TBIStopText, "Stop", "停止播放字符电影", false},
      {Parts(f).TBIRwText, "Rw", "返回开头", false},          {Parts(f).TBIColor, "FontColor", "改变字体颜色", true},
      {Parts(f).TBIFontSize, "FontSize", "改变字体大小", true}, {Parts(f).TBINotepad, "Notepad", "打开记事本", false},
      {Parts(f).TBIWnd, "window", "窗口布局", true},          {Parts(f).TBIHelp, "help", "帮助", true},
      {Parts(f).TBIAbout, "About", "关于", true},             {Parts(f).TBIExit, "Exit", "退出", true},
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
  EXPECT_EQ(captions(Parts(f).TBTVideoBar), "Open Play Pause Rec Stop Convert Save");
  EXPECT_EQ(captions(Parts(f).TBTextbar), "Open Play Play2 Pause Stop Rw | FontColor FontSize Notepad");
  EXPECT_EQ(captions(Parts(f).TBMainbar), "window | help About Exit");

  EXPECT_EQ(Parts(f).StBarPanels[0]->text(), "未装入电影文件");
  EXPECT_EQ(Parts(f).StBarPanels[3]->text(), "点击\"打开电影\"按钮打开一个视频文件");
  EXPECT_EQ(Parts(f).StBarPanels[0]->width(), 100);
  EXPECT_EQ(Parts(f).StBarPanels[1]->width(), 200);
  EXPECT_EQ(Parts(f).Pl_Time->text(), "00:00:00/00:00:00");
  EXPECT_EQ(Parts(f).Pl_FrameCount->text(), "Frame:0");
  EXPECT_FALSE(Parts(f).PBar->isVisible());
  EXPECT_EQ(Parts(f).PBar->parentWidget(), Parts(f).StBarPanels[1]);
  EXPECT_EQ(Parts(f).CBFrame->currentText(), "10");
  EXPECT_EQ(Parts(f).CB_Size->currentText(), "160 X 120");
  EXPECT_EQ(Parts(f).CBFrame->currentIndex(), 5) << "the entry shown is selected";
  EXPECT_EQ(Parts(f).Interval(), 100) << "and it is the rate recorded";
  EXPECT_EQ(Parts(f).TimerStartWindow->interval(), 100);
  EXPECT_FALSE(Parts(f).TimerStartWindow->isActive());
  EXPECT_EQ(Parts(f).LeftTopHeight(), Parts(f).RightTopHeight());
  ASSERT_TRUE(Parts(f).Converter && Parts(f).TextPic);
  EXPECT_EQ(Parts(f).Converter->FrameMarker, "\x80\x80");
  EXPECT_EQ(Parts(f).TextPic->FrameMarker, "\x80\x80");
}

TEST_F(WindowTest, PreviewKeepsItsAspectAndIsCentred) {
  EXPECT_EQ(WindowParts::VideoWidthFor(50), 66);    // 66.5 to the even 66
  EXPECT_EQ(WindowParts::VideoWidthFor(150), 200);  // 199.5 to the even 200
  EXPECT_EQ(WindowParts::VideoWidthFor(250), 332);  // 332.5 to 332
  EXPECT_EQ(WindowParts::VideoWidthFor(-4), -5);    // a pane with no room: -5.32

  TForm1& f = Start();
  struct {
    int paneWidth, paneHeight, width, height, left;
  } samples[] = {{260, 54, 66, 50, 97}, {260, 154, 200, 150, 30}, {260, 254, 332, 250, -36}, {41, 54, 66, 50, -12}};
  for (const auto& s : samples) {
    Parts(f).Pl_Video->resize(s.paneWidth, s.paneHeight);
    f.FormResize();
    EXPECT_EQ(Parts(f).VideoWindowRect.height, s.height) << s.paneHeight;
    EXPECT_EQ(Parts(f).VideoWindowRect.width, s.width) << s.paneHeight;
    EXPECT_EQ(Parts(f).VideoWindowRect.left, s.left) << s.paneWidth << "x" << s.paneHeight;
    EXPECT_EQ(Parts(f).VideoWindowRect.top, 2);
    EXPECT_EQ(Parts(f).ImageRect.width, s.width);
    EXPECT_EQ(Parts(f).ImageRect.height, s.height);
    EXPECT_EQ(Parts(f).Image->geometry(), QRect(1, 1, s.width, s.height));
  }
}

// (Dragging the splitters is tested through the mouse in WiringTest.)
TEST_F(WindowTest, LayoutsSwitch) {
  TForm1& f = Start();
  f.show();
  Parts(f).TBIWnd->trigger();  // text layout
  EXPECT_TRUE(Parts(f).TBIWnd->isChecked());
  EXPECT_EQ(Parts(f).LeftWidth(), 0);
  EXPECT_EQ(Parts(f).LeftTopHeight(), 0);
  EXPECT_EQ(Parts(f).RightTopHeight(), 0);
  Parts(f).TBIWnd->trigger();  // standard layout, whatever it was before
  EXPECT_EQ(Parts(f).LeftWidth(), 250);
  EXPECT_EQ(Parts(f).LeftTopHeight(), 150);
  EXPECT_EQ(Parts(f).RightTopHeight(), 150);
}

TEST_F(WindowTest, DefaultsButtonSetsTheOptionsButNotTheFolderOrTables) {
  TForm1& f = Start("[Setting]\nOutPutFrame=14\nOutPutSize=8\nOutPutType=2\nAutoConvert=0\nSavePath=output/\n");
  EXPECT_EQ(Parts(f).Interval(), 1000) << "the rate restored is the rate recorded";
  EXPECT_TRUE(dialogs.shown.empty()) << "restoring a wide size does not warn";
  Parts(f).CB_AutoClearBmp->setChecked(false);
  Parts(f).BtnOptionDefaultClick();
  EXPECT_EQ(Parts(f).CBFrame->currentText(), "10");
  EXPECT_EQ(Parts(f).Interval(), 100);
  EXPECT_EQ(Parts(f).CB_Size->currentText(), "80 X 60");
  EXPECT_TRUE(Parts(f).CB_AutoConvert->isChecked());
  EXPECT_TRUE(Parts(f).CB_AutoClearBmp->isChecked());
  EXPECT_EQ(Parts(f).OutputType(), OutputForm::Text);
  EXPECT_TRUE(dialogs.shown.empty()) << "80 X 60 is no wide size";
  EXPECT_EQ(Parts(f).RecordFolder, app / "output/");
}

TEST_F(WindowTest, WideSizesWarnAndFrameRatesSetTheInterval) {
  TForm1& f = Start();
  for (int index = 0; index < 9; ++index) {
    dialogs.shown.clear();
    Parts(f).CB_Size->setCurrentIndex(index);
    Parts(f).CB_SizeChange();
    EXPECT_EQ(dialogs.shown.size(), index >= 7 ? 1u : 0u) << index;
  }
  EXPECT_EQ(dialogs.shown.at(0), "请注意:转换图宽大于250用记事本程序打开时可能会显示异常.");
  const int intervals[15] = {67, 71, 77, 83, 91, 100, 111, 125, 143, 167, 200, 250, 333, 500, 1000};
  for (int i = 0; i < 15; ++i) {
    Parts(f).CBFrame->setCurrentIndex(i);
    Parts(f).CBFrameChange();
    EXPECT_EQ(Parts(f).Interval(), intervals[i]) << Parts(f).CBFrame->currentText().toStdString();
  }
  Parts(f).CBFrame->setCurrentIndex(-1);
  Parts(f).CBFrameChange();
  EXPECT_EQ(Parts(f).Interval(), 62);
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
    Parts(f).SBSavePathClick();
    EXPECT_EQ(Parts(f).RecordFolder, c.folder);
    EXPECT_EQ(Parts(f).EdSavePath->text(), c.shown);
  }
  EXPECT_EQ(dialogs.shown.back(), "选择保存目录");
  dialogs.folders.push_back(std::nullopt);  // cancelled: nothing changes
  Parts(f).SBSavePathClick();
  EXPECT_EQ(Parts(f).RecordFolder, "/");
}

TEST_F(WindowTest, HelpStatusBarAndAboutBox) {
  TForm1& f = Start();
  Parts(f).TBIHelp->trigger();
  f.StBarClick();
  ASSERT_EQ(launcher.Calls.size(), 2u);
  EXPECT_EQ(launcher.Calls[0].argument, app / "dll/Help.txt") << "the full path, wherever the program was started";
  EXPECT_EQ(launcher.Calls[1].argument, "https://glyphreel.example.org/");

  for (int showing = 0; showing < 2; ++showing) {  // each showing starts from a new box
    TAboutForm box(launcher);
    box.SetLanguage(true);
    box.SoftName = Parts(f).ProductName;
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
