// Message boxes with the icon of their kind and plain text buttons.
#include "message_box.h"

#include <QAbstractButton>
#include <QIcon>

#include <memory>

namespace messagebox {

QMessageBox* make(QMessageBox::Icon icon, const QString& caption, const QString& text,
                  QMessageBox::StandardButtons buttons, QWidget* parent)
{
    auto* box = new QMessageBox(icon, caption, text, buttons, parent);
    for (QAbstractButton* button : box->buttons())
        button->setIcon(QIcon());
    return box;
}

bool askYesNo(QWidget* parent, const QString& caption, const QString& question,
              QMessageBox::Icon icon)
{
    std::unique_ptr<QMessageBox> box(
        make(icon, caption, question, QMessageBox::Yes | QMessageBox::No, parent));
    return box->exec() == QMessageBox::Yes;
}

void tell(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    std::unique_ptr<QMessageBox> box(make(icon, caption, text, QMessageBox::Ok, parent));
    box->exec();
}

} // namespace messagebox
