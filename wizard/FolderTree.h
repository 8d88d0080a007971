#pragma once
// TFolderTree: the Recovery panel's folder tree (ShellTree). Its roots are the
// user's own places (Home, Pictures, Documents, Desktop, those that exist),
// then the drive letters whose volumes have folders to write into ("Removable
// Disk (E:)"), then "Network" with the shares that are mounted from other
// machines ("\\nas\photos"); below them the folders only, read when a folder
// is first opened. The rows keep still while the user browses: the tree is
// read again only by Rebuild (the panel's "Refresh" and media events), which
// keeps the open folders and the selection. The system's own folders (/proc,
// /sys, /dev, /run) are left out. Every item answers with the path text the
// rest of the wizard uses: "E:\" for a root, "E:\Out\2024" below it,
// "\\nas\photos\x" on a share and "Network" for the group itself. GUI thread only.

#include <QPersistentModelIndex>
#include <QStandardItemModel>
#include <QTreeView>

namespace wizard {

class TFolderTree : public QTreeView {
  Q_OBJECT
 public:
  static constexpr const char* kNetworkPath = "Network";

  explicit TFolderTree(QWidget* parent = nullptr);

  // Builds the roots again from the user's places and the drive table and reads the open folders anew.
  void Rebuild();
  // The selected item's path text; empty when nothing is selected.
  QString SelectedPath() const;
  // Selects the folder of a path text (drive letter in either case), opening the folders above it;
  // as far down as the folders exist. False when not even its root is in the tree.
  bool SelectPath(const QString& path);
  // Whether media events may rebuild the tree (off while a save runs).
  void SetAutoRefresh(bool on) { m_autoRefresh = on; }
  bool AutoRefresh() const { return m_autoRefresh; }

 signals:
  // The user picked an item (a click of either button, or the keyboard).
  void pathChosen();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QStandardItem* MakeFolder(const QString& name, const QString& path, const QString& posix) const;
  QStandardItem* AddFolder(QStandardItem* parent, const QString& name, const QString& path, const QString& posix);
  void AddPlaces(QStandardItem* top);
  void AddDrives(QStandardItem* top);
  void Load(QStandardItem* item);
  QStandardItem* ItemOf(const QModelIndex& index) const;
  QStandardItem* FindRow(const QString& path) const;

  QStandardItemModel m_model;
  bool m_autoRefresh = true;
  bool m_programmatic = false;  // the tree itself moves the selection (SelectPath, Rebuild)
};

}  // namespace wizard
