// The settings file through the window: what a start reads into the
// controls and what a close writes back.
#include "WindowFixture.h"

#include "common/Gbk.h"
#include "shell/IniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

using testing_support::ReadAll;

std::string Key(const std::string& file, const char* section, const std::string& key) {
  return IniFile(file).ReadString(section, key, "<missing>");
}

TEST_F(WindowTest, AnEmptyFileGivesEveryDefaultAndIsFilledAtClose) {
  TForm1& f = Start("");
  EXPECT_EQ(f.size(), QSize(640, 480));
  EXPECT_FALSE(Parts(f).StartMaximized);
  EXPECT_EQ(Parts(f).EdSavePath->text(), "output/");
  EXPECT_EQ(Parts(f).RecordFolder, app / "output/");
  EXPECT_EQ(Parts(f).OutputType(), OutputForm::Text);
  EXPECT_TRUE(Parts(f).CB_AutoConvert->isChecked());
  EXPECT_EQ(Parts(f).CB_Size->currentText(), "60 X 45");
  EXPECT_EQ(Parts(f).CBFrame->currentText(), "15");
  EXPECT_EQ(Parts(f).EdGray->text(), "厲嵌懒傳蛤凯来旯圀国困园四三二一");
  EXPECT_EQ(Parts(f).LbGray->text(), "灰度级:16");
  EXPECT_EQ(Parts(f).Image_Gray->width(), 192);
  ASSERT_EQ(Parts(f).ListGray->count(), 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Parts(f).ListGray->item(i)->text(), "厲嵌懒傳蛤凯来旯圀国困园四三二一");

  f.close();
  const std::string file = app / "dll/Kinograf.ini";
  EXPECT_EQ(Key(file, "window", "width"), "640");
  EXPECT_EQ(Key(file, "window", "height"), "480");
  EXPECT_EQ(Key(file, "window", "Max"), "0");
  EXPECT_EQ(Key(file, "Setting", "OutPutType"), "0");
  EXPECT_EQ(Key(file, "Setting", "AutoConvert"), "1");
  EXPECT_EQ(Key(file, "Setting", "OutPutSize"), "0");
  EXPECT_EQ(Key(file, "Setting", "OutPutFrame"), "0");
  EXPECT_EQ(Key(file, "Setting", "SavePath"), "output/");
  EXPECT_EQ(Key(file, "Setting", "Grayword"), gbk::DefaultGrayTable());
  EXPECT_EQ(Key(file, "Setting", "Graywordlist20"), gbk::DefaultGrayTable());
  EXPECT_EQ(Key(file, "Setting", "Graywordlist21"), "<missing>");
}

TEST_F(WindowTest, AdvancedPageBoxesAreKeptInTheSettingSection) {
  const struct {
    const char* key;
    QCheckBox* WindowParts::*box;
  } boxes[] = {{"FastRecord", &WindowParts::CB_FastRecord}, {"FinePicture", &WindowParts::CB_FinePicture}};
  const struct {
    const char* stored;   // the key's value in the file; none for an old file
    bool read;
    bool click;           // the user clicks the box before closing
    const char* written;  // the key at close
  } cases[] = {
      {nullptr, false, false, "0"},  // an old file: off
      {"1", true, false, "1"},
      {"0", false, true, "1"},
      {"1", true, true, "0"},
  };
  for (const auto& b : boxes) {
    for (const auto& c : cases) {
      const std::string ini =
          std::string("[Setting]\nAutoConvert=0\n") + (c.stored ? std::string(b.key) + "=" + c.stored + "\n" : "");
      SCOPED_TRACE(ini);
      TForm1& f = Start(ini.c_str());
      QCheckBox* box = Parts(f).*b.box;
      EXPECT_EQ(box->isChecked(), c.read);
      if (c.click) {
        Parts(f).PgC->setCurrentIndex(1);  // "高级"
        f.show();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
      }
      f.close();
      const std::string file = app / "dll/Kinograf.ini";
      EXPECT_EQ(Key(file, "Setting", b.key), c.written);
      form.reset();
    }
  }
}

