// The road through the window: open and preview a video, record it, convert
// the frames, play the character movie alone and in step with the video.
#include "WindowFixture.h"

#include "common/BmpWriter.h"
#include "common/Gbk.h"
#include "conversion/BmpReader.h"
#include "conversion/FinePicture.h"
#include "playback/FrameLabel.h"
#include "playback/TextPic.h"
#include "support/TestVideo.h"
#include "video/TrackBar.h"
#include "video/VideoService.h"

#include <QAction>
#include <QRegularExpression>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QMouseEvent>
#include <QTimer>
#include <QToolBar>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using namespace testing_support;

class Road : public WindowTest {
 protected:
  QString Shown(const TForm1& f) const { return Parts(f).Lb_TextShow->text(); }
};

TEST_F(Road, PreviewStateMachine) {
  TForm1& f = Start();
  const std::string clip = Clip("clip.avi", 50);
  EXPECT_EQ(VideoItems(f), "100000");
  dialogs.files.push_back(std::nullopt);  // cancelled
  f.TBIOpenClick();
  EXPECT_EQ(VideoItems(f), "100000");

  OpenVideo(clip);
  EXPECT_EQ(VideoItems(f), "110100") << "Loaded";
  EXPECT_EQ(f.windowTitle(), "Glyphreel - clip.avi");
  EXPECT_EQ(Parts(f).VideoFileName, "clip.avi");
  EXPECT_EQ(Parts(f).Pl_Time->text(), "00:00:00/00:00:02");
  EXPECT_EQ(Parts(f).StBarPanels[0]->text(), "已装入电影文件");
  EXPECT_EQ(Parts(f).StBarPanels[3]->text(), "请点击录制按钮开始录制");
  EXPECT_EQ(dialogs.filters.back(), "电影文件|*.WMV;*.RMVB;*.mpg;*.avi;*.mov;*.rm;*.dat;*.flv;*.mp4;*.mkv;*.webm;*.m4v;*.3gp|所有文件|*.*");

  Parts(f).TBIPlay->trigger();
  EXPECT_EQ(VideoItems(f), "001110") << "Playing";
  EXPECT_EQ(Parts(f).StBarPanels[0]->text(), "正在播放");
  Parts(f).TBIPause->trigger();
  EXPECT_EQ(VideoItems(f), "110110") << "Paused";
  EXPECT_EQ(Parts(f).StBarPanels[0]->text(), "播放暂停");
  Parts(f).TBIStop->trigger();  // Stop while paused returns to the beginning
  EXPECT_EQ(VideoItems(f), "110100") << "Stopped after preview, no 1.bmp";
  EXPECT_EQ(Parts(f).StBarPanels[0]->text(), "已停止播放");
  int64_t position = -1;
  Parts(f).FilterGraph->GetCurrentPosition(&position);
  EXPECT_EQ(position, 0);

  WriteBmp(Parts(f).RecordFolder + "1.bmp", MakeImage(4, 4, [](int, int) { return 0u; }));
  Parts(f).TBIPlay->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBIPlay->isEnabled(); }, 10000)) << "the end of the movie stops it";
  EXPECT_EQ(VideoItems(f), "110101") << "Stopped after preview, 1.bmp there";

  // A file that is no movie: a message, and everything stays, the name included.
  WriteAll(app / "x.avi", "not a movie");
  OpenVideo(app / "x.avi");
  EXPECT_EQ(dialogs.shown.back(), "打开视频出错，请先安装相应视频解码器.");
  EXPECT_EQ(Parts(f).VideoFileName, "clip.avi");
  EXPECT_EQ(f.windowTitle(), "Glyphreel - clip.avi");
  EXPECT_EQ(VideoItems(f), "110101");
}

TEST_F(Road, TimeTextIsATimeOfDay) {
  EXPECT_EQ(WindowParts::TimeText(0), "00:00:00");
  EXPECT_EQ(WindowParts::TimeText(3723999), "01:02:03") << "fractions are cut off";
  EXPECT_EQ(WindowParts::TimeText(86400000 + 61000), "00:01:01") << "whole days drop out";
}

