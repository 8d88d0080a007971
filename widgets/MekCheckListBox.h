#pragma once
// TMekCheckListBox: a list of checkable items with its own context menu,
// "Select All" and "Select None".

#include <QListWidget>
#include <QMenu>

namespace widgets {

class TMekCheckListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TMekCheckListBox(QWidget* parent = nullptr);

  // Adds an unticked, checkable item.
  QListWidgetItem* AddCheckItem(const QString& text);
  QMenu& PopupMenu() { return m_menu; }

 private:
  QMenu m_menu;
};

}  // namespace widgets
