#include "wizard/FolderTree.h"

#include "drives/DriveItemDelegate.h"
#include "platform/DriveTable.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

#include <algorithm>
#include <vector>

namespace wizard {
namespace {

enum Role { kPathRole = Qt::UserRole + 1, kPosixRole, kLoadedRole, kPlaceholderRole };

QStringList Subfolders(const QString& posix) {
  // Hidden folders stay hidden, as in the desktop's own file dialogs.
  QStringList names = QDir(posix).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  return names;
}

bool HasSubfolders(const QString& posix) {
  return !QDir(posix).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks).isEmpty();
}

QString ChildPath(const QString& parent, const QString& name) {
  return parent.endsWith(QLatin1Char('\\')) ? parent + name : parent + QLatin1Char('\\') + name;
}

// "//nas/photos" as the desktop's network paths are written: "\\nas\photos".
QString SharePath(const std::string& mountSource) {
  QString share = QString::fromStdString(mountSource);
  share.replace(QLatin1Char('/'), QLatin1Char('\\'));
  return share;
}

}  // namespace

TFolderTree::TFolderTree(QWidget* parent) : QTreeView(parent) {
  setObjectName(QStringLiteral("ShellTree"));
  setModel(&m_model);
  setHeaderHidden(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setContextMenuPolicy(Qt::NoContextMenu);
  connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) { Load(ItemOf(index)); });
  connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &TFolderTree::FolderChanged);
  Rebuild();
}

QStandardItem* TFolderTree::ItemOf(const QModelIndex& index) const { return m_model.itemFromIndex(index); }

QStandardItem* TFolderTree::MakeFolder(const QString& name, const QString& path, const QString& posix) const {
  auto* item = new QStandardItem(QApplication::style()->standardIcon(QStyle::SP_DirIcon), name);
  item->setData(path, kPathRole);
  item->setData(posix, kPosixRole);
  item->setData(false, kLoadedRole);
  if (!posix.isEmpty() && HasSubfolders(posix)) {
    // Shows the expander until the folder is read.
    auto* placeholder = new QStandardItem;
    placeholder->setData(true, kPlaceholderRole);
    item->appendRow(placeholder);
  }
  return item;
}

QStandardItem* TFolderTree::AddFolder(QStandardItem* parent, const QString& name, const QString& path,
                                      const QString& posix) {
  QStandardItem* item = MakeFolder(name, path, posix);
  parent->appendRow(item);
  return item;
}

void TFolderTree::Rebuild() {
  const QString selected = SelectedPath();
  if (!m_watcher.directories().isEmpty()) m_watcher.removePaths(m_watcher.directories());
  m_loaded.clear();
  m_model.clear();
  QStandardItem* top = m_model.invisibleRootItem();
  std::vector<platform::DriveEntry> shares;
  for (const platform::DriveEntry& drive : platform::DriveTable::Instance().Entries()) {
    if (drive.mountRoot.empty()) continue;
    const QString root = QString(QChar(drive.letter)) + QStringLiteral(":\\");
    QStandardItem* item = AddFolder(top, QString::fromStdString(platform::DriveDisplayName(drive.letter)), root,
                                    QString::fromStdString(drive.mountRoot));
    item->setIcon(drives::DriveTypeIcon(drive.type));
    if (drive.type == platform::kDriveRemote && drive.mountSource.rfind("//", 0) == 0) shares.push_back(drive);
  }
  if (!shares.empty()) {
    QStandardItem* network = AddFolder(top, QStringLiteral("Network"), QString::fromLatin1(kNetworkPath), QString());
    network->setIcon(QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon));
    network->setData(true, kLoadedRole);
    for (const platform::DriveEntry& share : shares) {
      const QString path = SharePath(share.mountSource);
      AddFolder(network, path, path, QString::fromStdString(share.mountRoot))
          ->setIcon(drives::DriveTypeIcon(platform::kDriveRemote));
    }
  }
  if (!selected.isEmpty()) SelectPath(selected);
}

