#include "shell/Launcher.h"

#include "shell/Link.h"

#include <QFileInfo>
#include <QProcess>

namespace {

bool IsWebAddress(const std::string& target) {
  return target.find("://") != std::string::npos || target.starts_with("mailto:");
}

}  // namespace

QUrl LaunchUrl(const std::string& target, const std::string& appPath) {
  if (target.empty()) return {};
  const QString text = QString::fromUtf8(target.data(), static_cast<qsizetype>(target.size()));
  if (IsWebAddress(target)) return QUrl(text);
  if (target.front() == '/') return QUrl::fromLocalFile(text);
  return QUrl::fromLocalFile(QString::fromUtf8(appPath.data(), static_cast<qsizetype>(appPath.size())) + text);
}

QStringList SplitCommandLine(const std::string& commandLine) {
  return QProcess::splitCommand(
      QString::fromUtf8(commandLine.data(), static_cast<qsizetype>(commandLine.size())));
}

void DesktopLauncher::URLink(const std::string& target) {
  const QUrl url = LaunchUrl(target, AppPath);
  if (!url.isValid()) return;
  const QString shown = url.isLocalFile() ? url.toLocalFile() : url.toString();
  // The opener exits with an error only after it has started (no browser, no
  // editor): its exit status is watched, not merely its start.
  auto* opener = new QProcess;
  opener->setProcessChannelMode(QProcess::ForwardedChannels);
  auto failed = [opener, shown, report = OnOpenFailed, local = url.isLocalFile()] {
    opener->deleteLater();
    // A file or folder that is not there was never there to open; whoever
    // asked for it has said so.
    if (report && (!local || QFileInfo::exists(shown))) report(shown.toLocal8Bit().toStdString());
  };
  QObject::connect(opener, &QProcess::finished, opener, [opener, failed](int code, QProcess::ExitStatus status) {
    if (status == QProcess::NormalExit && code == 0) {
      opener->deleteLater();
    } else {
      failed();
    }
  });
  QObject::connect(opener, &QProcess::errorOccurred, opener, [failed](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) failed();
  });
  opener->start(QStringLiteral("xdg-open"), {shown});
}

void DesktopLauncher::Execute(const std::string& commandLine) {
  QStringList words = SplitCommandLine(commandLine);
  if (words.isEmpty()) return;
  const QString program = words.takeFirst();
  QProcess::startDetached(program, words);
}
