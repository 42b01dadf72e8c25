#include "settings/UfrmFolderEdit.h"

#include "base/UfnDesktop.h"
#include "platform/UfnPlatform.h"

#include <QDir>
#include <QStyle>

TFolderEdit::TFolderEdit(QWidget* parent) : QLineEdit(parent) {
  FBrowse = addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
  FBrowse->setToolTip("Select Directory");
  connect(FBrowse, &QAction::triggered, this, &TFolderEdit::Browse);
}

QString TFolderEdit::StartFolder() const {
  const QString current = QString::fromStdString(platform::GetCurrentDir());
  QString start = text().isEmpty() ? FLastPicked : text();
  if (start.isEmpty()) return current;
  start = QDir(current).absoluteFilePath(start);
  if (!QDir(start).exists()) return current;
  return QDir::cleanPath(start);
}

void TFolderEdit::Browse() {
  auto picked = Prompt().SelectFolder("Select Directory", StartFolder().toStdString());
  setFocus();
  if (!picked) return;
  FLastPicked = QString::fromStdString(*picked);
  setText(FLastPicked);
}
