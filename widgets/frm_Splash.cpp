#include "widgets/frm_Splash.h"

#include "platform/Files.h"
#include "widgets/ModalResults.h"
#include "widgets/Pictures.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace widgets {

QString SplashNoteText() {
  return QStringLiteral(
      "An active internet connection is required to use Trellmond. \n"
      "If you have a firewall, you will need to grant Trellmond internet \n"
      "access.\n"
      "\n"
      "There is absolutely no Adware or Spyware within our software. \n"
      "Trellmond will report your recovery progress to our servers in the \n"
      "interest of customer support and to ensure that our product meets our \n"
      "users' needs.\n"
      "\n"
      "Click OK to continue.");
}

Tfrm_Splash::Tfrm_Splash(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setWindowTitle(QStringLiteral("Splash"));
  setObjectName(QStringLiteral("frm_Splash"));
  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("splashFrame"));
  frame->setStyleSheet(QStringLiteral("QFrame#splashFrame { border: 1px solid #10306b; background: white; }"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(frame);

  auto* row = new QHBoxLayout(frame);
  row->setContentsMargins(20, 20, 20, 16);
  row->setSpacing(20);
  m_image = new QLabel(frame);
  m_image->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  m_image->setPixmap(MainPicture(180));
  row->addWidget(m_image);

  auto* column = new QVBoxLayout;
  auto* title = new QLabel(QStringLiteral("Trellmond"), frame);
  QFont titleFont = title->font();
  titleFont.setPointSize(22);
  titleFont.setBold(true);
  title->setFont(titleFont);
  title->setStyleSheet(QStringLiteral("color: #10306b;"));
  column->addWidget(title);
  auto* version = new QLabel(
      QString::fromStdString(platform::GetFmtFileVersion(platform::OwnExecutablePath(), "v %d.%d")), frame);
  version->setObjectName(QStringLiteral("lbl_Version"));
  version->setStyleSheet(QStringLiteral("color: #5a6b85;"));
  column->addWidget(version);

  auto* note = new QPlainTextEdit(SplashNoteText(), frame);
  note->setObjectName(QStringLiteral("mem_Note"));
  note->setReadOnly(true);
  note->setFrameStyle(QFrame::NoFrame);
  note->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  note->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  note->setStyleSheet(QStringLiteral("background: white; color: #1e1e1e;"));
  note->setTextInteractionFlags(Qt::NoTextInteraction);
  note->setFocusPolicy(Qt::NoFocus);
  const QFontMetrics metrics(note->font());
  note->setMinimumSize(metrics.horizontalAdvance(QStringLiteral(
                           "interest of customer support and to ensure that our product meets our ")) + 16,
                       metrics.lineSpacing() * 10 + 16);
  column->addWidget(note, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  m_ok = new QPushButton(QStringLiteral("OK"), frame);
  m_ok->setObjectName(QStringLiteral("pb_Ok"));
  m_ok->setDefault(true);
  m_quit = new QPushButton(QStringLiteral("Quit"), frame);
  m_quit->setObjectName(QStringLiteral("pb_Quit"));
  buttons->addWidget(m_ok);
  buttons->addWidget(m_quit);
  column->addLayout(buttons);
  row->addLayout(column, 1);

  connect(m_ok, &QPushButton::clicked, this, [this] { done(kResultOk); });
  connect(m_quit, &QPushButton::clicked, this, [this] { done(kResultQuit); });
  m_ok->setFocus();
}

void Tfrm_Splash::SetImage(const QPixmap& picture) { m_image->setPixmap(picture); }

void Tfrm_Splash::reject() { done(kResultQuit); }

}  // namespace widgets