TEST_F(Road, PlayerStatesAndTicks) {
  TForm1& f = Start();
  EXPECT_EQ(TextItems(f), "000000") << "Empty";
  f.OpenTextMovie(Movie("three.txt", 3));
  EXPECT_EQ(TextItems(f), "100001") << "Ready, no video known";
  EXPECT_EQ(Parts(f).SBTextShow->maximum(), 2);
  EXPECT_TRUE(Shown(f).startsWith(QStringLiteral("aabbccdd\r\n"))) << Shown(f).toStdString();
  EXPECT_TRUE(Shown(f).contains(QStringLiteral("€€\r\nW004V0050F00000")));
  EXPECT_EQ(Parts(f).Lb_TextShow->lineSpacing(), 9) << "square cells: lines s pixels apart";
  EXPECT_EQ(Parts(f).Lb_TextShow->geometry(), QRect(0, 0, 9 * 4 + 20, 9 * 4 + 20));

  // The first Play after start-up shows frame 1 at the first tick.
  Parts(f).TBIPlayText->trigger();
  EXPECT_EQ(TextItems(f), "001100") << "Playing";
  EXPECT_EQ(Parts(f).TimerPlayText->interval(), 50);
  EXPECT_TRUE(Parts(f).TimerPlayText->isActive());
  f.TimerPlayTextTimer();
  EXPECT_TRUE(Shown(f).contains(QStringLiteral("F00001")));
  Parts(f).TBIPauseText->trigger();
  EXPECT_EQ(TextItems(f), "100100") << "Paused";
  EXPECT_FALSE(Parts(f).TimerPlayText->isActive());
  Parts(f).TBIPlayText->trigger();
  f.TimerPlayTextTimer();
  EXPECT_TRUE(Shown(f).contains(QStringLiteral("F00002")));
  f.TimerPlayTextTimer();  // past the last frame: stops, the last frame stays
  EXPECT_EQ(TextItems(f), "100011") << "Stopped";
  EXPECT_TRUE(Shown(f).contains(QStringLiteral("F00002")));
  EXPECT_EQ(Parts(f).TextFrameIndex, -1);

  // After Stop, Play starts again from frame 0 at the first tick, on the real timer.
  Parts(f).TBIPlayText->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(f).contains(QStringLiteral("F00000")); }, 2000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBIPlayText->isEnabled(); }, 2000)) << "stops by itself";
  Parts(f).TBIRwText->trigger();
  EXPECT_EQ(TextItems(f), "100001") << "Rewound";
  EXPECT_EQ(Parts(f).SBTextShow->value(), 0);

  // Dragging the scroll bar shows a frame but does not move the counter.
  Parts(f).SBTextShow->setValue(2);
  EXPECT_TRUE(Shown(f).contains(QStringLiteral("F00002")));
  EXPECT_EQ(Parts(f).TextFrameIndex, -1);

  // Two frames are not a standard movie; a text file neither.
  f.OpenTextMovie(Movie("two.txt", 2));
  EXPECT_EQ(dialogs.shown.back(), "注意:打开的不是标准的字符电影文件");
  EXPECT_EQ(TextItems(f), "000001");
  EXPECT_EQ(Parts(f).Lb_TextShow->geometry(), QRect(0, 0, Parts(f).Pl_TextShow->width(), Parts(f).Pl_TextShow->height()));
  Parts(f).SBTextShow->setValue(1);
  EXPECT_TRUE(Shown(f).contains(QStringLiteral("F00001"))) << "still browsable";

  // A file that cannot be read keeps the movie shown.
  const size_t messages = dialogs.shown.size();
  f.OpenTextMovie(app / "missing.txt");
  EXPECT_EQ(dialogs.shown.size(), messages + 1);
  EXPECT_EQ(Parts(f).TextFileName, app / "two.txt");
  EXPECT_EQ(Parts(f).TextPic->FrameTotal(), 2);
}

