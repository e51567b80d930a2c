// The window library's video pieces: the picture control, the position bar,
// and sound through QAudioSink, both with no sound server and with a
// PulseAudio server (a null sink) that the test starts itself.
#include "video/AudioSinkOutput.h"
#include "video/TrackBar.h"
#include "video/VideoService.h"
#include "video/VideoTestClips.h"
#include "video/VideoWindow.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

using testing_support::FrameNumberOf;
using namespace video_test;
using video::VideoService;

constexpr int kEndTimeoutMs = 10000;

int64_t Ms(const VideoService& service) {
  int64_t position = -1;
  service.GetCurrentPosition(&position);
  return position / 10000;
}

void SeekTo(VideoService& service, int64_t ms) {
  int64_t target = ms * 10000;
  service.SetPositions(&target, video::AM_SEEKING_AbsolutePositioning, nullptr, video::AM_SEEKING_NoPositioning);
}

int Grabbed(const VideoService& service) {
  QImage picture;
  return service.GrabFrame(&picture) ? FrameNumberOf(picture) : -1;
}

TEST(VideoWindow, PlacesThePictureInsideTheControlKeepingItsShape) {
  const struct {
    QSize picture, control;
    QRect expected;
  } cases[] = {
      {{160, 120}, {160, 120}, {0, 0, 160, 120}},     // exact
      {{160, 120}, {320, 240}, {0, 0, 320, 240}},     // scaled up
      {{160, 120}, {400, 200}, {67, 0, 266, 200}},    // bars left and right
      {{160, 120}, {200, 300}, {0, 75, 200, 150}},    // bars above and below
      {{1920, 1080}, {320, 240}, {0, 30, 320, 180}},  // scaled down
      {{160, 120}, {0, 0}, {}},                        // no room
      {{0, 0}, {320, 240}, {}},                        // no picture
  };
  for (const auto& c : cases)
    EXPECT_EQ(video::VideoWindow::PictureRect(c.picture, c.control), c.expected)
        << c.picture.width() << "x" << c.picture.height() << " in " << c.control.width() << "x"
        << c.control.height();
}

TEST(VideoWindow, PaintsTheNewestPictureOnBlackAndFollowsItsSize) {
  std::string reason;
  const std::string path = Clip(".avi", &reason, /*withSound=*/false);
  SKIP_WITHOUT_CLIP(path, reason);
  VideoService service;
  video::VideoWindow window;
  window.resize(400, 200);
  window.show();

  // Without a service the control is black.
  QImage empty = window.grab().toImage();
  EXPECT_EQ(empty.pixel(200, 100), qRgb(0, 0, 0));

  window.SetService(&service);
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  SeekTo(service, 21 * kFrameMs + kFrameMs / 2);
  ASSERT_TRUE(WaitUntil([&] { return Grabbed(service) == 21; }, kEndTimeoutMs));
  Pump(50);

  for (const QSize size : {QSize(400, 200), QSize(200, 300)}) {
    window.resize(size);
    const QImage painted = window.grab().toImage();
    const QRect picture = video::VideoWindow::PictureRect({160, 120}, size);
    EXPECT_EQ(FrameNumberOf(painted.copy(picture)), 21) << "in " << size.width() << "x" << size.height();
    EXPECT_EQ(painted.pixel(1, 1), qRgb(0, 0, 0)) << "the bars are black";
    EXPECT_EQ(painted.pixel(size.width() - 2, size.height() - 2), qRgb(0, 0, 0));
  }
  EXPECT_GE(window.PicturesPresented(), 1);

  // A new picture is announced and painted without anyone asking.
  const int64_t before = window.PicturesPresented();
  service.Play();
  ASSERT_TRUE(WaitUntil([&] { return window.PicturesPresented() >= before + 5; }, kEndTimeoutMs));
  service.Deactivate();
}

TEST(TrackBar, SeekTargetIsStopTimesThumbOverMaximumIn64Bits) {
  const int64_t tenHours = int64_t{10} * 3600 * 10000000;
  const struct {
    int64_t stop;
    int thumb, maximum;
    int64_t expected;
  } cases[] = {
      {16000000, 1, 1, 16000000},
      {30000000, 2, 3, 20000000},
      {30000000, 0, 3, 0},
      {30000000, 1, 0, 0},                          // a maximum of 0 never divides
      {0, 0, 0, 0},
      {tenHours, 35999, 36000, tenHours / 36000 * 35999},  // stop x thumb passes 2^32 many times
  };
  for (const auto& c : cases)
    EXPECT_EQ(video::TrackBar::SeekTarget(c.stop, c.thumb, c.maximum), c.expected)
        << c.stop << " x " << c.thumb << " / " << c.maximum;
}

