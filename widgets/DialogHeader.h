#pragma once
// THeaderStrip: the blue strip with the logo and the product name that tops
// the main window and the loading notice. Children (links) may be laid on it.

#include <QLabel>
#include <QWidget>

namespace widgets {

class THeaderStrip : public QWidget {
  Q_OBJECT
 public:
  THeaderStrip(const QString& title, int pointSize, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_title;
  int m_pointSize;
};

// A dialog border: title and close button only, no minimise or maximise.
void SetDialogBorder(QWidget& dialog);

// The fixed look of a white, hand-cursor link label on the header.
void MakeHeaderLink(QLabel& label, const QColor& colour);

}  // namespace widgets
