#include "app/VideoExport.h"

#include "app/Dialogs.h"
#include "conversion/BmpTxt.h"
#include "playback/MovieExport.h"
#include "playback/TextPic.h"
#include "shell/Launcher.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>

#include <new>

namespace {
constexpr int kBarWidth = 110;  // pixels; "导出 100%" and its English fit
constexpr int kBarSpacing = 6;  // the status bar's spacing beside it
}  // namespace

const char* const VideoExporter::kExportCaption = QT_TR_NOOP("导出为视频…");
const char* const VideoExporter::kCancelCaption = QT_TR_NOOP("取消导出视频");

VideoExporter::VideoExporter(ExportHost host, QObject* parent) : QObject(parent), host_(std::move(host)) {
  setObjectName(QStringLiteral("VideoExporter"));
  menu_ = new QMenu(host_.pane);
  menu_->setObjectName(QStringLiteral("MovieContextMenu"));
  exportAction_ = menu_->addAction(tr(kExportCaption));
  cancelAction_ = menu_->addAction(tr(kCancelCaption));
  connect(exportAction_, &QAction::triggered, this, &VideoExporter::StartExport);
  connect(cancelAction_, &QAction::triggered, this, &VideoExporter::Cancel);
  // The frame label leaves context menus to the pane under it.
  host_.pane->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(host_.pane, &QWidget::customContextMenuRequested, this, &VideoExporter::ShowMenu);
  bar_ = new QProgressBar;
  bar_->setObjectName(QStringLiteral("ExportBar"));
  bar_->setFixedWidth(kBarWidth);
  bar_->setFormat(tr("导出 %p%"));
  bar_->setAlignment(Qt::AlignCenter);
  bar_->hide();
  host_.statusBar->addPermanentWidget(bar_);
}

VideoExporter::~VideoExporter() {
  if (cancel_) cancel_->store(true);
  JoinWorker();
}

void VideoExporter::CancelAndWait() {
  if (cancel_) cancel_->store(true);
  JoinWorker();
  ShowBar(false);
}

int VideoExporter::StatusRoom() const { return bar_->isHidden() ? 0 : kBarWidth + kBarSpacing; }

void VideoExporter::ShowBar(bool shown) {
  bar_->setVisible(shown);
  host_.relayout();  // the advertising panel makes room for it, or takes it back
}

void VideoExporter::JoinWorker() {
  if (worker_ && worker_->joinable()) worker_->join();
  worker_.reset();
}

void VideoExporter::ShowMenu(const QPoint& at) {
  const ExportSource source = host_.source();
  exportAction_->setVisible(!Running());
  exportAction_->setEnabled(source.movie && source.movie->Playable());
  cancelAction_->setVisible(Running());
  // Not exec(): the window goes on (playback, an export's progress) while the menu is up.
  menu_->popup(host_.pane->mapToGlobal(at));
}

void VideoExporter::StartExport() {
  if (Running()) return;
  // Named after the movie the pane shows, beside it (a conversion to
  // another form may have moved TextFileName on since).
  const ExportSource source = host_.source();
  if (!source.movie) return;
  const QString proposed = QString::fromLocal8Bit((StripExtension(source.movieFile) + ".mp4").c_str());
  // The video open in the preview lends its sound and its colours.
  const std::string& video = source.video;
  const std::optional<VideoExportChoice> choice =
      host_.dialogs->ExportVideo(host_.window, proposed, !video.empty(), !video.empty());
  if (!choice) return;

  movie_export::Options options;
  options.output = choice->path.toLocal8Bit().toStdString();
  options.soundSource = choice->withSound ? video : std::string();
  options.colourSource = choice->inColour ? video : std::string();
  options.colourPicture = source.picture;
  options.movieFile = source.movieFile;  // never written over by its own export
  options.fontSize = source.fontSize;
  options.text = source.text;
  options.background = source.background;
  // The save dialog has asked about replacing an existing file already.
  options.overwrite = true;

  // The worker reads its own copy: the window may open another movie meanwhile.
  std::shared_ptr<TTextPic> movie;
  try {
    movie = std::make_shared<TTextPic>(*source.movie);
  } catch (const std::bad_alloc&) {
    host_.dialogs->Message(host_.window, tr("导出失败: %1").arg(tr("内存不足,无法复制字符电影")));
    return;
  }
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  bar_->setRange(0, movie->FrameTotal() + 1);
  bar_->setValue(0);
  ShowBar(true);
  host_.hintPanel->setText(tr("正在导出视频…"));
  worker_ = std::make_unique<std::thread>([this, movie, options, cancel = cancel_, clock = host_.clock] {
    const movie_export::Result result = movie_export::Export(*movie, options, [&](int done, int total) {
      QMetaObject::invokeMethod(this, [this, done, total] { OnProgress(done, total); }, Qt::QueuedConnection);
      return !cancel->load();
    });
    QString notes;
    if (result.ok && result.plan.fontSizeReduced) {
      notes = tr("画面过大,字体大小改用 %1").arg(result.plan.fontSize);
    }
    if (result.ok && result.soundMissing) notes = tr("视频没有声音");
    if (result.ok && result.colourSourceEndMs >= 0) {
      notes = tr("视频在 %1 结束,早于字符电影;此后沿用其最后画面的颜色").arg(clock(result.colourSourceEndMs));
    }
    const QString error = QString::fromLocal8Bit(result.error.c_str());
    const QString output = QString::fromLocal8Bit(options.output.c_str());
    QMetaObject::invokeMethod(
        this, [this, ok = result.ok, cancelled = result.cancelled, error, output,
               notes] { OnFinished(ok, cancelled, error, output, notes); },
        Qt::QueuedConnection);
  });
}

void VideoExporter::Cancel() {
  if (cancel_) cancel_->store(true);
}

void VideoExporter::OnProgress(int done, int total) {
  if (!Running()) return;  // a late report of an export cancelled for a close
  bar_->setMaximum(total);
  bar_->setValue(done);
}

void VideoExporter::OnFinished(bool ok, bool cancelled, const QString& error, const QString& output,
                               const QString& notes) {
  if (!Running()) return;  // cancelled and waited for by a close
  JoinWorker();
  cancel_.reset();
  ShowBar(false);
  host_.hintPanel->setText(cancelled ? tr("已取消导出视频") : notes);
  if (cancelled) return;
  if (!ok) {
    host_.dialogs->Message(host_.window, tr("导出失败: %1").arg(error));
    return;
  }
  if (host_.dialogs->Confirm(host_.window, tr("导出完毕: %1。是否打开所在文件夹？").arg(output))) {
    const qsizetype slash = output.lastIndexOf(QLatin1Char('/'));
    host_.launcher->URLink(output.left(slash + 1).toLocal8Bit().toStdString());
  }
}