TEST(TrackBar, FollowsTheTickExceptWhileHeldAndSeeksOnRelease) {
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".avi");
  clipSpec.frameCount = 75;  // 3 s: the bar runs 0..3
  clipSpec.withSound = false;
  const std::string path = CustomClip("three-seconds.avi", clipSpec);
  VideoService service;
  video::TrackBar bar;
  bar.resize(300, 30);
  bar.show();
  bar.SetService(&service);
  std::vector<uint32_t> ticks;
  service.OnTimer = [&](uint32_t current, uint32_t) { ticks.push_back(current); };
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;

  SeekTo(service, 1500);
  ASSERT_TRUE(WaitUntil([&] { return Ms(service) == 1500; }, kEndTimeoutMs));
  service.PositionTick();
  EXPECT_EQ(bar.maximum(), 3);
  EXPECT_EQ(bar.value(), 1);
  ASSERT_EQ(ticks.size(), 1u);

  // Held: the tick neither moves the bar nor reaches the handler.
  const QPointF at(5, 15);
  QMouseEvent press(QEvent::MouseButtonPress, at, bar.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&bar, &press);
  EXPECT_TRUE(bar.Held());
  bar.setValue(2);  // dragged there
  service.PositionTick();
  EXPECT_EQ(bar.value(), 2);
  EXPECT_EQ(ticks.size(), 1u);

  // Released: the movie seeks to stop x 2 / 3.
  QMouseEvent release(QEvent::MouseButtonRelease, at, bar.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(&bar, &release);
  EXPECT_FALSE(bar.Held());
  int64_t stop = 0;
  ASSERT_TRUE(service.GetStopPosition(&stop));
  const int64_t expectedMs = stop * 2 / 3 / 10000;
  EXPECT_EQ(Ms(service), expectedMs);
  EXPECT_TRUE(WaitUntil([&] { return Grabbed(service) == expectedMs / kFrameMs; }, kEndTimeoutMs));

  bar.OnGraphEvent(video::EC_CLOCK_CHANGED);
  EXPECT_EQ(bar.value(), 0);
  service.Deactivate();
}

// A click on the groove moves the thumb two positions toward it and seeks
// there at the release (never to the end of a short movie); arrow keys and
// wheel notches move it one position and seek at once.
TEST(TrackBar, GrooveClicksArrowKeysAndTheWheelStepAndSeek) {
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".avi");
  clipSpec.frameCount = 125;  // 5 s: the bar runs 0..5
  clipSpec.withSound = false;
  const std::string path = CustomClip("five-seconds.avi", clipSpec);
  VideoService service;
  video::TrackBar bar;
  bar.resize(300, 30);
  bar.show();
  bar.SetService(&service);
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  service.PositionTick();
  ASSERT_EQ(bar.maximum(), 5);
  int64_t stop = 0;
  ASSERT_TRUE(service.GetStopPosition(&stop));
  auto thumbMs = [&](int thumb) { return stop * thumb / 5 / 10000; };

  const struct {
    const char* what;
    std::function<void()> act;
    int thumb;
  } steps[] = {
      {"groove right of the thumb", [&] { QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(290, 15)); }, 2},
      {"groove again", [&] { QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(290, 15)); }, 4},
      {"groove left of the thumb", [&] { QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(5, 15)); }, 2},
      {"right arrow", [&] { QTest::keyClick(&bar, Qt::Key_Right); }, 3},
      {"left arrow", [&] { QTest::keyClick(&bar, Qt::Key_Left); }, 2},
      {"wheel up one notch",
       [&] {
         QWheelEvent wheel(QPointF(150, 15), bar.mapToGlobal(QPointF(150, 15)), {}, QPoint(0, 120), Qt::NoButton,
                           Qt::NoModifier, Qt::NoScrollPhase, false);
         QCoreApplication::sendEvent(&bar, &wheel);
       },
       3},
  };
  for (const auto& step : steps) {
    step.act();
    EXPECT_EQ(bar.value(), step.thumb) << step.what;
    EXPECT_EQ(Ms(service), thumbMs(step.thumb)) << step.what << ": the movie seeks to the thumb";
  }
  service.Deactivate();
}

