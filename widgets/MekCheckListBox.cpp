#include "widgets/MekCheckListBox.h"

#include "widgets/GuiHelpers.h"

namespace widgets {

TMekCheckListBox::TMekCheckListBox(QWidget* parent) : QListWidget(parent), m_menu(this) {
  m_menu.addAction(QStringLiteral("Select All"), this, [this] { SelectAllInCheckList(true, *this); });
  m_menu.addAction(QStringLiteral("Select None"), this, [this] { SelectAllInCheckList(false, *this); });
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { m_menu.popup(viewport()->mapToGlobal(at)); });
}

QListWidgetItem* TMekCheckListBox::AddCheckItem(const QString& text) {
  auto* item = new QListWidgetItem(text, this);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Unchecked);
  return item;
}

}  // namespace widgets
