#include "app/UfrmDialogKit.h"

#include <QDialog>
#include <QPushButton>

void SetUpFixedDialog(QDialog& dialog, const char* objectName, const char* caption, int width,
                      int height, int pixels) {
  dialog.setObjectName(objectName);
  dialog.setWindowTitle(QString::fromUtf8(caption));
  dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  dialog.setFixedSize(width, height);
  QFont font(QString::fromUtf8("굴림"));
  font.setPixelSize(pixels);
  dialog.setFont(font);
}

QPushButton* MakeBoldButton(QWidget* parent, const char* caption, QRect r,
                            const char* objectName) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  if (objectName) b->setObjectName(objectName);
  b->setGeometry(r);
  QFont f = b->font();
  f.setBold(true);
  b->setFont(f);
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}