TEST_F(Road, FontSizesColoursAndPanning) {
  TForm1& f = Start();
  f.OpenTextMovie(Movie("three.txt", 3));
  int heights[9];
  for (int& h : heights) {
    Parts(f).TBIFontSize->trigger();
    h = Parts(f).TextFontHeight();
  }
  EXPECT_EQ(std::vector<int>(heights, heights + 9), (std::vector<int>{8, 7, 6, 5, 4, 12, 11, 10, 9}));
  EXPECT_EQ(Parts(f).Lb_TextShow->size(), QSize(10 * 4 + 20, 9 * 4 + 20)) << "width uses s + 1";

  const QColor text = Parts(f).Lb_TextShow->textColor();
  EXPECT_EQ(Parts(f).Lb_TextShow->backgroundColor(), QColor(Qt::white));
  Parts(f).TBIColor->trigger();
  EXPECT_EQ(Parts(f).Lb_TextShow->backgroundColor(), text);
  EXPECT_EQ(Parts(f).Lb_TextShow->textColor(), QColor(Qt::white));
  EXPECT_TRUE(Parts(f).TBIColor->isChecked());
  Parts(f).TBIColor->trigger();
  EXPECT_EQ(Parts(f).Lb_TextShow->backgroundColor(), QColor(Qt::white));

  // (Panning by dragging is tested through the mouse in WiringTest.)
  Parts(f).Lb_TextShow->move(-10, -10);
  Parts(f).TBIPlayText->trigger();
  EXPECT_EQ(Parts(f).Lb_TextShow->pos(), QPoint(0, 0)) << "Play puts it back";
}

TEST_F(Road, NotepadAndSave) {
  TForm1& f = Start();
  const std::string movie = Movie("clip.txt", 3);
  const std::string bytes = ReadAll(movie);
  f.OpenTextMovie(movie);
  Parts(f).TextBarState.saveOffered = true;  // as after a conversion
  Parts(f).ApplyTextBar();
  Parts(f).TBINotepad->trigger();
  ASSERT_EQ(launcher.Calls.size(), 1u);
  EXPECT_EQ(launcher.Calls[0].argument, movie);

  // Saving onto the file itself, however written, copies and deletes nothing.
  dialogs.files.push_back(QString::fromStdString(app / "./clip"));
  f.TBISaveTextClick();
  EXPECT_EQ(ReadAll(movie), bytes);
  EXPECT_TRUE(Parts(f).TBISaveText->isEnabled());
  EXPECT_EQ(dialogs.proposed.back(), QString::fromStdString(movie));
  EXPECT_EQ(dialogs.filters.back(), "Txt file|*.txt");

  // Elsewhere, the movie moves and is read from its new place.
  fileio::MakePath(app / "kept", nullptr);
  dialogs.files.push_back(QString::fromStdString(app / "kept/mine.dat"));
  f.TBISaveTextClick();
  EXPECT_EQ(Parts(f).TextFileName, app / "kept/mine.txt");
  EXPECT_EQ(ReadAll(app / "kept/mine.txt"), bytes);
  EXPECT_FALSE(Exists(movie));
  EXPECT_FALSE(Parts(f).TBISaveText->isEnabled());
  EXPECT_TRUE(Parts(f).TBINotepad->isEnabled());

  fileio::RemoveFile(app / "kept/mine.txt", nullptr);
  Parts(f).TBINotepad->trigger();
  EXPECT_FALSE(Parts(f).TBINotepad->isEnabled()) << "the file went: the button disables itself";
  EXPECT_EQ(launcher.Calls.size(), 1u);
}

