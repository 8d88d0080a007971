#pragma once
// TImagePreview: the Analysis panel's preview pop-up (pnl_Preview). When the
// mouse rests on the "Thumbnail" cell of a file in one of the watched result
// trees it shows the file's kept picture, or two hint labels when no copy was
// kept, next to the mouse for four seconds. Moving to another cell or leaving
// the tree hides it at once. GUI thread only.

#include "wizard/ResultTreeStore.h"

#include <QFrame>
#include <QHash>
#include <QPersistentModelIndex>
#include <QTimer>

class QLabel;
class QTreeView;

namespace wizard {

class ResultTreeModel;

class TImagePreview : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kShowMs = 4000;
  // A child of `panel`, which it is placed and kept within.
  explicit TImagePreview(QWidget* panel);

  // Shows previews for the cells of `view`, whose model is `model`.
  void Watch(QTreeView* view, ResultTreeModel* model);
  // The hint of `column` of `node` (none: no cell) under the mouse at `pos` in `view`'s viewport.
  void VTreeGetHint(QTreeView* view, const TreeNode* node, int column, QPoint pos);
  void tmr_PreviewTimer();
  // The large view of a file (double-click): its picture, where one was kept, and its details.
  // A window of its own, closed by the user; returned for tests.
  QWidget* ShowDetails(const TreeNode* node);
  const QTimer& Timer() const { return tmr_Preview; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void HideAll();

  QLabel* img_Hint = nullptr;
  QLabel* lbl_Hint1 = nullptr;
  QLabel* lbl_Hint2 = nullptr;
  QTimer tmr_Preview;
  QPersistentModelIndex m_shown;
  QHash<QObject*, ResultTreeModel*> m_models;  // by watched viewport
};

}  // namespace wizard
