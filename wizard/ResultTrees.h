#pragma once
// ResultTrees: the Analysis panel's three result trees on the tab control
// `tabs` ("View by Path" VTree, "View by File Type" VTreeType, "View by Size"
// VTreeSize), with the store that holds their nodes and one model per view.
// The window that owns it wires the callbacks in Events() to its scanners and
// its file-type table, gives it its prompt, and drives it from the scan run
// and the panel's buttons. GUI thread only.
//
// Use during a scan run:
//   ClearResults(); AddRootFolders(); SetImageHintCount(0);   // start of the run
//   AddTreeEntry(...); ExpandAllSoon();                       // each reported file
//   SortTypeTree(); CollapseTree(Size); ExpandTree(Size); ExpandAll();   // end of the run
// Rows appended by AddTreeEntry reach the views in batches: at most once per event-loop
// turn and, while files keep coming, no sooner than the refresh interval (100 ms unless
// set) or ten times the cost of the last refresh, whichever is longer, because every
// batch costs the shown view one layout of all its rows. "Expand All after every file"
// is done once per refresh, with the same final view. Everything that looks at the trees
// (search, ticks, sorting, expanding) announces pending rows first.

#include "util/Prompt.h"
#include "widgets/QtPrompt.h"
#include "wizard/ResultTreeModel.h"
#include "wizard/ResultTreeStore.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <string>

class QTabWidget;
class QTreeView;

namespace wizard {

class ResultTrees : public QWidget {
  Q_OBJECT
 public:
  explicit ResultTrees(QWidget* parent = nullptr);
  ~ResultTrees() override;

  ResultTreeStore& Store() { return m_store; }
  // SetSaveFlag, SetAllSaveFlags, UpdateFileTypesTable, UpdateClickStatus, Scanning.
  ResultTreeEvents& Events() { return m_store.Events; }
  // "Text not found" goes here; the trees' own Qt prompt until set. Not owned.
  void SetPrompt(util::IPrompt* prompt) { m_prompt = prompt != nullptr ? prompt : &m_qtPrompt; }

  QTabWidget* Tabs() const { return m_tabs; }
  QTreeView* View(TreeKind tree) const { return m_views[Index(tree)]; }
  ResultTreeModel* Model(TreeKind tree) const { return m_models[Index(tree)].get(); }

  // The scan run's side: see the class comment.
  void ClearResults();
  void AddRootFolders();
  void AddTreeEntry(util::TScanType xSource, const std::string& sID, const std::string& sFullName,
                    const std::string& sExtension, const std::string& sPrefix, std::int64_t iSize,
                    const util::TMemoryStream* xImage, util::TFileType xType);
  void ExpandAllSoon();
  std::int64_t ImageHintCount() const { return m_store.ImageHintCount(); }
  void SetImageHintCount(std::int64_t count) { m_store.SetImageHintCount(count); }
  void SetMaxImageHints(std::int64_t count) { m_store.SetMaxImageHints(count); }
  // Least time between two refreshes of the views while files arrive (0: every event-loop turn,
  // whatever the number of files).
  // Refresh() and every operation below refresh at once.
  void SetRefreshInterval(int milliseconds) { m_interval = m_wait = milliseconds < 0 ? 0 : milliseconds; }
  // Pending rows (and a pending "Expand All") now.
  void Refresh();

  // The panel's buttons. `tab` is the active tab: 0 path, 1 type, 2 size.
  void SelectAll(bool checked);
  void CheckVTree(TreeKind tree, const std::string& id, bool checked);
  bool FindFirst(int tab, const std::string& text);
  bool FindNext(int tab, const std::string& text);
  void ExpandAll();
  void CollapseAll();
  void ExpandTree(TreeKind tree);
  void CollapseTree(TreeKind tree);
  void SortTypeTree();

 private:
  static std::size_t Index(TreeKind tree) { return static_cast<std::size_t>(tree); }
  QTreeView* MakeView(TreeKind tree, const char* name, int firstWidth);
  void ScheduleRefresh();
  void FlushRows();
  bool Find(int tab, const std::string& text, bool fromSelection);
  const TreeNode* FirstSelected(TreeKind tree) const;
  void Reveal(TreeKind tree, TreeNode* node);

  ResultTreeStore m_store;
  std::array<std::unique_ptr<ResultTreeModel>, kTreeCount> m_models;
  std::array<QTreeView*, kTreeCount> m_views{};
  QTabWidget* m_tabs = nullptr;
  widgets::QtPrompt m_qtPrompt{this};
  util::IPrompt* m_prompt = &m_qtPrompt;
  QTimer m_refresh;
  QElapsedTimer m_sinceRefresh;
  qint64 m_interval = 100;
  qint64 m_wait = 100;
  bool m_expandWanted = false;
};

}  // namespace wizard
