#include "app/Launcher.h"

#include "app/Link.h"

#include <QDesktopServices>
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
  if (url.isValid()) QDesktopServices::openUrl(url);
}

void DesktopLauncher::Execute(const std::string& commandLine) {
  QStringList words = SplitCommandLine(commandLine);
  if (words.isEmpty()) return;
  const QString program = words.takeFirst();
  QProcess::startDetached(program, words);
}
