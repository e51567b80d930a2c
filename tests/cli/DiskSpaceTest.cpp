// The disk check before a recording, on a real small disk: a tmpfs of 2 MB.
#include "support/TestSupport.h"
#include "support/TestVideo.h"

#include "common/FileWrite.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;

struct CliRun {
  int status = -1;
  std::string out, err;
};

CliRun Cli(const std::vector<std::string>& args) {
  QProcess p;
  QStringList list;
  for (const std::string& a : args) list << QString::fromStdString(a);
  p.start(QString::fromStdString(BuiltAppPath() + "glyphreel-cli"), list);
  EXPECT_TRUE(p.waitForFinished(60000));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

int BitmapCount(const std::string& folder) {
  return static_cast<int>(fileio::EntriesEndingWith(folder, ".bmp").size());
}

// Two seconds of 320 x 240: 230 KB a bitmap. Empty when it cannot be made.
std::string LargeClip(const TempFolder& dir) {
  ClipSpec clipSpec;
  clipSpec.format = FormatFor(".avi");
  clipSpec.width = 320;
  clipSpec.height = 240;
  clipSpec.frameCount = 50;
  clipSpec.withSound = false;
  std::string error;
  const std::string clip = dir / "clip.avi";
  if (!WriteTestVideo(clip, clipSpec, &error)) {
    ADD_FAILURE() << error;
    return {};
  }
  return clip;
}

// A 2 MB disk with a folder for the frames, and the clip beside it.
class CliDiskCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!disk.Mounted()) GTEST_SKIP() << disk.SkipReason();
    clip = LargeClip(dir);
    ASSERT_FALSE(clip.empty());
  }
  ScopedTmpfs disk{"2m"};
  TempFolder dir;
  std::string clip;
  const std::string frames = disk / "frames/";
};

TEST_F(CliDiskCheck, RecordingsThatDoNotFitAreRefusedUnlessForced) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    int status;
    int bitmaps;          // in the folder afterwards; -1: not checked
    const char* message;  // in standard error; "" for none
  } cases[] = {
      // 29 bitmaps, 6.4 MB: refused, nothing written, both sizes named.
      {"too big", {"record", clip, frames, "--fps", "15"}, 1, 0, "need about 6 MB"},
      {"too big, free space named", {"record", clip, frames, "--fps", "15"}, 1, 0, "has only 2 MB left"},
      {"fits", {"record", clip, frames, "--fps", "2"}, 0, 3, ""},
      {"make streams: no bitmaps, no check", {"make", clip, disk / "movie", "--fps", "15"}, 0, -1, ""},
      {"make keeping frames is checked", {"make", clip, disk / "kept", "--fps", "15", "--keep-frames"}, 1, 0,
       "--force"},
      // Forced, the recording runs until the disk is full, then says so.
      {"forced", {"record", clip, frames, "--fps", "15", "--force"}, 1, -1, "No space left on device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    if (c.bitmaps >= 0) {
      EXPECT_EQ(BitmapCount(c.args[2]), c.bitmaps);
    }
    if (c.status == 1 && c.bitmaps == 0) {
      EXPECT_FALSE(Exists(c.args[2])) << "refused, yet made";
    }
  }
}

TEST_F(CliDiskCheck, OldBitmapsThatWillBeClearedCountAsFree) {
  std::string error;
  ASSERT_TRUE(fileio::MakePath(frames, &error)) << error;
  // 1.5 MB of old frames leave about 0.5 MB free; 6 new bitmaps need 1.3 MB.
  WriteAll(frames + "old.bmp", std::string(1536 * 1024, 'x'));

  CliRun r = Cli({"record", clip, frames, "--fps", "3", "--keep"});
  EXPECT_EQ(r.status, 1) << "kept old frames stay in the way";
  EXPECT_TRUE(Exists(frames + "old.bmp"));
  r = Cli({"record", clip, frames, "--fps", "3"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "6\n");
  EXPECT_FALSE(Exists(frames + "old.bmp"));
}

}  // namespace