void TFolderTree::Load(QStandardItem* item) {
  if (item == nullptr || item->data(kLoadedRole).toBool()) return;
  item->setData(true, kLoadedRole);
  const QString posix = item->data(kPosixRole).toString();
  if (item->rowCount() > 0 && item->child(0)->data(kPlaceholderRole).toBool()) item->removeRow(0);
  if (posix.isEmpty()) return;
  const QString path = item->data(kPathRole).toString();
  for (const QString& name : Subfolders(posix)) AddFolder(item, name, ChildPath(path, name), posix + '/' + name);
  m_loaded.insert(posix, QPersistentModelIndex(item->index()));
  m_watcher.addPath(posix);
}

void TFolderTree::Reload(QStandardItem* item) {
  const QString posix = item->data(kPosixRole).toString();
  const QString path = item->data(kPathRole).toString();
  const QStringList names = Subfolders(posix);
  // Folders that went away, then the new ones in their sorted places; the rest keep their state.
  for (int row = item->rowCount(); row-- > 0;) {
    if (!names.contains(item->child(row)->text())) {
      m_loaded.remove(item->child(row)->data(kPosixRole).toString());
      item->removeRow(row);
    }
  }
  int row = 0;
  for (const QString& name : names) {
    if (row < item->rowCount() && item->child(row)->text() == name) {
      ++row;
      continue;
    }
    item->insertRow(row, MakeFolder(name, ChildPath(path, name), posix + '/' + name));
    ++row;
  }
}

void TFolderTree::FolderChanged(const QString& posix) {
  if (!m_autoRefresh) return;
  const QPersistentModelIndex index = m_loaded.value(posix);
  if (QStandardItem* item = index.isValid() ? ItemOf(index) : nullptr) Reload(item);
  // A folder that was removed and made again is watched anew.
  if (QDir(posix).exists() && !m_watcher.directories().contains(posix)) m_watcher.addPath(posix);
}

void TFolderTree::SetAutoRefresh(bool on) {
  if (on == m_autoRefresh) return;
  m_autoRefresh = on;
  if (!on) return;
  const auto loaded = m_loaded;
  for (auto it = loaded.begin(); it != loaded.end(); ++it) {
    if (QStandardItem* item = it.value().isValid() ? ItemOf(it.value()) : nullptr) Reload(item);
  }
}

QString TFolderTree::SelectedPath() const {
  const QModelIndex index = currentIndex();
  return index.isValid() ? index.data(kPathRole).toString() : QString();
}

bool TFolderTree::SelectPath(const QString& path) {
  QStandardItem* found = nullptr;
  QStandardItem* top = m_model.invisibleRootItem();
  // The drives, the network group and the shares in it.
  std::vector<QStandardItem*> roots;
  for (int row = 0; row < top->rowCount(); ++row) {
    QStandardItem* root = top->child(row);
    roots.push_back(root);
    if (root->data(kPathRole).toString() != QLatin1String(kNetworkPath)) continue;
    for (int share = 0; share < root->rowCount(); ++share) roots.push_back(root->child(share));
  }
  for (auto it = roots.rbegin(); it != roots.rend() && found == nullptr; ++it) {
    const QString rootPath = (*it)->data(kPathRole).toString();
    if (path.compare(rootPath, Qt::CaseInsensitive) == 0 ||
        (path.startsWith(rootPath, Qt::CaseInsensitive) &&
         (rootPath.endsWith(QLatin1Char('\\')) || path.at(rootPath.size()) == QLatin1Char('\\')))) {
      found = *it;
    }
  }
  if (found == nullptr) return false;
  const QString rest = path.mid(found->data(kPathRole).toString().size());
  for (const QString& part : rest.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
    Load(found);
    QStandardItem* next = nullptr;
    for (int row = 0; row < found->rowCount() && next == nullptr; ++row) {
      if (found->child(row)->text() == part) next = found->child(row);
    }
    if (next == nullptr) break;
    expand(found->index());
    found = next;
  }
  setCurrentIndex(found->index());
  scrollTo(found->index());
  return true;
}

void TFolderTree::mousePressEvent(QMouseEvent* event) {
  // Either button selects; there is no context menu.
  QTreeView::mousePressEvent(event);
  if (indexAt(event->position().toPoint()).isValid()) {
    setCurrentIndex(indexAt(event->position().toPoint()));
    emit pathChosen();
  }
}

void TFolderTree::keyReleaseEvent(QKeyEvent* event) {
  QTreeView::keyReleaseEvent(event);
  emit pathChosen();
}

}  // namespace wizard