TEST_F(Road, PlayInStepWithTheVideo) {
  TForm1& f = Start();
  OpenVideo(Clip("clip.avi", 75));
  f.OpenTextMovie(Movie("three.txt", 3));
  EXPECT_EQ(TextItems(f), "110001") << "Play2 once a video is known";

  Parts(f).TBIPlay->trigger();  // the video runs; the text is Ready (counter 0)
  Parts(f).TBIPlayText2->trigger();
  EXPECT_TRUE(Parts(f).TextSyncMode);
  EXPECT_EQ(VideoItems(f), "001110");

  // Pause after Play2, then Play: the text resumes alone, the video stays paused.
  Parts(f).TBIPauseText->trigger();
  EXPECT_EQ(VideoItems(f), "110110") << "the video paused too";
  Parts(f).TBIPlayText->trigger();
  EXPECT_FALSE(Parts(f).TextSyncMode);
  EXPECT_EQ(VideoItems(f), "110110");

  // Stopped text and a running video: Play2 returns the video to its start first.
  Parts(f).TBIStopText->trigger();
  Parts(f).TBIPlay->trigger();
  QTest::qWait(300);
  Parts(f).TBIPlayText2->trigger();
  int64_t position = -1;
  Parts(f).FilterGraph->GetCurrentPosition(&position);
  EXPECT_LT(position, 2000000) << "back near the start, in 100-ns units";
  EXPECT_EQ(VideoItems(f), "001110");

  // The end of the synchronized movie stops the video.
  f.TimerPlayTextTimer();
  f.TimerPlayTextTimer();
  f.TimerPlayTextTimer();
  f.TimerPlayTextTimer();
  EXPECT_EQ(TextItems(f), "110011");
  EXPECT_EQ(VideoItems(f), "110100") << "the video is stopped";
}

class Conversion : public Road {
 protected:
  void SetUpFolder(int frames) {
    Start(nullptr);
    Parts(*form).RecordFolder = app / "output/";
    for (int n = 1; n <= frames; ++n)
      WriteBmp(Parts(*form).RecordFolder + std::to_string(n) + ".bmp", MakeImage(32, 24, [n](int x, int) { return 0x010101u * ((x * 8 + n) % 256); }));
    Parts(*form).VideoFileName = "clip.avi";
  }
};

// The fine picture box, clicked on the "高级" page, reaches the run: with the
// editor's default table the movie is drawn with the fine table, with a
// table of the user's own with that table calibrated; unchecked again, the
// classic bytes.
TEST_F(Conversion, TheFinePictureBoxReachesTheRun) {
  SetUpFolder(3);
  TForm1& f = *form;
  Parts(f).SetOutputType(OutputForm::Text);
  f.show();
  const auto clickBox = [&] {
    QTest::mouseClick(Parts(f).PgC->tabBar(), Qt::LeftButton, {}, Parts(f).PgC->tabBar()->tabRect(1).center());
    QTest::mouseClick(Parts(f).CB_FinePicture, Qt::LeftButton, {}, QPoint(6, Parts(f).CB_FinePicture->height() / 2));
  };
  const auto convert = [&] {
    Parts(f).TBIConvert->setEnabled(true);
    QTest::mouseClick(Parts(f).TBTVideoBar->widgetForAction(Parts(f).TBIConvert), Qt::LeftButton);
    return ReadAll(Parts(f).TextFileName);
  };
  // The movie the engine writes of the folder's bitmaps.
  const auto expected = [&](const std::string& table, bool fine) {
    TConverter engine;
    engine.FrameMarker = kFrameMarker;
    engine.FinePicture = fine;
    engine.GrayTable = table;
    engine.GrayLevels = CountGrayUnits(table);
    engine.Interval = Parts(f).Interval();
    engine.OutputRect = *Parts(f).Options().OutputRect();
    std::string movie, buffer;
    for (int n = 1; n <= 3; ++n) {
      QImage picture;
      EXPECT_TRUE(bmp::LoadWhole(Parts(f).RecordFolder + std::to_string(n) + ".bmp", &buffer, &picture));
      if (!fine) bmp::StretchPicture(QImage(picture), engine.OutputRect.Right, engine.OutputRect.Bottom, &picture);
      engine.FrameIndex = n - 1;
      engine.AppendFrame(picture, &movie);
    }
    return movie;
  };

  clickBox();
  ASSERT_TRUE(Parts(f).CB_FinePicture->isChecked());
  EXPECT_EQ(convert(), expected(fine::FineGrayTable(), true));
  const std::string own = gbk::EncodeOrThrow(QStringLiteral("国困园四一"));
  Parts(f).EdGray->setText(gbk::Decode(own));
  EXPECT_EQ(convert(), expected(own, true));
  clickBox();
  ASSERT_FALSE(Parts(f).CB_FinePicture->isChecked());
  EXPECT_EQ(convert(), expected(own, false));
}

