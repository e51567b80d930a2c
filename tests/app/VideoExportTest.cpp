// The movie pane's "导出为视频…": reached by a right click, run on a worker
// thread, finished with a question, failed with a message, cancelled from the
// same menu.
#include "WindowFixture.h"

#include "app/VideoExport.h"
#include "playback/ExportSupport.h"
#include "common/BmpWriter.h"
#include "playback/FrameLabel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

using testing_support::Exists;
using testing_support::WriteAll;

class VideoExport : public WindowTest {
 protected:
  // Right-clicks the frame label (the platform's context-menu event, which
  // the label leaves to its pane) and returns the menu that opened.
  QMenu* RightClick(TForm1& f) {
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, Parts(f).Lb_TextShow->mapToGlobal(at));
    QCoreApplication::sendEvent(Parts(f).Lb_TextShow, &event);
    QMenu* menu = f.findChild<QMenu*>(QStringLiteral("MovieContextMenu"));
    EXPECT_TRUE(menu && menu->isVisible()) << "the pane's menu opens";
    return menu;
  }
  static QAction* Item(QMenu* menu, const QString& caption) {
    for (QAction* a : menu->actions()) {
      if (a->text() == caption && a->isVisible()) return a;
    }
    return nullptr;
  }
  // Clicks a menu item with the mouse.
  static void Click(QMenu* menu, QAction* item) {
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
  }
  std::string MovieFile(const std::string& name, int frames) {
    WriteAll(app / name, export_support::MovieText(frames, 6, 4, 50, [](int k, int x, int y) {
               return (x + y + k) % 3 == 0;
             }));
    return app / name;
  }
  static bool WaitUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 60000); }
};

TEST_F(VideoExport, FromTheContextMenuWithTheLabelsLookAndTheVideosSound) {
  TForm1& f = Start();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  auto* exporter = f.findChild<VideoExporter*>();
  ASSERT_NE(exporter, nullptr);

  // No playable movie: the item is there but disabled.
  QMenu* menu = RightClick(f);
  ASSERT_NE(menu, nullptr);
  ASSERT_NE(Item(menu, QString::fromUtf8(VideoExporter::kExportCaption)), nullptr);
  EXPECT_FALSE(Item(menu, QString::fromUtf8(VideoExporter::kExportCaption))->isEnabled());
  QTest::keyClick(menu, Qt::Key_Escape);

  OpenVideo(Clip("clip.avi", 50));
  f.OpenTextMovie(MovieFile("movie.txt", 5));
  Parts(f).TBIFontSize->trigger();  // 8 px
  Parts(f).TBIColor->trigger();     // white on black
  dialogs.exports.push_back(VideoExportChoice{QString::fromStdString(app / "movie.mkv"), true});
  dialogs.confirmations.push_back(true);
  menu = RightClick(f);
  QAction* item = Item(menu, QString::fromUtf8(VideoExporter::kExportCaption));
  ASSERT_TRUE(item && item->isEnabled());
  Click(menu, item);
  ASSERT_EQ(dialogs.proposed.back(), QString::fromStdString(app / "movie.mp4")) << "named after the movie";
  EXPECT_EQ(dialogs.soundOffers.back(), true) << "a video is loaded";
  ASSERT_TRUE(WaitUntil([&] { return !exporter->Running(); }));
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back(),
            QStringLiteral("导出完毕: %1。是否打开所在文件夹？").arg(QString::fromStdString(app / "movie.mkv")));
  ASSERT_FALSE(launcher.Calls.empty());
  EXPECT_EQ(launcher.Calls.back().argument, app.Path()) << "the folder opens";
  EXPECT_FALSE(Parts(f).PBar->isVisible());

  const export_support::Decoded d = export_support::DecodeFile(app / "movie.mkv", true, false);
  EXPECT_EQ(d.width, 6 * 8);
  EXPECT_EQ(d.height, 4 * 8);
  EXPECT_EQ(d.ptsMs.size(), 6u);
  EXPECT_EQ(d.soundCodec, "pcm_s16le");
  ASSERT_FALSE(d.pictures.empty());
  EXPECT_EQ(d.pictures[0].pixel(47, 31), QColor(Qt::black).rgb()) << "the label's colours: white on black";
}