TEST_F(WindowTest, OnlyTheFirstSettingSectionIsReadAndWritten) {
  // The later [setting] holds keys the first one lacks: they are not read,
  // and closing writes the window's values into the first section.
  const std::string later = "[setting]\nFastRecord=1\nOutPutType=2\nOutPutFrame=9\n";
  TForm1& f = Start(("[window]\nwidth=700\n[Setting]\nAutoConvert=0\n" + later).c_str());
  EXPECT_FALSE(Parts(f).CB_FastRecord->isChecked());
  EXPECT_EQ(Parts(f).OutputType(), OutputForm::Text);
  EXPECT_EQ(Parts(f).CBFrame->currentText(), "15");
  f.close();
  const std::string written = Ini();
  const size_t laterAt = written.find(later);
  ASSERT_NE(laterAt, std::string::npos) << "the later section stays as it was:\n" << written;
  EXPECT_EQ(laterAt + later.size(), written.size()) << written;
  const std::string first = written.substr(0, laterAt);
  for (const char* line : {"\nFastRecord=0\n", "\nOutPutType=0\n", "\nOutPutFrame=0\n", "\nAutoConvert=0\n"}) {
    EXPECT_NE(first.find(line), std::string::npos) << line << " in the first section:\n" << first;
  }
}

TEST_F(WindowTest, NoFileChangesNothingAndWritesNothing) {
  TForm1& f = Start(nullptr);
  EXPECT_EQ(Parts(f).ListGray->count(), 0);
  EXPECT_EQ(Parts(f).OutputType(), std::nullopt);
  f.close();
  EXPECT_FALSE(testing_support::Exists(app / "dll/Kinograf.ini"));
}

TEST_F(WindowTest, ValuesOutOfRangeHexadecimalAndWords) {
  struct {
    const char* ini;
    int type, size, frame;
    bool autoConvert, max;
  } cases[] = {
      // Outside the lists: the entries the boxes show by design ("160 X 120", "10").
      {"[Setting]\nOutPutType=-5\nOutPutSize=9\nOutPutFrame=15\n", -1, 4, 5, true, false},
      {"[setting]\noutputtype=7\nOUTPUTSIZE=0x3\nOutPutFrame=$a\nAutoConvert=0\n[WINDOW]\nmax=2\n", 3, 3, 10, false,
       true},
      {"[Setting]\nOutPutSize=-1\nOutPutFrame=three\nAutoConvert=no\n[window]\nMax=yes\n", 0, 4, 0, true, false},
  };
  for (const auto& c : cases) {
    TForm1& f = Start(c.ini);
    EXPECT_EQ(Parts(f).OutputType(), OutputFormAt(c.type)) << c.ini;
    EXPECT_EQ(Parts(f).CB_Size->currentIndex(), c.size) << c.ini;
    EXPECT_EQ(Parts(f).CBFrame->currentIndex(), c.frame) << c.ini;
    EXPECT_EQ(Parts(f).CB_AutoConvert->isChecked(), c.autoConvert) << c.ini;
    EXPECT_EQ(Parts(f).StartMaximized, c.max) << c.ini;
    EXPECT_EQ(Parts(f).TimerStartWindow->isActive(), c.max) << c.ini;
    form.reset();
  }
}

TEST_F(WindowTest, StartMaximizedWaitsForTheTimerAndAMaximizedCloseKeepsTheSize) {
  TForm1& f = Start("[window]\nwidth=700\nheight=500\nMax=1\n");
  f.show();
  EXPECT_EQ(f.frameGeometry().size(), QSize(700, 500)) << "the stored size is the outer size";
  EXPECT_FALSE(f.isMaximized());
  f.TimerStartWindowTimer();
  EXPECT_FALSE(Parts(f).TimerStartWindow->isActive());
  EXPECT_FALSE(Parts(f).StartMaximized);
  EXPECT_TRUE(f.isMaximized());
  f.close();
  const std::string file = app / "dll/Kinograf.ini";
  EXPECT_EQ(Key(file, "window", "Max"), "1");
  EXPECT_EQ(Key(file, "window", "width"), "700");
  EXPECT_EQ(Key(file, "window", "height"), "500");
}

