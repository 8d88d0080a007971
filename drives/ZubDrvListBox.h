#pragma once
// TZubDrvListBox: the list of the computer's drives, one row per drive letter,
// drawn with the drive's icon, display name, size and free space. A type filter
// chooses the drives; the savable mode leaves out the scanned drive and drives
// that cannot take files. Each row's text holds four ";"-separated fields:
// display name, size text, letter, free text. Owned by its parent widget; GUI
// thread only.

#include <QListWidget>

#include <functional>
#include <string>
#include <vector>

namespace drives {

enum TDriveType { dtUnknown, dtNoRoot, dtRemovable, dtFixed, dtNetwork, dtCD, dtAll, dtExceptWinTemp, dtSavable };
enum TDisplay { dsNameSizeFree, dsNameSize, dsNameFree };

// Item data beyond the row text.
inline constexpr int kDriveKindRole = Qt::UserRole;        // the platform's drive type code
inline constexpr int kUnreadableRole = Qt::UserRole + 1;   // true: this user may not read the device

// The letter of a row: the character just before the first ":" of its text, upper-cased; 0 without one.
char LetterOfItemText(const QString& text);

class TZubDrvListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TZubDrvListBox(QWidget* parent = nullptr);

  char Drive() const { return m_drive; }
  void SetDrive(char letter);
  // The letter left out in savable mode.
  char ScanDrive = 0;
  TDriveType DriveType() const { return m_driveType; }
  void SetDriveType(TDriveType type);
  TDisplay Display() const { return m_display; }
  void SetDisplay(TDisplay display);
  int SizeLeft() const { return m_sizeLeft; }
  void SetSizeLeft(int pixels);
  int ItemHeight() const { return m_itemHeight; }
  void SetItemHeight(int pixels);
  void ResetItemHeight();

  virtual void BuildList();
  void UpdateDrives();
  // Takes the selected row's letter and fires OnChange.
  void Change();
  std::function<void(QObject* sender)> OnChange;

  QString ItemText(int row) const;
  // Selects a row without running Change, as the program (not the user) does.
  void SelectRow(int row);
  // Whether this user may read a drive's device; the platform's answer unless replaced.
  std::function<bool(char)> MayRead;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void AddRow(char letter, int type);

  char m_drive = 0;
  TDriveType m_driveType = dtAll;
  TDisplay m_display = dsNameSizeFree;
  int m_sizeLeft = 200;
  int m_itemHeight = 18;
  std::vector<char> m_letters;
  int m_rememberedRow = 0;
  bool m_programSelects = false;
};

}  // namespace drives
