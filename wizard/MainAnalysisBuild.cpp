// The Analysis panel: the result trees with their bar on the left, and the side
// column with the scan's status, the totals, the file-type table and the drives
// available for saving.

#include "wizard/Main.h"

#include "widgets/LinkLabel.h"
#include "widgets/MekFlashingLabel.h"
#include "wizard/FileTypesTable.h"
#include "wizard/ImagePreview.h"
#include "wizard/ResultTrees.h"
#include "wizard/ScanProgress.h"
#include "wizard/ValueLabel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QGridLayout>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace wizard {
namespace {

widgets::TMekFlashingLabel* FlashingValue(QWidget* parent, const char* name) {
  auto* label = new widgets::TMekFlashingLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setStyleSheet(QStringLiteral("color: blue;"));
  label->SetFlashNumber(10);
  label->SetFlashSpeed(500);
  return label;
}

QLabel* Caption(const QString& text, const QString& hint, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setToolTip(hint);
  return label;
}

}  // namespace

QWidget* Tfrm_Main::BuildTreeBar(QWidget* parent) {
  auto* bar = new QWidget(parent);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  cx_SelectFiles = new QCheckBox(QStringLiteral("Select All / None"), bar);
  cx_SelectFiles->setObjectName(QStringLiteral("cx_SelectFiles"));
  cx_SelectFiles->setChecked(true);
  cx_SelectFiles->setVisible(false);
  connect(cx_SelectFiles, &QCheckBox::clicked, this, &Tfrm_Main::cx_SelectFilesClick);
  df_Search = new QLineEdit(bar);
  df_Search->setObjectName(QStringLiteral("df_Search"));
  df_Search->setPlaceholderText(QStringLiteral("Name or path"));
  df_Search->setMaximumWidth(200);
  auto button = [&](const QString& caption, const char* name, void (Tfrm_Main::*handler)()) {
    auto* b = new QPushButton(caption, bar);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, handler);
    return b;
  };
  pb_FindFirst = button(QStringLiteral("Find First"), "pb_FindFirst", &Tfrm_Main::pb_FindClick);
  pb_FindNext = button(QStringLiteral("Find Next"), "pb_FindNext", &Tfrm_Main::pb_FindNextClick);
  pb_ExpandAll = new QPushButton(QStringLiteral("Expand All"), bar);
  pb_ExpandAll->setObjectName(QStringLiteral("pb_ExpandAll"));
  pb_ExpandAll->setAutoDefault(false);
  connect(pb_ExpandAll, &QPushButton::clicked, this, [this] { m_trees->ExpandAll(); });
  pb_CollapseAll = new QPushButton(QStringLiteral("Collapse All"), bar);
  pb_CollapseAll->setObjectName(QStringLiteral("pb_CollapseAll"));
  pb_CollapseAll->setAutoDefault(false);
  connect(pb_CollapseAll, &QPushButton::clicked, this, [this] { m_trees->CollapseAll(); });
  row->addWidget(cx_SelectFiles);
  row->addStretch(1);
  row->addWidget(df_Search);
  row->addWidget(pb_FindFirst);
  row->addWidget(pb_FindNext);
  row->addSpacing(12);
  row->addWidget(pb_ExpandAll);
  row->addWidget(pb_CollapseAll);
  return bar;
}

