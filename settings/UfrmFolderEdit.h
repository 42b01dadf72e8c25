// A one-line folder field with a browse button at its right edge. Each field remembers the
// folder last picked through it.
#pragma once

#include <QAction>
#include <QLineEdit>
#include <QString>

class TFolderEdit : public QLineEdit {
  Q_OBJECT
public:
  explicit TFolderEdit(QWidget* parent = nullptr);

  QAction* BrowseAction() const { return FBrowse; }
  const QString& LastPicked() const { return FLastPicked; }
  // The folder the picker opens at: the text, else the last-picked folder, else the
  // program's current folder; relative paths are taken against the current folder, and a
  // folder that does not exist gives the current folder.
  QString StartFolder() const;

public slots:
  void Browse();

private:
  QAction* FBrowse;
  QString FLastPicked;
};
