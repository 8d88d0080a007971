#include "wizard/FolderTree.h"

#include "drives/DriveItemDelegate.h"
#include "platform/DriveTable.h"
#include "platform/UserFolders.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QIcon>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QStyle>

#include <algorithm>
#include <functional>
#include <vector>

namespace wizard {
namespace {

enum Role { kPathRole = Qt::UserRole + 1, kPosixRole, kLoadedRole, kPlaceholderRole };

// The kernel's and the system's own folders: nothing a user saves into.
bool IsSystemFolder(const QString& posix) {
  static const QStringList kSystem = {QStringLiteral("/proc"), QStringLiteral("/sys"), QStringLiteral("/dev"),
                                      QStringLiteral("/run")};
  return kSystem.contains(QDir::cleanPath(posix));
}

QStringList Subfolders(const QString& posix) {
  // Hidden folders stay hidden, as in the desktop's own file dialogs.
  QStringList names = QDir(posix).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
  names.erase(std::remove_if(names.begin(), names.end(),
                             [&](const QString& name) { return IsSystemFolder(posix + '/' + name); }),
              names.end());
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  return names;
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

QIcon PlaceIcon(const char* themeName) {
  return QIcon::fromTheme(QString::fromLatin1(themeName), QApplication::style()->standardIcon(QStyle::SP_DirIcon));
}

bool Within(const QString& path, const QString& root) {
  if (path.compare(root, Qt::CaseInsensitive) == 0) return true;
  return path.startsWith(root, Qt::CaseInsensitive) &&
         (root.endsWith(QLatin1Char('\\')) || path.at(root.size()) == QLatin1Char('\\'));
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
  // The keyboard picks a folder by moving the selection; a key released on arrival from
  // another panel (the Enter of "Recover >>") picks nothing.
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
    if (!m_programmatic) emit pathChosen();
  });
  Rebuild();
}

QStandardItem* TFolderTree::ItemOf(const QModelIndex& index) const { return m_model.itemFromIndex(index); }

QStandardItem* TFolderTree::MakeFolder(const QString& name, const QString& path, const QString& posix) const {
  auto* item = new QStandardItem(QApplication::style()->standardIcon(QStyle::SP_DirIcon), name);
  item->setData(path, kPathRole);
  item->setData(posix, kPosixRole);
  item->setData(false, kLoadedRole);
  if (!posix.isEmpty() && !Subfolders(posix).isEmpty()) {
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

void TFolderTree::AddPlaces(QStandardItem* top) {
  struct Place {
    const char* name;
    std::string posix;
    const char* icon;
  };
  const Place places[] = {
      {"Home", QDir::homePath().toStdString(), "user-home"},
      {"Pictures", platform::GetUserDirectoryPosix(platform::ufMyPictures), "folder-pictures"},
      {"Documents", platform::GetUserDirectoryPosix(platform::ufPersonal), "folder-documents"},
      {"Desktop", platform::GetUserDirectoryPosix(platform::ufDesktop), "user-desktop"}};
  QStringList shown;
  for (const Place& place : places) {
    const QString posix = QDir::cleanPath(QString::fromStdString(place.posix));
    // A place that is missing, or that is only the home folder again (no Documents folder), is left out.
    if (place.posix.empty() || !QDir(posix).exists() || shown.contains(posix)) continue;
    const auto path = platform::ToWindowsPath(posix.toStdString());
    if (!path) continue;
    shown.push_back(posix);
    AddFolder(top, QString::fromLatin1(place.name), QString::fromStdString(*path), posix)
        ->setIcon(PlaceIcon(place.icon));
  }
}

void TFolderTree::AddDrives(QStandardItem* top) {
  std::vector<platform::DriveEntry> shares;
  for (const platform::DriveEntry& drive : platform::DriveTable::Instance().Entries()) {
    if (drive.mountRoot.empty()) continue;
    const QString root = QString(QChar(drive.letter)) + QStringLiteral(":\\");
    QStandardItem* item = AddFolder(top, QString::fromStdString(platform::DriveDisplayName(drive.letter)), root,
                                    QString::fromStdString(drive.mountRoot));
    item->setIcon(drives::DriveTypeIcon(drive.type));
    if (drive.type == platform::kDriveRemote && drive.mountSource.rfind("//", 0) == 0) shares.push_back(drive);
  }
  if (shares.empty()) return;
  QStandardItem* network = AddFolder(top, QStringLiteral("Network"), QString::fromLatin1(kNetworkPath), QString());
  network->setIcon(QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon));
  network->setData(true, kLoadedRole);
  for (const platform::DriveEntry& share : shares) {
    const QString path = SharePath(share.mountSource);
    AddFolder(network, path, path, QString::fromStdString(share.mountRoot))
        ->setIcon(drives::DriveTypeIcon(platform::kDriveRemote));
  }
}

void TFolderTree::Rebuild() {
  const QScopedValueRollback<bool> programmatic(m_programmatic, true);
  // The open folders and the selection come back as they were, where they still exist.
  const QString selected = SelectedPath();
  std::vector<QString> open;
  const std::function<void(QStandardItem*)> note = [&](QStandardItem* item) {
    for (int row = 0; row < item->rowCount(); ++row) {
      QStandardItem* child = item->child(row);
      if (!isExpanded(child->index())) continue;
      open.push_back(child->data(kPathRole).toString());
      note(child);
    }
  };
  note(m_model.invisibleRootItem());
  m_model.clear();
  QStandardItem* top = m_model.invisibleRootItem();
  AddPlaces(top);
  AddDrives(top);
  for (const QString& path : open) {
    if (QStandardItem* item = FindRow(path)) {
      Load(item);
      expand(item->index());
    }
  }
  if (!selected.isEmpty()) SelectPath(selected);
}

QStandardItem* TFolderTree::FindRow(const QString& path) const {
  // The deepest root that holds the path: a place before the drive it lies on.
  QStandardItem* found = nullptr;
  int foundLength = -1;
  const QStandardItem* top = m_model.invisibleRootItem();
  std::vector<QStandardItem*> roots;
  for (int row = 0; row < top->rowCount(); ++row) {
    QStandardItem* root = top->child(row);
    roots.push_back(root);
    if (root->data(kPathRole).toString() != QLatin1String(kNetworkPath)) continue;
    for (int share = 0; share < root->rowCount(); ++share) roots.push_back(root->child(share));
  }
  for (QStandardItem* root : roots) {
    const QString rootPath = root->data(kPathRole).toString();
    if (rootPath.size() > foundLength && Within(path, rootPath)) {
      found = root;
      foundLength = static_cast<int>(rootPath.size());
    }
  }
  if (found == nullptr) return nullptr;
  const QString rest = path.mid(found->data(kPathRole).toString().size());
  for (const QString& part : rest.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
    const_cast<TFolderTree*>(this)->Load(found);
    QStandardItem* next = nullptr;
    for (int row = 0; row < found->rowCount() && next == nullptr; ++row) {
      if (found->child(row)->text() == part) next = found->child(row);
    }
    if (next == nullptr) break;
    found = next;
  }
  return found;
}

void TFolderTree::Load(QStandardItem* item) {
  if (item == nullptr || item->data(kLoadedRole).toBool()) return;
  item->setData(true, kLoadedRole);
  const QString posix = item->data(kPosixRole).toString();
  if (item->rowCount() > 0 && item->child(0)->data(kPlaceholderRole).toBool()) item->removeRow(0);
  if (posix.isEmpty()) return;
  const QString path = item->data(kPathRole).toString();
  for (const QString& name : Subfolders(posix)) AddFolder(item, name, ChildPath(path, name), posix + '/' + name);
}

QString TFolderTree::SelectedPath() const {
  const QModelIndex index = currentIndex();
  return index.isValid() ? index.data(kPathRole).toString() : QString();
}

bool TFolderTree::SelectPath(const QString& path) {
  const QScopedValueRollback<bool> programmatic(m_programmatic, true);
  QStandardItem* found = FindRow(path);
  if (found == nullptr) return false;
  for (QStandardItem* above = found->parent(); above != nullptr; above = above->parent()) expand(above->index());
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

}  // namespace wizard
