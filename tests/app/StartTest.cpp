// The window at start: in the installed layout (settings in the user's
// configuration folder, outputs under ~/Glyphreel, support files from the
// share folder, nothing written beside the program) and with a file named on
// the command line.
#include "WindowFixture.h"

#include "shell/StartOptions.h"

#include <QAction>
#include <QComboBox>
#include <QDirIterator>
#include <QScrollBar>

#include <cstdlib>

namespace {

using testing_support::Exists;
using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

// Sets an environment variable for one test and puts the old value back.
class EnvironmentScope {
 public:
  EnvironmentScope(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvironmentScope() {
    if (saved_) setenv(name_, saved_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// Every file under `folder` with its size, to see that nothing changed there.
QStringList Listing(const std::string& folder) {
  QStringList list;
  QDirIterator it(QString::fromStdString(folder), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    list << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size());
  }
  list.sort();
  return list;
}

TEST_F(WindowTest, InstalledLayoutKeepsTheUsersFilesInTheUsersFolders) {
  TempFolder root;
  const std::string prefix = root / "usr/";
  ASSERT_TRUE(fileio::MakePath(prefix + "bin", nullptr));
  ASSERT_TRUE(fileio::MakePath(prefix + "share/glyphreel", nullptr));
  WriteAll(prefix + "share/glyphreel/Kinograf.ini", "[Setting]\r\nOutPutSize=4\r\n");
  WriteAll(prefix + "share/glyphreel/Help.txt", "help\r\n");
  const EnvironmentScope home("HOME", root / "home");
  const EnvironmentScope config("XDG_CONFIG_HOME", root / "cfg");
  const QStringList before = Listing(prefix);

  form = std::make_unique<TForm1>(TForm1::Services{&dialogs, &launcher, prefix + "bin/"});
  TForm1& f = *form;
  const std::string settings = root / "cfg/glyphreel/Kinograf.ini";
  ASSERT_TRUE(Exists(settings)) << "made from the packaged defaults at first start";
  EXPECT_EQ(4, Parts(f).CB_Size->currentIndex()) << "the defaults were read";
  EXPECT_EQ(root / "home/Glyphreel/output/", Parts(f).RecordFolder);
  Parts(f).TBIHelp->trigger();
  ASSERT_FALSE(launcher.Calls.empty());
  EXPECT_EQ(prefix + "share/glyphreel/Help.txt", launcher.Calls[0].argument);

  Parts(f).CB_Size->setCurrentIndex(6);
  f.close();
  EXPECT_NE(std::string::npos, ReadAll(settings).find("OutPutSize=6")) << ReadAll(settings);
  EXPECT_EQ(before, Listing(prefix)) << "nothing is written under the install prefix";
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().toStdString();
}

TEST_F(WindowTest, FileOnTheCommandLineOpensAsMovieOrVideoByContent) {
  TForm1& f = Start();
  // A character movie of three frames of two rows, under a video's name.
  std::string movie;
  for (int frame = 0; frame < 3; ++frame) movie += "aabbccdd\r\nddccbbaa\r\n\x80\x80\r\nW004V0050F0000" + std::to_string(frame) + "\r\n";
  WriteAll(app / "movie.avi", movie);
  f.OpenAtStart(app / "movie.avi");
  EXPECT_EQ(app / "movie.avi", Parts(f).TextFileName);
  EXPECT_EQ(2, Parts(f).SBTextShow->maximum());
  EXPECT_TRUE(Parts(f).TBIPlayText->isEnabled());
  EXPECT_TRUE(Parts(f).VideoFileName.empty()) << "not opened as a video";

  // A real video opens as the open button opens it.
  const std::string clip = Clip("clip.avi");
  f.OpenAtStart(clip);
  EXPECT_EQ("clip.avi", Parts(f).VideoFileName);
  EXPECT_TRUE(Parts(f).TBIPlay->isEnabled());
  EXPECT_TRUE(Parts(f).TBIPlayText2->isEnabled()) << "a playable movie is loaded";
  EXPECT_EQ(app / "movie.avi", Parts(f).TextFileName);

  // Anything else is tried as a video and refused with the open button's message.
  WriteAll(app / "notes.txt", "just text\r\n");
  f.OpenAtStart(app / "notes.txt");
  ASSERT_EQ(1u, dialogs.shown.size());
  EXPECT_EQ(QStringLiteral("打开视频出错，请先安装相应视频解码器."), dialogs.shown[0]);
}

}  // namespace
