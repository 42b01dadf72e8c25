// The settings dialog: the Subversion folder, the repository root, the backup folder and the
// port. It checks nothing; confirming stores all four values and saves the settings file.
#pragma once

#include "app/UfrmDialogKit.h"

class QGroupBox;
class QLabel;
class QPushButton;
class TFolderEdit;
class TPortSpinEdit;

class TfrmBasicSetting : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmBasicSetting(QWidget* parent = nullptr);

  QWidget* pnlBackground;
  QGroupBox* gbSVNSetting;
  QLabel* lblSVNPath;
  QLabel* lblPort;
  TFolderEdit* edtSVNPath;
  TPortSpinEdit* sedtPort;
  QGroupBox* gbRepo;
  QLabel* lblRepoPath;
  QLabel* lblBackupPath;
  TFolderEdit* edtRepoPath;
  TFolderEdit* edtBackupPath;
  QPushButton* btnOk;
  QPushButton* btnCancel;

  void FormCreate();

public slots:
  void btnOkClick();
  void btnCancelClick();
};

// The dialog while it is shown, else nullptr.
extern TfrmBasicSetting* frmBasicSetting;

// Opens the settings dialog modally and frees it when it closes.
void ShowBasicSetting();
