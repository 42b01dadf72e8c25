// A one-line folder field with a browse button at its right edge. Each field remembers the
// folder last picked through it, and the bytes of the folder it was given: a name that is no
// UTF-8 shows its stray bytes as U+FFFD, and comes back byte for byte where it was not edited.
#pragma once

#include <QAction>
#include <QLineEdit>
#include <QString>
#include <string>

class TFolderEdit : public QLineEdit {
  Q_OBJECT
public:
  explicit TFolderEdit(QWidget* parent = nullptr);

  // The folder as bytes, in and out (the settings hold bytes, the field holds text).
  void SetFolder(const std::string& bytes);
  std::string Folder() const;

  QAction* BrowseAction() const { return FBrowse; }
  const std::string& LastPicked() const { return FLastPicked; }
  // The folder the picker opens at, as bytes: the field's folder, else the last-picked folder,
  // else the program's current folder; relative paths are taken against the current folder,
  // and a folder that does not exist gives the current folder.
  std::string StartFolder() const;

public slots:
  void Browse();

private:
  void UpdateHint();

  QAction* FBrowse;
  std::string FBytes;
  std::string FLastPicked;
};
