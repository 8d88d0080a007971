#include "widgets/GuiHelpers.h"

#include "online/Browser.h"
#include "platform/DriveTable.h"

#include <QGroupBox>
#include <QLayout>
#include <QListWidget>

#include <algorithm>
#include <string>
#include <vector>

namespace widgets {
namespace {

constexpr const char* kAlignedProperty = "trellmondAlignedToEdge";

std::vector<QWidget*> DirectChildWidgets(QWidget& parent) {
  std::vector<QWidget*> result;
  for (QObject* child : parent.children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget != nullptr && !widget->isWindow()) result.push_back(widget);
  }
  return result;
}

}  // namespace

void SelectAllInCheckList(bool ticked, QListWidget& list) {
  for (int i = 0; i < list.count(); ++i) {
    list.item(i)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    list.setCurrentRow(i);
  }
}

void EnableDisableChildren(QGroupBox& group, bool enabled) {
  for (QWidget* child : DirectChildWidgets(group)) child->setEnabled(enabled);
}

void RedistributeChildren(QWidget& panel) {
  const std::vector<QWidget*> children = DirectChildWidgets(panel);
  int visibleWidth = 0;
  for (QWidget* child : children) {
    if (!child->isHidden()) visibleWidth += child->width();
  }
  const int gap = (panel.width() - visibleWidth) / (static_cast<int>(children.size()) + 1);
  int position = 0;
  for (QWidget* child : children) {
    if (child->isHidden()) continue;
    child->move(std::min(position, panel.width() - child->width()) + gap, child->y());
    position += child->width() + gap;
  }
}

void SetAlignedToEdge(QWidget& child, bool aligned) { child.setProperty(kAlignedProperty, aligned); }

void CentraliseChildren(QWidget& panel) {
  for (QWidget* child : DirectChildWidgets(panel)) {
    const bool managed = panel.layout() != nullptr && panel.layout()->indexOf(child) >= 0;
    if (managed || child->property(kAlignedProperty).toBool()) continue;
    child->move((panel.width() - child->width()) / 2, (panel.height() - child->height()) / 2);
  }
}

void ExploreFolder(std::string_view folder) {
  // A drive-letter path whose drive has no mount root has nothing to show.
  const std::string posix = platform::ToPosixPath(folder).value_or(std::string(folder));
  if (posix.empty() || posix.front() != '/') return;
  online::BrowseURL(posix);
}

}  // namespace widgets