TEST_F(VideoExport, FailureSaysSoAndCancelLeavesNothing) {
  TForm1& f = Start();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  auto* exporter = f.findChild<VideoExporter*>();
  f.OpenTextMovie(MovieFile("long.txt", 2000));

  // A folder that does not exist: one message, no file.
  dialogs.exports.push_back(VideoExportChoice{QString::fromStdString(app / "gone/movie.mp4"), false});
  QMenu* menu = RightClick(f);
  Click(menu, Item(menu, QString::fromUtf8(VideoExporter::kExportCaption)));
  EXPECT_EQ(dialogs.soundOffers.back(), false) << "no video loaded";
  ASSERT_TRUE(WaitUntil([&] { return !exporter->Running(); }));
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_TRUE(dialogs.shown.back().startsWith(QStringLiteral("导出失败: "))) << dialogs.shown.back().toStdString();
  EXPECT_TRUE(dialogs.shown.back().contains(QStringLiteral("No such file or directory")));

  // Cancelled from the menu while it runs: no question, no file.
  const size_t shownBefore = dialogs.shown.size();
  dialogs.exports.push_back(VideoExportChoice{QString::fromStdString(app / "long.webm"), false});
  menu = RightClick(f);
  Click(menu, Item(menu, QString::fromUtf8(VideoExporter::kExportCaption)));
  ASSERT_TRUE(exporter->Running());
  menu = RightClick(f);
  EXPECT_EQ(Item(menu, QString::fromUtf8(VideoExporter::kExportCaption)), nullptr) << "one export at a time";
  QAction* cancel = Item(menu, QString::fromUtf8(VideoExporter::kCancelCaption));
  ASSERT_NE(cancel, nullptr);
  Click(menu, cancel);
  ASSERT_TRUE(WaitUntil([&] { return !exporter->Running(); }));
  EXPECT_EQ(dialogs.shown.size(), shownBefore);
  EXPECT_EQ(Parts(f).StBarPanels[3]->text(), QStringLiteral("已取消导出视频"));
  EXPECT_FALSE(Exists(app / "long.webm"));
}

// The real export dialog; every other dialog scripted.
struct RealExportDialog : ScriptedDialogs {
  std::optional<VideoExportChoice> ExportVideo(QWidget* parent, const QString& proposed, bool soundOffered,
                                               bool colourOffered) override {
    return QtDialogs().ExportVideo(parent, proposed, soundOffered, colourOffered);
  }
};

// Once the export dialog is up: clicks its colour box, then types `fileName`
// (a file in the proposed folder) and clicks Save, or with none clicks
// Cancel. Says whether the box was enabled and ticked after the click.
void AnswerExportDialog(const QString& fileName, bool* enabled, bool* ticked) {
  QTimer::singleShot(50, [=] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return AnswerExportDialog(fileName, enabled, ticked);  // not up yet
    auto* colour = dialog->findChild<QCheckBox*>(QStringLiteral("ExportColour"));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!colour || !name) return dialog->reject();
    QTest::mouseClick(colour, Qt::LeftButton, {}, QPoint(colour->height() / 2, colour->height() / 2));
    *enabled = colour->isEnabled();
    *ticked = colour->isChecked();
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    QPushButton* button =
        buttons ? buttons->button(fileName.isEmpty() ? QDialogButtonBox::Cancel : QDialogButtonBox::Save) : nullptr;
    if (!button) return dialog->reject();
    if (!fileName.isEmpty()) {
      name->clear();
      QTest::keyClicks(name, fileName);  // a name in the proposed folder
    }
    QTest::mouseClick(button, Qt::LeftButton);
  });
}