TEST_F(Conversion, EveryFormWithItsNamesLauncherCallsAndTexts) {
  SetUpFolder(3);
  TForm1& f = *form;
  std::vector<std::pair<int, int>> progress;
  Parts(f).SetOutputType(OutputForm::Text);
  f.TBIConvertClick();
  EXPECT_EQ(Parts(f).TextFileName, app / "output/clip.txt");
  EXPECT_EQ(Parts(f).TextPic->FrameTotal(), 3);
  EXPECT_EQ(Parts(f).PBar->maximum(), 7);
  EXPECT_EQ(Parts(f).PBar->value(), 6) << "2K of 2K + 1";
  EXPECT_TRUE(Parts(f).PBar->isHidden());
  EXPECT_TRUE(f.isEnabled());
  EXPECT_TRUE(Parts(f).TBISaveText->isEnabled());
  EXPECT_EQ(Parts(f).StBarPanels[0]->text(), "转换已完成");
  EXPECT_EQ(Parts(f).StBarPanels[3]->text(), "可调整转换选项多次转换");
  EXPECT_EQ(Parts(f).Converter->OutputRect.Right, 160) << "no settings file: the size the box shows, 160 X 120";
  EXPECT_EQ(Parts(f).Converter->Interval, 100) << "and the rate it shows, 10";

  f.TBIConvertClick();  // again: a free name, and the player shows the newer file
  EXPECT_EQ(Parts(f).TextFileName, app / "output/clip_01.txt");

  Parts(f).SetOutputType(OutputForm::Html);
  Parts(f).CB_Size->setCurrentIndex(0);
  f.TBIConvertClick();
  EXPECT_EQ(Parts(f).TextFileName, "");
  EXPECT_EQ(Parts(f).WebPageFileName, app / "output/clip.htm");
  EXPECT_EQ(launcher.Calls.back().argument, app / "output/clip.htm");
  EXPECT_EQ(dialogs.shown.size(), 0u);

  Parts(f).SetOutputType(OutputForm::Excel);
  f.TBIConvertClick();
  EXPECT_EQ(Parts(f).TextFileName, app / "output/data.xxx");
  EXPECT_EQ(launcher.Calls.size(), 1u) << "no workbook template here: nothing opened, nothing said";
  EXPECT_EQ(dialogs.shown.size(), 0u);

  // Once the workbook template is there, the Excel form opens the copied workbook.
  ASSERT_TRUE(fileio::CopyFile(BuiltAppPath() + "dll/xls.dll", app / "dll/xls.dll", nullptr));
  f.TBIConvertClick();
  EXPECT_EQ(launcher.Calls.back().argument, app / "output/clip.xls");
  EXPECT_EQ(ReadAll(app / "output/clip.xls"), ReadAll(app / "dll/xls.dll"));

  Parts(f).SetOutputType(OutputForm::Frames);
  f.TBIConvertClick();
  EXPECT_EQ(Parts(f).TextFileName, "");
  EXPECT_EQ(dialogs.shown.back(), "已转换3个图象字符文件,点击确定查看该文件.");
  EXPECT_EQ(launcher.Calls.back().argument, app / "output/clip/");
  EXPECT_TRUE(Exists(app / "output/clip/3.txt"));
}

