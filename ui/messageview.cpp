#include "messageview.h"
#include "messagetext.h"
#include <QPlainTextEdit>
#include <QScrollBar>

namespace ravik {

void bindMessageView(MessageText& text, QPlainTextEdit& view) {
    view.setPlainText(MessageText::displayForm(text.text(), false));
    QObject::connect(&text, &MessageText::replaced, &view,
                     [&view](const QString& display) { view.setPlainText(display); });
    QObject::connect(&text, &MessageText::appended, &view, [&view](const QString& display) {
        QTextCursor cursor(view.document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(display);
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    });
}

} // namespace ravik
