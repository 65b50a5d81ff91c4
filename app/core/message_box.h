// The program's message boxes: the icon says what kind of box it is (a question mark on a
// question, the information sign on a notice, the error sign on a failure) and the buttons carry
// plain text, as the settings sheet's do: a desktop without an icon theme otherwise gives them
// stock pictures that read wrongly (a green arrow on OK).
#pragma once

#include <QMessageBox>

namespace messagebox {

// A box ready to show or exec; the caller owns it (parent it or delete it).
QMessageBox* make(QMessageBox::Icon icon, const QString& caption, const QString& text,
                  QMessageBox::StandardButtons buttons, QWidget* parent);
// A question with Yes and No, run modally: true for Yes.
bool askYesNo(QWidget* parent, const QString& caption, const QString& question,
              QMessageBox::Icon icon = QMessageBox::Question);
// A notice with OK, run modally.
void tell(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text);

} // namespace messagebox
