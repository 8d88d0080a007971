#pragma once
// Layout and control helpers shared by the wizard's panels and dialogs.

#include <QWidget>

#include <string_view>

class QGroupBox;
class QListWidget;

namespace widgets {

// Ticks or unticks every item in order, selecting each in turn (the last stays selected).
void SelectAllInCheckList(bool ticked, QListWidget& list);
// Enables or disables every direct child control of the group box.
void EnableDisableChildren(QGroupBox& group, bool enabled);
// Spreads the visible direct children evenly along one row; hidden children
// still count in the gap, so a row keeps its rhythm when a button is hidden.
void RedistributeChildren(QWidget& panel);
// Centres every direct child that is not aligned to an edge (managed by the
// panel's layout or marked with SetAlignedToEdge).
void CentraliseChildren(QWidget& panel);
void SetAlignedToEdge(QWidget& child, bool aligned);
// Opens a folder (drive-letter or POSIX path) in the desktop's file manager.
void ExploreFolder(std::string_view folder);

}  // namespace widgets
