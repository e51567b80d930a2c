#include "app/Dialogs.h"

#include <QFileDialog>
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