TEST_F(Conversion, FailuresAreShownAndTheWindowComesBack) {
  SetUpFolder(2);
  TForm1& f = *form;
  Parts(f).SetOutputType(OutputForm::Text);
  Parts(f).EdGray->setText(QStringLiteral("한국"));
  Parts(f).GrayBytes.reset();
  f.TBIConvertClick();
  EXPECT_TRUE(dialogs.shown.back().contains(QStringLiteral("U+D55C"))) << dialogs.shown.back().toStdString();
  EXPECT_FALSE(Exists(app / "output/clip.txt"));

  Parts(f).EdGray->setText(QStringLiteral("ab"));
  {
    fileio::ScopedFault fault({fileio::FaultPoint::Rename, "clip"});
    f.TBIConvertClick();
  }
  EXPECT_TRUE(dialogs.shown.back().startsWith(QStringLiteral("转换失败"))) << dialogs.shown.back().toStdString();
  EXPECT_TRUE(f.isEnabled());
  EXPECT_TRUE(Parts(f).PBar->isHidden());
  EXPECT_FALSE(Exists(app / "output/1.txt")) << "frame files live in the run's private folder, and go with it";
  EXPECT_FALSE(Exists(app / "output/clip.txt"));

  WriteAll(app / "output/2.bmp", "broken");
  f.TBIConvertClick();
  EXPECT_TRUE(std::find(dialogs.shown.begin(), dialogs.shown.end(), QStringLiteral("图片格式错误")) != dialogs.shown.end());
}

TEST_F(Road, RecordingFromStartToAutomaticConversion) {
  TForm1& f = Start();
  Parts(f).RecordFolder = app / "new/frames/";  // missing: made at Rec
  OpenVideo(Clip("clip.avi", 25));
  Parts(f).CBFrame->setCurrentIndex(5);
  Parts(f).CBFrameChange();
  Parts(f).SetOutputType(OutputForm::Text);
  Parts(f).TBISnapBegin->trigger();
  EXPECT_EQ(VideoItems(f), "000010") << "Recording";
  EXPECT_EQ(Parts(f).StBarPanels[0]->text(), "正在录制画面...");
  EXPECT_FALSE(Parts(f).PBar->isHidden());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 10000)) << "ends with the movie";
  EXPECT_EQ(VideoItems(f), "110101") << "Stopped after recording";
  EXPECT_GE(Parts(f).FrameCount, 5);
  EXPECT_EQ(Parts(f).Pl_FrameCount->text(), QStringLiteral("Frame:%1").arg(Parts(f).FrameCount));
  EXPECT_EQ(Parts(f).TextFileName, app / "new/frames/clip.txt");
  EXPECT_EQ(Parts(f).TextPic->FrameTotal(), Parts(f).FrameCount);
  EXPECT_EQ(Parts(f).TextPic->FrameInterval(), 100);
  EXPECT_TRUE(Parts(f).TBIPlayText->isEnabled()) << "the player can play it";

  // The frames show the movie's pictures at their times.
  QImage first(QString::fromStdString(app / "new/frames/1.bmp"), "bmp");
  EXPECT_EQ(first.size(), QSize(160, 120));
}

TEST_F(Road, ClearingOldFramesAndFailingWrites) {
  TForm1& f = Start();
  Parts(f).RecordFolder = app / "output/";
  WriteAll(app / "output/old.BMP", "x");
  WriteAll(app / "output/7.bmp", "x");
  WriteAll(app / "output/keep.txt", "x");
  fileio::MakePath(app / "output/x.bmp/inside", nullptr);  // cannot be deleted
  EXPECT_EQ(f.ClearOldFrames(), 1);
  EXPECT_EQ(dialogs.shown.back(), "1个文件无法清理");
  EXPECT_FALSE(Exists(app / "output/old.BMP"));
  EXPECT_FALSE(Exists(app / "output/7.bmp"));
  EXPECT_TRUE(Exists(app / "output/keep.txt"));

  OpenVideo(Clip("clip.avi", 50));
  Parts(f).CB_AutoConvert->setChecked(false);
  Parts(f).CB_AutoClearBmp->setChecked(false);
  const size_t before = dialogs.shown.size();
  {
    // (A cause the window has no words of its own for: the system's text, which names the file.)
    fileio::ScopedFault fault({fileio::FaultPoint::AfterBytes, "/3.bmp", 10, 0, EFBIG});
    Parts(f).TBISnapBegin->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 10000));
  }
  ASSERT_EQ(dialogs.shown.size(), before + 1) << "one message, not one per tick";
  EXPECT_TRUE(dialogs.shown.back().contains(QStringLiteral("3.bmp")));
  EXPECT_EQ(Parts(f).FrameCount, 2);
  EXPECT_EQ(VideoItems(f), "110101") << "ended as Stop would";
  EXPECT_TRUE(Exists(app / "output/2.bmp"));
}