// "彩色(取自视频的颜色)" is offered only while a video is open in the preview;
// ticked with a click, it exports the movie in that video's colours.
TEST_F(VideoExport, TheRealDialogsColourBoxTakesTheOpenVideosColours) {
  RealExportDialog real;
  TForm1& f = Start("", &real);
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  auto* exporter = f.findChild<VideoExporter*>();
  f.OpenTextMovie(MovieFile("movie.txt", 5));

  bool enabled = true, ticked = true;
  AnswerExportDialog(QString(), &enabled, &ticked);
  QMenu* menu = RightClick(f);
  Click(menu, Item(menu, QString::fromUtf8(VideoExporter::kExportCaption)));
  EXPECT_FALSE(enabled) << "no video is open";
  EXPECT_FALSE(ticked);
  EXPECT_FALSE(exporter->Running());

  const QRgb sky = qRgb(40, 120, 200);
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".avi");
  QImage picture(clipSpec.width, clipSpec.height, QImage::Format_RGB32);
  picture.fill(sky);
  clipSpec.picture = [&](int) { return picture; };
  std::string error;
  ASSERT_TRUE(testing_support::WriteTestVideo(app / "sky.avi", clipSpec, &error)) << error;
  real.files.push_back(QString::fromStdString(app / "sky.avi"));
  f.TBIOpenClick();
  AnswerExportDialog(QStringLiteral("sky.mp4"), &enabled, &ticked);
  menu = RightClick(f);
  Click(menu, Item(menu, QString::fromUtf8(VideoExporter::kExportCaption)));
  EXPECT_TRUE(enabled);
  EXPECT_TRUE(ticked);
  ASSERT_TRUE(WaitUntil([&] { return !exporter->Running(); }));
  const export_support::Decoded d = export_support::DecodeFile(app / "sky.mp4", true, false);
  ASSERT_EQ(d.pictures.size(), 6u) << d.error;
  // Every cell's mean is the video's colour: the corner cell, a glyph in it or not.
  int64_t sum[3] = {};
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 9; ++x) {
      const QRgb p = d.pictures[3].pixel(x, y);
      sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
    }
  }
  EXPECT_NEAR(sum[0] / 81.0, qRed(sky), 10);
  EXPECT_NEAR(sum[1] / 81.0, qGreen(sky), 10);
  EXPECT_NEAR(sum[2] / 81.0, qBlue(sky), 10);
}

// Export proposes the movie the pane shows, in its folder, whatever a page
// converted since has done to TextFileName; a conversion that ends while an
// export runs leaves the export's progress showing.
TEST_F(VideoExport, ProposesTheShownMovieAndKeepsItsProgressThroughAConversion) {
  TForm1& f = Start();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  fileio::MakePath(app / "movies", nullptr);
  f.OpenTextMovie(MovieFile("movies/shown.txt", 3000));
  for (int n = 1; n <= 3; ++n) bmp::Write24(Parts(f).RecordFolder + std::to_string(n) + ".bmp", QImage(16, 12, QImage::Format_RGB888), nullptr);
  Parts(f).SetOutputType(OutputForm::Html);
  f.TBIConvertClick();
  dialogs.exports.push_back(VideoExportChoice{QString::fromStdString(app / "shown.webm"), false});
  QMenu* menu = RightClick(f);
  Click(menu, Item(menu, QString::fromUtf8(VideoExporter::kExportCaption)));
  EXPECT_EQ(dialogs.proposed.back(), QString::fromStdString(app / "movies/shown.mp4"));
  f.TBIConvertClick();
  ASSERT_TRUE(Parts(f).Exporter->Running());
  EXPECT_FALSE(Parts(f).PBar->isVisible()) << "the conversion's bar is gone";
  EXPECT_TRUE(f.findChild<QProgressBar*>(QStringLiteral("ExportBar"))->isVisible()) << "the export's still shows";
  Parts(f).Exporter->CancelAndWait();
}

// The export dialog offers MKV, and no sound for GIF: the box goes unticked
// and disabled with the GIF filter (picked with the keyboard) and comes back
// with another.
TEST_F(VideoExport, TheDialogOffersMkvAndNoSoundForGif) {
  QWidget parent;
  QStringList seen;  // the formats, then the box (ticked, enabled) at first, with GIF, with MP4 again
  QTimer poll;       // works the dialog once it is up
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll.stop();
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("ExportSound"));
    for (int i = 0; i < types->count(); ++i) seen << types->itemText(i);
    for (const int key : {0, int(Qt::Key_End), int(Qt::Key_Home)}) {
      if (key) QTest::keyClick(types, Qt::Key(key));
      seen << QStringLiteral("%1%2").arg(int(box->isChecked())).arg(int(box->isEnabled()));
    }
    dialog->reject();
  });
  poll.start(50);
  QtDialogs().ExportVideo(&parent, QString::fromStdString(app / "m.mp4"), true, true);
  EXPECT_EQ(seen, QStringList({"MP4 视频 (*.mp4)", "WebM 视频 (*.webm)", "MKV 视频(无损) (*.mkv)", "GIF 动画 (*.gif)",
                               "11", "00", "11"}));
}

}  // namespace
