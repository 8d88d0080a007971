#include "widgets/frm_About.h"

#include "online/Browser.h"
#include "online/ServiceAddress.h"
#include "platform/Files.h"
#include "widgets/DialogHeader.h"
#include "widgets/ModalResults.h"
#include "widgets/LinkLabel.h"
#include "widgets/Pictures.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace widgets {
namespace {

// A read-only address field that opens its address on a click.
class ClickField : public QLineEdit {
 public:
  ClickField(const QString& text, std::function<void()> onClick, QWidget* parent)
      : QLineEdit(text, parent), m_onClick(std::move(onClick)) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_onClick) m_onClick();
  }

 private:
  std::function<void()> m_onClick;
};

}  // namespace

Tfrm_About::Tfrm_About(std::string baseURL, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_baseURL(std::move(baseURL)) {
  OpenAddress = [](std::string_view address) { return online::BrowseURL(address); };
  setWindowTitle(QStringLiteral("About"));
  SetDialogBorder(*this);
  setObjectName(QStringLiteral("frm_About"));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(20, 20, 20, 16);
  grid->setHorizontalSpacing(20);

  m_image = new QLabel(this);
  m_image->setPixmap(MainPicture(150));
  m_image->setAlignment(Qt::AlignTop);
  grid->addWidget(m_image, 0, 0, 2, 1);

  auto* column = new QVBoxLayout;
  auto* title = new QLabel(QStringLiteral("Trellmond"), this);
  QFont titleFont = title->font();
  titleFont.setPointSize(20);
  titleFont.setBold(true);
  title->setFont(titleFont);
  title->setStyleSheet(QStringLiteral("color: #10306b;"));
  column->addWidget(title);
  auto* version = new QLabel(
      QString::fromStdString(platform::GetFmtFileVersion(platform::OwnExecutablePath(), "v %d.%d.%d.%d")), this);
  version->setObjectName(QStringLiteral("lbl_Version"));
  column->addWidget(version);
  column->addSpacing(6);
  column->addWidget(new QLabel(QStringLiteral("File recovery for memory cards, USB sticks and hard disks."), this));
  column->addSpacing(10);

  auto* link = new TLinkLabel(QString::fromStdString(m_baseURL), this);
  link->setObjectName(QStringLiteral("lbl_WebAddress"));
  link->setStyleSheet(QStringLiteral("color: #1a4491; text-decoration: underline;"));
  connect(link, &TLinkLabel::clicked, this, [this] { OpenAddress(m_baseURL); });
  column->addWidget(link);
  column->addSpacing(10);

  column->addWidget(new QLabel(QStringLiteral("Questions & Feedback to:"), this));
  const std::string mail(online::kSupportEmail);
  auto* email = new ClickField(
      QString::fromStdString(mail), [this, mail] { OpenAddress("mailto:" + mail); }, this);
  email->setObjectName(QStringLiteral("df_Email"));
  email->setReadOnly(true);
  email->setFrame(false);
  email->setCursor(Qt::PointingHandCursor);
  email->setStyleSheet(QStringLiteral("background: transparent; color: #1a4491;"));
  column->addWidget(email);
  column->addStretch(1);
  grid->addLayout(column, 0, 1);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("pb_Ok"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { done(kResultOk); });
  grid->addWidget(ok, 1, 1, Qt::AlignRight | Qt::AlignBottom);
  ok->setFocus();
  // A dialog border: the window manager offers no maximise for a fixed size.
  grid->setSizeConstraint(QLayout::SetFixedSize);
}

void Tfrm_About::SetImage(const QPixmap& picture) { m_image->setPixmap(picture); }

}  // namespace widgets