QWidget* Tfrm_Main::BuildStatusColumn(QWidget* parent) {
  pnl_Status = new QWidget(parent);
  pnl_Status->setObjectName(QStringLiteral("pnl_Status"));
  auto* layout = new QVBoxLayout(pnl_Status);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(3);
  // Every row keeps its place through a scan run: the bar and the summary share one place as tall
  // as a two-line summary, and the reading notice and Stop keep theirs while hidden.
  auto* progressRow = new QHBoxLayout;
  lbl_Progress = new QLabel(QStringLiteral("Status:"), pnl_Status);
  lbl_Progress->setObjectName(QStringLiteral("lbl_Progress"));
  // As wide as the longer of its two captions, so the bar and the summary start at one place.
  lbl_Progress->setFixedWidth(std::max(lbl_Progress->fontMetrics().horizontalAdvance(QStringLiteral("Progress:")),
                                       lbl_Progress->fontMetrics().horizontalAdvance(QStringLiteral("Status:"))) +
                              4);
  auto* state = new QWidget(pnl_Status);
  auto* stateLayout = new QGridLayout(state);
  stateLayout->setContentsMargins(0, 0, 0, 0);
  Progress = new QProgressBar(state);
  Progress->setObjectName(QStringLiteral("Progress"));
  Progress->setVisible(false);
  m_progress = std::make_unique<ScanProgress>(*Progress);
  lbl_Summary->setParent(state);
  lbl_Summary->setStyleSheet(QStringLiteral("color: blue; font-weight: bold;"));
  lbl_Summary->setWordWrap(true);
  lbl_Summary->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lbl_Summary->SetFlashNumber(10);
  lbl_Summary->SetFlashSpeed(500);
  lbl_Summary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  stateLayout->addWidget(Progress, 0, 0);
  stateLayout->addWidget(lbl_Summary, 0, 0);
  QFont bold = lbl_Summary->font();
  bold.setBold(true);
  state->setFixedHeight(std::max(Progress->sizeHint().height(), 2 * QFontMetrics(bold).lineSpacing() + 2));
  progressRow->addWidget(lbl_Progress);
  progressRow->addWidget(state, 1);
  layout->addLayout(progressRow);
  lbl_Reading = new widgets::TMekFlashingLabel(pnl_Status);
  lbl_Reading->setObjectName(QStringLiteral("lbl_Reading"));
  lbl_Reading->setStyleSheet(QStringLiteral("color: red;"));
  lbl_Reading->setAlignment(Qt::AlignCenter);
  lbl_Reading->SetFlashNumber(1000);
  lbl_Reading->SetFlashSpeed(500);
  lbl_Reading->setVisible(false);
  // A long notice is cut at the column's edge rather than widening it.
  lbl_Reading->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  lbl_Reading->setFixedHeight(lbl_Reading->fontMetrics().lineSpacing() + 2);
  for (QWidget* kept : {static_cast<QWidget*>(lbl_Reading), static_cast<QWidget*>(pb_Stop)}) {
    QSizePolicy policy = kept->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    kept->setSizePolicy(policy);
  }
  layout->addWidget(lbl_Reading);
  layout->addWidget(pb_Stop, 0, Qt::AlignHCenter);

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignLeft);
  form->setHorizontalSpacing(6);
  form->setVerticalSpacing(3);
  auto* drive = new QWidget(pnl_Status);
  auto* driveRow = new QHBoxLayout(drive);
  driveRow->setContentsMargins(0, 0, 0, 0);
  lbl_Drive = ValueLabel(drive, "lbl_Drive");
  lbl_DriveSize = ValueLabel(drive, "lbl_DriveSize");
  driveRow->addWidget(lbl_Drive);
  driveRow->addWidget(lbl_DriveSize, 1);
  form->addRow(Caption(QStringLiteral("Scanned Drive:"), QStringLiteral("This is the letter of the drive that was scanned."),
                       pnl_Status),
               drive);
  lbl_FilesFound = ValueLabel(pnl_Status, "lbl_FilesFound");
  form->addRow(Caption(QStringLiteral("Files found:"), QStringLiteral("This is the total number of files found by the scan."),
                       pnl_Status),
               lbl_FilesFound);
  lbl_ResultSelected = FlashingValue(pnl_Status, "lbl_ResultSelected");
  form->addRow(Caption(QStringLiteral("Files selected for recovery:"),
                       QStringLiteral("This is the number of files that have been selected (checked) for recovery."),
                       pnl_Status),
               lbl_ResultSelected);
  layout->addLayout(form);
  layout->addWidget(new QLabel(QStringLiteral("Space required to save selected files:"), pnl_Status));
  lbl_ResultRequired = FlashingValue(pnl_Status, "lbl_ResultRequired");
  layout->addWidget(lbl_ResultRequired);
  layout->addWidget(Caption(QStringLiteral("Space available to save selected files:"),
                            QStringLiteral("This is the largest amount of space available on the drives that you "
                                           "currently have connected."),
                            pnl_Status));
  auto* available = new QHBoxLayout;
  lbl_ResultAvailable = FlashingValue(pnl_Status, "lbl_ResultAvailable");
  img_Warning = new widgets::TLinkLabel(QString(), pnl_Status);
  img_Warning->setObjectName(QStringLiteral("img_Warning"));
  img_Warning->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(18, 18));
  img_Warning->setToolTip(QStringLiteral("Not enough space: click for details"));
  img_Warning->setVisible(false);
  connect(img_Warning, &widgets::TLinkLabel::clicked, this, [this] { UpdateClickStatus(true); });
  available->addWidget(lbl_ResultAvailable, 1);
  available->addWidget(img_Warning);
  layout->addLayout(available);
  return pnl_Status;
}

void Tfrm_Main::BuildAnalysisPanel() {
  pnl_TreeArea = new QWidget(pnl_Analysis);
  pnl_TreeArea->setObjectName(QStringLiteral("pnl_TreeArea"));
  auto* treeLayout = new QVBoxLayout(pnl_TreeArea);
  treeLayout->setContentsMargins(0, 0, 0, 0);
  treeLayout->addWidget(BuildTreeBar(pnl_TreeArea));
  m_trees = new ResultTrees(pnl_TreeArea);
  m_trees->setObjectName(QStringLiteral("ResultTrees"));
  treeLayout->addWidget(m_trees, 1);
  pnl_Preview = new TImagePreview(pnl_Analysis);
  for (const TreeKind tree : {TreeKind::Path, TreeKind::Type, TreeKind::Size}) {
    pnl_Preview->Watch(m_trees->View(tree), m_trees->Model(tree));
  }

  BuildStatusColumn(pnl_AnalysisSide);
  pnl_Status->installEventFilter(this);
  auto* typesLayout = new QVBoxLayout(pnl_FileTypes);
  typesLayout->setContentsMargins(0, 0, 0, 0);
  typesLayout->addWidget(new QLabel(QStringLiteral("File Types found / selected for recovery:"), pnl_FileTypes));
  tbl_FileTypes = new TFileTypesTable(pnl_FileTypes);
  tbl_FileTypes->setObjectName(QStringLiteral("tbl_FileTypes"));
  typesLayout->addWidget(tbl_FileTypes, 1);

  Timer_Memory = new QTimer(this);
  Timer_Memory->setInterval(5000);
  connect(Timer_Memory, &QTimer::timeout, this, &Tfrm_Main::Timer_MemoryTimer);
  BindScanners();
}

}  // namespace wizard