TEST_F(Road, AFolderInUseIsRefusedAndACutShortVideoIsReported) {
  TForm1& f = Start();
  Parts(f).RecordFolder = app / "output/";
  WriteBmp(app / "output/1.bmp", MakeImage(8, 6, [](int, int) { return 0x808080u; }));
  OpenVideo(Clip("clip.avi", 75));
  const std::string bytes = ReadAll(app / "clip.avi");
  WriteAll(app / "cut.avi", bytes.substr(0, bytes.size() / 3));

  // Another program converting or recording in the folder holds its lock:
  // Rec and Convert refuse, and not one old frame is cleared.
  const int other = ::open((app / "output").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  Parts(f).TBISnapBegin->trigger();
  EXPECT_EQ(dialogs.shown.back(), FolderBusyMessage(app / "output/"));
  EXPECT_TRUE(Parts(f).TBISnapBegin->isEnabled()) << "not recording";
  EXPECT_TRUE(Exists(app / "output/1.bmp"));
  Parts(f).SetOutputType(OutputForm::Text);
  f.TBIConvertClick();
  EXPECT_EQ(dialogs.shown.back(), FolderBusyMessage(app / "output/"));
  EXPECT_FALSE(Exists(app / "output/clip.txt"));
  ::close(other);

  // A file cut at a third: the recording ends early and says so.
  OpenVideo(app / "cut.avi");
  Parts(f).CB_AutoConvert->setChecked(false);
  dialogs.shown.clear();
  Parts(f).TBISnapBegin->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 10000));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  const QRegularExpression said(QStringLiteral("^视频在00:00:0\\d处提前结束,只录制了(\\d+)帧\\(应为约(\\d+)帧\\)。$"));
  const QRegularExpressionMatch match = said.match(dialogs.shown.back());
  ASSERT_TRUE(match.hasMatch()) << dialogs.shown.back().toStdString();
  EXPECT_EQ(match.captured(1).toInt(), Parts(f).FrameCount);
  EXPECT_LT(match.captured(1).toInt(), match.captured(2).toInt());

  // The whole clip says nothing.
  OpenVideo(app / "clip.avi");
  dialogs.shown.clear();
  Parts(f).TBISnapBegin->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Parts(f).TBISnapBegin->isEnabled(); }, 10000));
  EXPECT_EQ(dialogs.shown.size(), 0u);
}

