#include "drives/ZubDrvListBox.h"

#include "drives/DriveItemDelegate.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/UserFolders.h"
#include "platform/DriveQueries.h"
#include "util/SizeText.h"
#include "util/Text.h"

#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>

#include <algorithm>

namespace drives {
namespace {

constexpr int kSmallIconSize = 16;

}  // namespace

char LetterOfItemText(const QString& text) {
  const qsizetype colon = text.indexOf(QLatin1Char(':'));
  if (colon < 1) return 0;
  return static_cast<char>(text.at(colon - 1).toUpper().toLatin1());
}

TZubDrvListBox::TZubDrvListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setUniformItemSizes(true);
  setItemDelegate(new DriveItemDelegate(this));
  MayRead = [](char letter) { return platform::MayReadVolume(letter); };
  ResetItemHeight();
  connect(this, &QListWidget::itemSelectionChanged, this, [this] {
    if (!m_programSelects) Change();
  });
}

void TZubDrvListBox::SetDriveType(TDriveType type) {
  m_driveType = type;
  UpdateDrives();
}

void TZubDrvListBox::SetDisplay(TDisplay display) {
  m_display = display;
  UpdateDrives();
}

void TZubDrvListBox::SetSizeLeft(int pixels) {
  m_sizeLeft = pixels;
  viewport()->update();
}

void TZubDrvListBox::SetItemHeight(int pixels) {
  m_itemHeight = std::max(1, pixels);
  doItemsLayout();
}

void TZubDrvListBox::ResetItemHeight() {
  SetItemHeight(std::max(QFontMetrics(font()).height(), kSmallIconSize + 2));
}

void TZubDrvListBox::changeEvent(QEvent* event) {
  QListWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    ResetItemHeight();
    BuildList();
  }
}

void TZubDrvListBox::SelectRow(int row) {
  m_programSelects = true;
  if (row >= 0 && row < count()) {
    setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  } else {
    clearSelection();
    setCurrentRow(-1, QItemSelectionModel::Clear);
  }
  m_programSelects = false;
}

void TZubDrvListBox::AddRow(char letter, int type) {
  const std::uint8_t number = platform::DriveNumberOf(letter);
  const std::int64_t size = platform::GetDiskSize(number);
  const std::int64_t free = platform::GetDiskFree(number);
  if (m_driveType == dtSavable) {
    // A drive without a folder to write into (an image, an unmounted partition)
    // cannot take the recovered files, whatever its file system says is free.
    const std::string root = std::string(1, letter) + ":\\";
    if (letter == ScanDrive || free <= 0 || !platform::ToPosixPath(root)) return;
  }
  const std::string text = platform::DriveDisplayName(letter) + ";" + util::GetSizeDescription(size) + ";" +
                           std::string(1, letter) + ";" + util::GetSizeDescription(free);
  auto* item = new QListWidgetItem(QString::fromStdString(text), this);
  item->setData(kDriveKindRole, type);
  const bool unreadable = MayRead && !MayRead(letter);
  item->setData(kUnreadableRole, unreadable);
  if (unreadable) {
    item->setToolTip(QStringLiteral("You do not have the rights to read this drive.\nStart Trellmond with "
                                    "\"Run as Administrator\" (right-click its icon) to scan it."));
  }
  m_letters.push_back(letter);
}

void TZubDrvListBox::BuildList() {
  m_letters.clear();
  if (count() > 0 && currentRow() >= 0 && !selectedItems().isEmpty()) m_rememberedRow = currentRow();
  m_programSelects = true;
  clear();
  m_programSelects = false;
  const std::string tempDir = platform::GetWindowsTempDir();
  const char tempDrive = tempDir.empty() ? 0 : static_cast<char>(std::toupper(static_cast<unsigned char>(tempDir[0])));
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    const int type = platform::GetDriveTypeOf(root);
    if (type == platform::kDriveUnknown || type == platform::kDriveNoRootDir) continue;
    const bool keep = m_driveType == dtAll || m_driveType == dtSavable || type == static_cast<int>(m_driveType) ||
                      (m_driveType == dtExceptWinTemp && letter != tempDrive);
    if (!keep) continue;
    AddRow(letter, type);
  }
  if (!m_letters.empty()) SetDrive(m_letters.front());
  viewport()->update();
}

void TZubDrvListBox::UpdateDrives() {
  setUpdatesEnabled(false);
  BuildList();
  setUpdatesEnabled(true);
}

void TZubDrvListBox::SetDrive(char letter) {
  m_drive = letter;
  if (letter == 0) return;
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (letter == upper) {
    // The letter list is not searched: the remembered row is selected.
    SelectRow(m_rememberedRow == -1 ? 0 : m_rememberedRow);
    return;
  }
  const auto found = std::find(m_letters.begin(), m_letters.end(), upper);
  if (found == m_letters.end()) return;
  m_drive = upper;
  m_rememberedRow = static_cast<int>(found - m_letters.begin());
  SelectRow(m_rememberedRow);
}

void TZubDrvListBox::Change() {
  if (currentRow() >= 0 && !selectedItems().isEmpty()) m_rememberedRow = currentRow();
  if (m_rememberedRow >= 0 && m_rememberedRow < static_cast<int>(m_letters.size())) {
    SetDrive(m_letters[static_cast<std::size_t>(m_rememberedRow)]);
  } else {
    m_drive = 0;
  }
  if (OnChange) OnChange(this);
}

void TZubDrvListBox::keyPressEvent(QKeyEvent* event) {
  // A typed character reports the row selected before the key, then the list
  // moves to a matching row, which reports again.
  if (!event->text().isEmpty() && event->text().at(0).isPrint()) Change();
  QListWidget::keyPressEvent(event);
}

QString TZubDrvListBox::ItemText(int row) const {
  const QListWidgetItem* it = item(row);
  return it != nullptr ? it->text() : QString();
}

}  // namespace drives
