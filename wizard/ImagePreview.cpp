#include "wizard/ImagePreview.h"

#include "wizard/ResultTreeModel.h"

#include "util/SizeText.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace wizard {
namespace {

constexpr QSize kPanelSize(209, 153);
constexpr QSize kPictureSize(194, 138);
constexpr int kRightOfMouse = 20;

QLabel* HintLabel(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

}  // namespace

TImagePreview::TImagePreview(QWidget* panel) : QFrame(panel) {
  setObjectName(QStringLiteral("pnl_Preview"));
  setFixedSize(kPanelSize);
  setFrameShape(QFrame::Box);
  setLineWidth(1);
  setAutoFillBackground(true);
  QPalette grey = palette();
  grey.setColor(QPalette::Window, QColor(0xc0, 0xc0, 0xc0));
  grey.setColor(QPalette::WindowText, Qt::black);
  setPalette(grey);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  img_Hint = new QLabel(this);
  img_Hint->setObjectName(QStringLiteral("img_Hint"));
  img_Hint->setFixedSize(kPictureSize);
  img_Hint->setAlignment(Qt::AlignCenter);
  lbl_Hint1 = HintLabel(QStringLiteral("Due to the high number of file formats that exist we are unfortunately unable "
                                       "to show them all. "),
                        "lbl_Hint1", this);
  lbl_Hint2 = HintLabel(QStringLiteral("Not seeing an image does not mean that your file cannot be recovered."),
                        "lbl_Hint2", this);
  layout->addWidget(img_Hint, 0, Qt::AlignCenter);
  layout->addWidget(lbl_Hint1);
  layout->addWidget(lbl_Hint2);
  tmr_Preview.setInterval(kShowMs);
  tmr_Preview.setSingleShot(true);
  connect(&tmr_Preview, &QTimer::timeout, this, &TImagePreview::tmr_PreviewTimer);
  HideAll();
}

void TImagePreview::Watch(QTreeView* view, ResultTreeModel* model) {
  m_models.insert(view->viewport(), model);
  view->viewport()->installEventFilter(this);
  connect(view, &QTreeView::doubleClicked, this, [this, model](const QModelIndex& index) {
    HideAll();
    ShowDetails(model->NodeAt(index));
  });
}

QWidget* TImagePreview::ShowDetails(const TreeNode* node) {
  if (node == nullptr || node->Data.IsFolder) return nullptr;
  const TreeNode* record = node->Data.PathNode != nullptr ? node->Data.PathNode : node;
  const FileNode& data = record->Data;
  auto* dialog = new QDialog(this->window(), Qt::Dialog);
  dialog->setObjectName(QStringLiteral("frm_FileDetails"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  const auto text = [](std::string_view t) { return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())); };
  dialog->setWindowTitle(text(data.Name));
  auto* layout = new QVBoxLayout(dialog);
  if (const util::TMemoryStream* thumbnail = data.Thumbnail.get()) {
    const auto bytes = thumbnail->Bytes();
    QImage picture;
    if (picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "BMP")) {
      // The kept picture is at most 175 pixels; shown twice as large it is still sharp enough to tell photos apart.
      auto* image = new QLabel(dialog);
      image->setObjectName(QStringLiteral("img_Large"));
      image->setAlignment(Qt::AlignCenter);
      image->setPixmap(
          QPixmap::fromImage(picture.scaled(picture.size() * 2, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
      layout->addWidget(image);
    }
  }
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Name:"), new QLabel(text(data.Name), dialog));
  form->addRow(QStringLiteral("Type:"), new QLabel(text(data.Extension).toUpper(), dialog));
  QString size = QString::fromStdString(util::GetSizeDescription(data.Size));
  size.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
  if (data.Size >= 1000) size += QStringLiteral(" (%1 bytes)").arg(data.Size);
  form->addRow(QStringLiteral("Size:"), new QLabel(size, dialog));
  form->addRow(QStringLiteral("Found in:"), new QLabel(text(data.Path), dialog));
  if (!data.Note.empty()) form->addRow(QStringLiteral("Note:"), new QLabel(text(data.Note), dialog));
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  layout->addWidget(buttons);
  dialog->show();
  return dialog;
}

bool TImagePreview::eventFilter(QObject* watched, QEvent* event) {
  auto* viewport = qobject_cast<QWidget*>(watched);
  auto* view = viewport != nullptr ? qobject_cast<QTreeView*>(viewport->parentWidget()) : nullptr;
  if (view == nullptr) return false;
  switch (event->type()) {
    case QEvent::ToolTip: {
      // The tree's hint: the preview stands in for any hint text.
      const QPoint pos = static_cast<QHelpEvent*>(event)->pos();
      const QModelIndex index = view->indexAt(pos);
      ResultTreeModel* model = m_models.value(viewport);
      VTreeGetHint(view, index.isValid() && model != nullptr ? model->NodeAt(index) : nullptr, index.column(), pos);
      if (index.isValid()) m_shown = index;
      return true;
    }
    case QEvent::MouseMove:
      if (!isHidden() && view->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()) != m_shown) HideAll();
      return false;
    case QEvent::Leave:
      if (!isHidden()) HideAll();
      return false;
    default:
      return false;
  }
}

void TImagePreview::VTreeGetHint(QTreeView* view, const TreeNode* node, int column, QPoint pos) {
  HideAll();
  if (node == nullptr) return;
  // The type and size trees' files keep their picture in their twin of the path tree.
  const TreeNode* record = node->Data.PathNode != nullptr ? node->Data.PathNode : node;
  if (record->Data.IsFolder || column != ResultTreeModel::kThumbnailColumn) return;
  if (const util::TMemoryStream* thumbnail = record->Data.Thumbnail.get()) {
    const auto bytes = thumbnail->Bytes();
    QImage picture;
    // A copy that does not load as a bitmap (a type the check leaves undecoded) shows nothing.
    if (!picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "BMP")) {
      return;
    }
    QPixmap pixmap = QPixmap::fromImage(picture);
    if (pixmap.width() > kPictureSize.width() || pixmap.height() > kPictureSize.height()) {
      pixmap = pixmap.scaled(kPictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    img_Hint->setPixmap(pixmap);
    img_Hint->setVisible(true);
  } else {
    lbl_Hint1->setVisible(true);
    lbl_Hint2->setVisible(true);
  }
  // Beside the mouse, kept inside the panel so that the whole preview shows.
  const QWidget* panel = parentWidget();
  QPoint at = view->viewport()->mapTo(panel, pos) + QPoint(kRightOfMouse, 0);
  at.setX(std::clamp(at.x(), 0, std::max(0, panel->width() - width())));
  at.setY(std::clamp(at.y(), 0, std::max(0, panel->height() - height())));
  move(at);
  raise();
  setVisible(true);
  tmr_Preview.start();
}

void TImagePreview::tmr_PreviewTimer() {
  tmr_Preview.stop();
  setVisible(false);
}

void TImagePreview::HideAll() {
  tmr_Preview.stop();
  setVisible(false);
  img_Hint->setVisible(false);
  img_Hint->clear();
  lbl_Hint1->setVisible(false);
  lbl_Hint2->setVisible(false);
  m_shown = QPersistentModelIndex();
}

}  // namespace wizard
