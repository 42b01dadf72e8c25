#include "settings/UfrmBasicSetting.h"

#include "base/UfnDesktop.h"
#include "settings/UclsBasicSetting.h"
#include "settings/UfrmFolderEdit.h"
#include "settings/UfrmPortSpinEdit.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <exception>

TfrmBasicSetting* frmBasicSetting = nullptr;

TfrmBasicSetting::TfrmBasicSetting(QWidget* parent)
    : TFixedDialog(parent, "frmBasicSetting", "기본 설정", {313, 250}, TKeys::NoDefaultOrCancel) {
  pnlBackground = new QWidget(this);
  pnlBackground->setGeometry(0, 0, 313, 250);

  gbSVNSetting = new QGroupBox(Q("SVN 기본설정"), pnlBackground);
  gbSVNSetting->setGeometry(8, 16, 293, 90);
  edtSVNPath = new TFolderEdit(gbSVNSetting);
  edtSVNPath->setObjectName("edtSVNPath");
  edtSVNPath->setGeometry(108, 24, 165, 20);
  sedtPort = new TPortSpinEdit(gbSVNSetting);
  sedtPort->setObjectName("sedtPort");
  sedtPort->setGeometry(108, 52, 165, 20);
  lblSVNPath = MakeLabel(gbSVNSetting, "SVN 경로", {20, 28, 53, 12}, edtSVNPath);
  lblPort = MakeLabel(gbSVNSetting, "SVN 포트", {20, 56, 53, 12}, sedtPort);

  gbRepo = new QGroupBox(Q("저장소 설정"), pnlBackground);
  gbRepo->setGeometry(4, 112, 297, 90);
  edtRepoPath = new TFolderEdit(gbRepo);
  edtRepoPath->setObjectName("edtRepoPath");
  edtRepoPath->setGeometry(112, 24, 165, 20);
  edtBackupPath = new TFolderEdit(gbRepo);
  edtBackupPath->setObjectName("edtBackupPath");
  edtBackupPath->setGeometry(112, 52, 165, 20);
  lblRepoPath = MakeLabel(gbRepo, "저장소 경로", {20, 28, 63, 13}, edtRepoPath);
  lblBackupPath = MakeLabel(gbRepo, "저장소 백업경로", {20, 56, 87, 13}, edtBackupPath);

  btnOk = MakeBoldButton(pnlBackground, "확인", {56, 212, 75, 25});
  btnCancel = MakeBoldButton(pnlBackground, "취소", {168, 212, 75, 25});
  connect(btnOk, &QPushButton::clicked, this, &TfrmBasicSetting::btnOkClick);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmBasicSetting::btnCancelClick);

  setTabOrder(edtSVNPath, sedtPort);
  setTabOrder(sedtPort, edtRepoPath);
  setTabOrder(edtRepoPath, edtBackupPath);
  setTabOrder(edtBackupPath, btnOk);
  setTabOrder(btnOk, btnCancel);

  FormCreate();
}

void TfrmBasicSetting::FormCreate() {
  edtSVNPath->SetFolder(BasicSetting->SVNPath);
  edtRepoPath->SetFolder(BasicSetting->RepoPath);
  edtBackupPath->SetFolder(BasicSetting->BackupPath);
  sedtPort->SetValue(BasicSetting->GetPort());
}

void TfrmBasicSetting::btnOkClick() {
  // Leaving the port field brings a typed value into range before it is stored.
  if (sedtPort->hasFocus()) btnOk->setFocus();
  BasicSetting->SVNPath = edtSVNPath->Folder();
  BasicSetting->RepoPath = edtRepoPath->Folder();
  BasicSetting->BackupPath = edtBackupPath->Folder();
  BasicSetting->SetPort(sedtPort->Value());
  try {
    BasicSetting->SaveConfig();
  } catch (const std::exception& e) {
    // The dialog stays open; the new values stay in memory for the shutdown save.
    ShowErrorReport(e.what());
    return;
  }
  accept();
}

void TfrmBasicSetting::btnCancelClick() {
  reject();
}

void ShowBasicSetting() {
  TfrmBasicSetting dlg(QApplication::activeWindow());
  frmBasicSetting = &dlg;
  dlg.exec();
  frmBasicSetting = nullptr;
}
