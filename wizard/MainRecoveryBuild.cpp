// The Recovery panel: the output location with its folder tree on the left,
// the scanned drive and the totals of the save on the right.

#include "wizard/Main.h"

#include "wizard/FolderTree.h"
#include "wizard/ValueLabel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace wizard {
namespace {

QLabel* Value(QWidget* parent, const char* name) {
  QLabel* label = ValueLabel(parent, name);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setMinimumWidth(90);
  return label;
}

}  // namespace

void Tfrm_Main::BuildRecoveryPanel() {
  auto* layout = new QGridLayout(pnl_Recovery);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setHorizontalSpacing(10);
  layout->setVerticalSpacing(8);

  auto* locationRow = new QHBoxLayout;
  locationRow->addWidget(new QLabel(QStringLiteral("Output Location:"), pnl_Recovery));
  df_OutputDirectory = new QLineEdit(pnl_Recovery);
  df_OutputDirectory->setObjectName(QStringLiteral("df_OutputDirectory"));
  // Plainly read-only: the folder is chosen in the tree below, never typed.
  df_OutputDirectory->setReadOnly(true);
  df_OutputDirectory->setFocusPolicy(Qt::NoFocus);
  df_OutputDirectory->setFrame(false);
  QPalette shown = df_OutputDirectory->palette();
  shown.setColor(QPalette::Base, shown.color(QPalette::Window));
  df_OutputDirectory->setPalette(shown);
  locationRow->addWidget(df_OutputDirectory, 1);
  pb_ShellUpdate = new QPushButton(QStringLiteral("Refresh"), pnl_Recovery);
  pb_ShellUpdate->setObjectName(QStringLiteral("pb_ShellUpdate"));
  pb_ShellUpdate->setAutoDefault(false);
  pb_ShellUpdate->setToolTip(pb_Update->toolTip());
  connect(pb_ShellUpdate, &QPushButton::clicked, this, &Tfrm_Main::pb_ShellUpdateClick);
  locationRow->addWidget(pb_ShellUpdate);
  layout->addLayout(locationRow, 0, 0, 1, 2);
  // The folder as the desktop's file manager names it.
  lbl_RealFolder = new QLabel(pnl_Recovery);
  lbl_RealFolder->setObjectName(QStringLiteral("lbl_RealFolder"));
  lbl_RealFolder->setStyleSheet(QStringLiteral("color: dimgray;"));
  lbl_RealFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(lbl_RealFolder, 1, 0, 1, 2);

  ShellTree = new TFolderTree(pnl_Recovery);
  connect(ShellTree, &TFolderTree::pathChosen, this, &Tfrm_Main::ShellTreeClick);
  layout->addWidget(ShellTree, 2, 0);

  auto* side = new QGridLayout;
  side->setVerticalSpacing(6);
  const struct {
    const char* caption;
    const char* name;
    QLabel** label;
  } rows[] = {{"Scanned Drive:", "lbl_ScannedDrive", &lbl_ScannedDrive},
              {"Files selected:", "lbl_RecoveryFound", &lbl_RecoveryFound},
              {"Files saved:", "lbl_FilesSaved", &lbl_FilesSaved},
              {"Space Required:", "lbl_RequiredSpace", &lbl_RequiredSpace},
              {"Space Available:", "lbl_AvailableSpace", &lbl_AvailableSpace}};
  int row = 0;
  for (const auto& r : rows) {
    side->addWidget(new QLabel(QString::fromLatin1(r.caption), pnl_Recovery), row, 0);
    *r.label = Value(pnl_Recovery, r.name);
    side->addWidget(*r.label, row++, 1);
  }
  side->setRowStretch(row, 1);
  layout->addLayout(side, 2, 1);

  auto* buttonRow = new QHBoxLayout;
  pb_NewFolder = new QPushButton(QStringLiteral("New Folder"), pnl_Recovery);
  pb_NewFolder->setObjectName(QStringLiteral("pb_NewFolder"));
  pb_NewFolder->setAutoDefault(false);
  connect(pb_NewFolder, &QPushButton::clicked, this, &Tfrm_Main::pb_NewFolderClick);
  buttonRow->addWidget(pb_NewFolder);
  buttonRow->addStretch(1);
  layout->addLayout(buttonRow, 3, 0);
  layout->setColumnStretch(0, 1);
  layout->setRowStretch(2, 1);
}

}  // namespace wizard
