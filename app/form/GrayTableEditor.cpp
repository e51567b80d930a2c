// The gray table page: the table in use, its level count, the stored list.
#include "app/Dialogs.h"
#include "app/Main.h"
#include "common/Gbk.h"

#include <QLineEdit>
#include <QListWidget>

void TForm1::ListGrayClick() {
  const int row = ListGray->currentRow();
  if (row < 0) return;
  // A table the user typed is not replaced without asking.
  if (EdGray->isUndoAvailable() && !dialogs().Confirm(this, tr("是否更新当前的灰度表？"))) return;
  GrayBytes = GrayListBytes(row);
  EdGray->setText(gbk::Decode(*GrayBytes));  // set by the program: nothing left to undo
}

void TForm1::SBGrayClick() {
  std::string bytes;
  QString refusal;
  if (!GrayTableBytes(&bytes, &refusal)) {
    dialogs().Message(this, tr("灰度表不能使用: ") + refusal);
    return;
  }
  if (bytes.find(' ') != std::string::npos) {
    dialogs().Message(this, tr("输入文本中不能含有空格"));
    return;
  }
  if (!dialogs().Confirm(this, tr("确认将上面的灰度表项目保存到当前列表?"))) return;
  const int row = ListGray->currentRow();
  if (row >= 0 && ListGray->item(row)->isSelected()) {
    QListWidgetItem* item = ListGray->item(row);
    item->setText(gbk::Decode(bytes));
    item->setData(Qt::UserRole, QByteArray::fromStdString(bytes));
  } else {
    AddGrayListItem(bytes);
  }
}
