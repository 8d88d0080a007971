#pragma once
// The panels' blue value labels ("Scanned Drive:  E:"), named for the form's lookups.

#include <QLabel>

namespace wizard {

inline QLabel* ValueLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setStyleSheet(QStringLiteral("color: blue;"));
  return label;
}

}  // namespace wizard