TEST_F(Road, GrayTableEditor) {
  TForm1& f = Start("");
  // The strip is the stored JPEG, black on the left, white on the right.
  const QImage strip = Parts(f).Image_Gray->pixmap().toImage();
  ASSERT_EQ(strip.size(), QSize(265, 17));
  EXPECT_LT(qGray(strip.pixel(0, 8)), 8);
  EXPECT_GT(qGray(strip.pixel(264, 8)), 247);
  Parts(f).EdGray->setText(QStringLiteral("A"));  // shorter than 2 bytes: the display stays
  EXPECT_EQ(Parts(f).LbGray->text(), "灰度级:16");
  Parts(f).EdGray->setText(QStringLiteral("ab"));
  EXPECT_EQ(Parts(f).LbGray->text(), "灰度级:1");
  EXPECT_EQ(Parts(f).Image_Gray->width(), 12);

  // Right after start-up a pick (a click on an entry) replaces the text without asking.
  f.show();
  auto pick = [&](int row) {
    QTest::mouseClick(Parts(f).ListGray->viewport(), Qt::LeftButton, {}, Parts(f).ListGray->visualItemRect(Parts(f).ListGray->item(row)).center());
  };
  Parts(f).ListGray->item(3)->setData(Qt::UserRole, QByteArray("xxyy"));
  pick(3);
  EXPECT_EQ(Parts(f).EdGray->text(), "xxyy");
  EXPECT_TRUE(dialogs.shown.empty());
  // After typing, it asks; No keeps the typed text.
  QTest::keyClicks(Parts(f).EdGray, "zz");
  pick(4);
  EXPECT_EQ(dialogs.shown.back(), "是否更新当前的灰度表？");
  EXPECT_EQ(Parts(f).EdGray->text(), "xxyyzz");
  dialogs.confirmations.push_back(true);
  pick(5);
  EXPECT_EQ(Parts(f).EdGray->text(), "厲嵌懒傳蛤凯来旯圀国困园四三二一");

  // Storing: spaces refused, confirmation asked, the selected entry replaced.
  Parts(f).EdGray->setText(QStringLiteral("a b"));
  Parts(f).SBGrayClick();
  EXPECT_EQ(dialogs.shown.back(), "输入文本中不能含有空格");
  Parts(f).EdGray->setText(QStringLiteral("国　国"));  // a full-width space is no space byte
  dialogs.confirmations.push_back(true);
  Parts(f).SBGrayClick();
  EXPECT_EQ(dialogs.shown.back(), "确认将上面的灰度表项目保存到当前列表?");
  EXPECT_EQ(Parts(f).ListGray->item(5)->text(), "国　国");
  EXPECT_EQ(Parts(f).ListGray->count(), 20);
  Parts(f).ListGray->clearSelection();
  dialogs.confirmations.push_back(true);
  Parts(f).SBGrayClick();
  EXPECT_EQ(Parts(f).ListGray->count(), 21) << "nothing selected: added at the end";
  Parts(f).SBGrayClick();  // declined
  EXPECT_EQ(Parts(f).ListGray->count(), 21);
}

}  // namespace

namespace {

TEST_F(Conversion, AClickQueuedBeforeTheRunCannotStartASecondOne) {
  SetUpFolder(2);
  TForm1& f = *form;
  Parts(f).SetOutputType(OutputForm::Text);
  int runs = 0;
  Parts(f).Converter->SetOnProgress([&](TConverter&) {});
  QObject::connect(Parts(f).TBIConvert, &QAction::triggered, &f, [&] { ++runs; });
  // A click on Convert waiting in the queue when the run processes pending messages.
  Parts(f).TBIConvert->setEnabled(true);
  f.show();
  QWidget* button = Parts(f).TBTVideoBar->widgetForAction(Parts(f).TBIConvert);
  ASSERT_NE(button, nullptr);
  const QPointF at(button->width() / 2.0, button->height() / 2.0);
  const QPointF global = button->mapToGlobal(at);
  QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                      Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                      Qt::NoButton, Qt::NoModifier));
  f.TBIConvertClick();
  EXPECT_EQ(runs, 0) << "the queued click met a disabled window";
  EXPECT_EQ(Parts(f).TextFileName, app / "output/clip.txt");
  EXPECT_FALSE(Exists(app / "output/clip_01.txt"));
}

}  // namespace

namespace {

TEST_F(Road, ClosingWhilePlayingAndRecordingStopsEveryTimer) {
  TForm1& f = Start();
  OpenVideo(Clip("clip.avi", 100));
  Parts(f).CB_AutoConvert->setChecked(false);
  Parts(f).TBISnapBegin->trigger();
  f.OpenTextMovie(Movie("three.txt", 3));
  Parts(f).TBIPlayText->trigger();
  QTest::qWait(120);
  dialogs.confirmations = {true};  // "正在录制,确定要退出吗？"
  f.close();
  EXPECT_FALSE(Parts(f).TimerSnap->isActive());
  EXPECT_FALSE(Parts(f).TimerPlayText->isActive());
  QTest::qWait(300);  // nothing ticks into the freed engine and reader
  EXPECT_FALSE(Parts(f).TextPic);
}

}  // namespace
