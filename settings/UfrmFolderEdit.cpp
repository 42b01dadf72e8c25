#include "settings/UfrmFolderEdit.h"

#include "base/UfnDesktop.h"
#include "base/UfnText.h"
#include "platform/UfnPlatform.h"
#include "settings/dxConfigManager.h"

#include <QStyle>

TFolderEdit::TFolderEdit(QWidget* parent) : QLineEdit(parent) {
  FBrowse = addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
  FBrowse->setToolTip("Select Directory");
  connect(FBrowse, &QAction::triggered, this, &TFolderEdit::Browse);
  connect(this, &QLineEdit::textChanged, this, &TFolderEdit::UpdateHint);
}

void TFolderEdit::SetFolder(const std::string& bytes) {
  FBytes = bytes;
  setText(QString::fromStdU16String(text::ShownText(bytes)));
  UpdateHint();
}

std::string TFolderEdit::Folder() const {
  return text::EditedBytes(FBytes, text().toStdU16String());
}

void TFolderEdit::UpdateHint() {
  setToolTip(text::IsValidUtf8(Folder())
                 ? QString()
                 : QString::fromUtf8("이 경로에는 UTF-8이 아닌 바이트가 있어 그 자리가 \uFFFD로 "
                                     "보입니다. 고치지 않은 부분은 원래 바이트 그대로 "
                                     "저장됩니다."));
}

std::string TFolderEdit::StartFolder() const {
  const std::string current = platform::GetCurrentDir();
  std::string start = text().isEmpty() ? FLastPicked : Folder();
  if (start.empty()) return current;
  start = ExpandFileName(start);
  if (!platform::DirectoryExists(start)) return current;
  if (start.size() > 1 && start.back() == platform::PathDelimiter()) start.pop_back();
  return start;
}

void TFolderEdit::Browse() {
  auto picked = Prompt().SelectFolder("Select Directory", StartFolder());
  setFocus();
  if (!picked) return;
  FLastPicked = *picked;
  SetFolder(*picked);
}
