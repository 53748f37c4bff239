#include "dialogs.h"
#include <QFileDialog>
#include <QMessageBox>

namespace ravik {

void WidgetDialogs::message(const QString& text, const QString& title, Icon icon,
                            const QString& detail) {
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    text, QMessageBox::Ok, parent_);
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    box.exec();
}

QString WidgetDialogs::chooseFile(const QStringList& filters) {
    QFileDialog dialog(parent_);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace ravik