TEST_F(WindowTest, StartAndCloseWriteBackTheSizeThatWasRead) {
  Start("[window]\nwidth=811\nheight=577\n").show();
  form->close();
  form.reset();
  Start(nullptr).show();  // the file from the first run
  EXPECT_EQ(form->frameGeometry().size(), QSize(811, 577));
  form->close();
  EXPECT_EQ(Key(app / "dll/Kinograf.ini", "window", "width"), "811");
  EXPECT_EQ(Key(app / "dll/Kinograf.ini", "window", "height"), "577");
}

TEST_F(WindowTest, SavePathRules) {
  testing_support::TempFolder outside;
  fileio::MakePath(app / "x", nullptr);
  struct {
    std::string stored;
    QString shown;
    std::string folder;
  } cases[] = {
      {"output/", QStringLiteral("output/"), app / "output/"},
      {outside.Path().substr(0, outside.Path().size() - 1), QString::fromStdString(outside.Path()).chopped(1),
       outside.Path()},
      {"x", QStringLiteral("output/"), app / "output/"},  // one character is never used
      {"nowhere/", QStringLiteral("output/"), app / "output/"},
  };
  for (const auto& c : cases) {
    TForm1& f = Start(("[Setting]\nSavePath=" + c.stored + "\n").c_str());
    EXPECT_EQ(Parts(f).EdSavePath->text(), c.shown) << c.stored;
    EXPECT_EQ(Parts(f).RecordFolder, c.folder) << c.stored;
    form.reset();
  }
}

TEST_F(WindowTest, GrayTablesKeepTheirBytesAndExtraListItemsAreNotReadBack) {
  // A table that does not decode cleanly, and an empty list value.
  const std::string odd = "\x85\x96\xFF\x41\x42";
  Start(("[Setting]\nGrayword=" + odd + "\nGraywordlist3=\nGraywordlist4=" + odd + "\n").c_str());
  TForm1& f = *form;
  EXPECT_EQ(Parts(f).ListGray->item(2)->text(), "") << "present but empty is not the default";
  Parts(f).AddGrayListItem("abcd");  // a 21st item
  f.close();
  const std::string file = app / "dll/Kinograf.ini";
  EXPECT_EQ(Key(file, "Setting", "Grayword"), odd);
  EXPECT_EQ(Key(file, "Setting", "Graywordlist4"), odd);
  EXPECT_EQ(Key(file, "Setting", "Graywordlist3"), "");
  EXPECT_EQ(Key(file, "Setting", "Graywordlist21"), "abcd");
  form.reset();

  Start(nullptr);
  EXPECT_EQ(Parts(*form).ListGray->count(), 20);
  // Edited by the user, the table is written as the text encodes.
  Parts(*form).EdGray->setText(QStringLiteral("AB国"));
  Parts(*form).GrayBytes.reset();
  form->close();
  EXPECT_EQ(Key(file, "Setting", "Grayword"), "AB\xB9\xFA");
}

TEST_F(WindowTest, AFailedWriteIsReportedAndClosingGoesOn) {
  TForm1& f = Start("[window]\nwidth=700\n");
  const std::string before = Ini();
  {
    fileio::ScopedFault fault({fileio::FaultPoint::Open, "Kinograf.ini"});
    EXPECT_TRUE(f.close());
  }
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0], QString::fromStdString("Unable to write to " + app / "dll/Kinograf.ini"));
  EXPECT_EQ(Ini(), before);
  EXPECT_FALSE(f.isVisible());
}

}  // namespace