// With no sound server the sound output offers no format and the movie
// plays its picture to the end, silently, without an error.
TEST(AudioSinkOutput, NoSoundServerPlaysSilently) {
  // Only this test touches the sound devices in this process, so pointing
  // the client at a socket nobody serves takes effect.
  const std::string nowhere = ScratchPath("no-sound-server");
  qputenv("PULSE_SERVER", QByteArray("unix:") + QByteArray::fromStdString(nowhere));
  std::string reason;
  const std::string path = Clip(".mp4", &reason);
  SKIP_WITHOUT_CLIP(path, reason);
  video::AudioSinkOutput output;
  VideoService service;
  service.SetSoundOutput(&output);
  int completions = 0;
  service.OnDSEvent = [&](long event, intptr_t, intptr_t) { completions += event == video::EC_COMPLETE; };
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  service.Play();
  ASSERT_TRUE(WaitUntil([&] { return completions == 1; }, kEndTimeoutMs)) << "the movie never ended";
  EXPECT_EQ(Grabbed(service), kFrames - 1);
  EXPECT_EQ(output.PlayedFrames(), 0);
  service.Deactivate();
}

// Started by the test below in a process of its own, with PULSE_SERVER
// pointing at the server that test started.
TEST(AudioSinkChild, DISABLED_PlaysThroughTheServer) {
  testing_support::ClipSpec clipSpec;
  clipSpec.format = testing_support::FormatFor(".avi");
  clipSpec.frameCount = 50;  // 2 s
  const std::string path = CustomClip("two-seconds.avi", clipSpec);
  video::AudioSinkOutput output;
  const video::SoundFormat format = output.FormatFor({44100, 1});
  ASSERT_TRUE(format.Valid()) << "the sound server offers no output device";
  VideoService service;
  service.SetSoundOutput(&output);
  int completions = 0;
  service.OnDSEvent = [&](long event, intptr_t, intptr_t) { completions += event == video::EC_COMPLETE; };
  service.Activate();
  std::string error;
  ASSERT_TRUE(service.RenderFile(path, &error)) << error;
  int64_t duration = 0;
  ASSERT_TRUE(service.GetDuration(&duration));
  service.Play();
  EXPECT_TRUE(WaitUntil([&] { return output.SinkState() == QAudio::ActiveState; }, kEndTimeoutMs))
      << "the sink never became active";
  // On time by the sound: the end comes once the movie's length of sound
  // has been played (a server may hold a stream back for a while; the
  // picture waits for the sound), and promptly after that.
  const int64_t lengthFrames = duration / 10000 * format.sampleRate / 1000;
  const int64_t frameSlack = format.sampleRate / 10;  // 100 ms
  QElapsedTimer sincePlayedOut;
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (!sincePlayedOut.isValid() && output.PlayedFrames() >= lengthFrames - frameSlack) sincePlayedOut.start();
        return completions == 1;
      },
      kEndTimeoutMs))
      << "the movie never ended";
  EXPECT_GE(output.PlayedFrames(), lengthFrames - frameSlack) << "ended before its sound was played";
  ASSERT_TRUE(sincePlayedOut.isValid());
  EXPECT_LE(sincePlayedOut.elapsed(), 1000) << "ended long after its sound was played";
  EXPECT_LE(output.PlayedFrames(), lengthFrames + format.sampleRate / 2);
  EXPECT_EQ(Grabbed(service), 49);
  service.Deactivate();
}

TEST(AudioSinkOutput, PlaysThroughAPulseAudioNullSink) {
  const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
  if (pulseaudio.isEmpty()) GTEST_SKIP() << "pulseaudio is not installed (tools/install-deps.sh installs it)";
  QTemporaryDir runtime;
  const QString socket = runtime.path() + QStringLiteral("/native");
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
  environment.insert(QStringLiteral("HOME"), runtime.path());
  environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);

  QProcess server;
  server.setProcessEnvironment(environment);
  server.setProcessChannelMode(QProcess::MergedChannels);
  server.start(pulseaudio, {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                            QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"),
                            QStringLiteral("--load=module-null-sink sink_name=glyphreel_test"),
                            QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket});
  ASSERT_TRUE(server.waitForStarted(5000)) << "pulseaudio did not start";
  const bool listening = WaitUntil([&] { return QFileInfo::exists(socket) || server.state() != QProcess::Running; },
                                   kEndTimeoutMs);
  if (!listening || server.state() != QProcess::Running) {
    server.kill();
    server.waitForFinished(3000);
    FAIL() << "pulseaudio did not come up: " << server.readAll().toStdString();
  }

  QProcess child;
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=AudioSinkChild.DISABLED_PlaysThroughTheServer"),
               QStringLiteral("--gtest_also_run_disabled_tests")});
  const bool finished = child.waitForFinished(60000);
  const std::string output = child.readAll().toStdString();
  server.terminate();
  if (!server.waitForFinished(5000)) {
    server.kill();
    server.waitForFinished(3000);
  }
  ASSERT_TRUE(finished) << "the playing process hung:\n" << output;
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
  EXPECT_EQ(child.exitCode(), 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace
