#include "app/Dialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

void QtDialogs::Message(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QStringLiteral("Glyphreel"), text);
}

bool QtDialogs::Confirm(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, QStringLiteral("Glyphreel"), text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

std::optional<QString> QtDialogs::OpenFile(QWidget* parent, const QString& filter) {
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QtFilterFrom(filter));
  dialog.setOption(QFileDialog::DontUseNativeDialog, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

std::optional<QString> QtDialogs::SaveFile(QWidget* parent, const QString& filter, const QString& proposed) {
  const QString name = QFileDialog::getSaveFileName(parent, QString(), proposed, QtFilterFrom(filter));
  if (name.isEmpty()) return std::nullopt;
  return name;
}

std::optional<QString> QtDialogs::ChooseFolder(QWidget* parent, const QString& caption) {
  const QString folder = QFileDialog::getExistingDirectory(parent, caption, QString(), QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

std::optional<VideoExportChoice> QtDialogs::ExportVideo(QWidget* parent, const QString& proposed,
                                                        bool soundOffered, bool colourOffered) {
  QFileDialog dialog(parent, QCoreApplication::translate("Dialogs", "导出为视频"), proposed);
  // Qt's own dialog, so that the sound box can join its layout.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  const QStringList filters = {QCoreApplication::translate("Dialogs", "MP4 视频 (*.mp4)"),
                               QCoreApplication::translate("Dialogs", "WebM 视频 (*.webm)"),
                               QCoreApplication::translate("Dialogs", "MKV 视频(无损) (*.mkv)"),
                               QCoreApplication::translate("Dialogs", "GIF 动画 (*.gif)")};
  const QStringList suffixes = {QStringLiteral("mp4"), QStringLiteral("webm"), QStringLiteral("mkv"),
                                QStringLiteral("gif")};
  const QString silent = QStringLiteral("gif");  // a format without sound
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(suffixes.front());
  auto* sound = new QCheckBox(QCoreApplication::translate("Dialogs", "包含视频的声音"), &dialog);
  sound->setObjectName(QStringLiteral("ExportSound"));
  sound->setChecked(soundOffered);
  sound->setEnabled(soundOffered);
  bool wanted = soundOffered;  // the box as the user left it for a format with sound
  QObject::connect(sound, &QCheckBox::clicked, &dialog, [&](bool checked) { wanted = checked; });
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
    const QString suffix = suffixes.value(static_cast<int>(filters.indexOf(filter)), suffixes.front());
    dialog.setDefaultSuffix(suffix);
    const bool withSound = suffix != silent && soundOffered;
    sound->setEnabled(withSound);
    sound->setChecked(withSound && wanted);
  });
  auto* colour = new QCheckBox(QCoreApplication::translate("Dialogs", "彩色(取自视频的颜色)"), &dialog);
  colour->setObjectName(QStringLiteral("ExportColour"));
  colour->setEnabled(colourOffered);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    grid->addWidget(sound, grid->rowCount(), 0, 1, grid->columnCount());
    grid->addWidget(colour, grid->rowCount(), 0, 1, grid->columnCount());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  // (A name typed with .gif under another filter gets no sound from the export either.)
  return VideoExportChoice{dialog.selectedFiles().front(), soundOffered && sound->isChecked(),
                           colourOffered && colour->isChecked()};
}

QString QtFilterFrom(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      if (p == QLatin1String("*.*")) {
        patterns << QStringLiteral("*");
        continue;
      }
      // Case-blind: "*.avi" becomes "*.[aA][vV][iI]".
      QString blind;
      for (const QChar c : p) {
        if (c.isLetter() && c.toLower() != c.toUpper()) {
          blind += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        } else {
          blind += c;
        }
      }
      patterns << blind;
    }
    filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters.join(QStringLiteral(";;"));
}
