// The mirrors of the repository root: how far each one is behind its source, a sync on
// demand, and the promotion of a mirror whose source is lost.
#pragma once

#include "app/UfrmDialogKit.h"

#include <string>

class QPushButton;
class QTreeWidget;

class TfrmMirrorMgr : public TFixedDialog {
  Q_OBJECT
public:
  explicit TfrmMirrorMgr(QWidget* parent = nullptr);

  QTreeWidget* lvMirror;
  QPushButton* btnSync;
  QPushButton* btnPromote;

  // The name in the selected row; "" when none is selected.
  std::string SelectedMirror() const;
  void RefreshMirrorList();

  void FormShow() override;
  void btnSyncClick();
  void btnPromoteClick();
};

// Opens the mirrors' dialog modally and frees it when it closes.
void ShowMirrorMgr();
