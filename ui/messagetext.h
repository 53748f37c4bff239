#pragma once
#include <QObject>
#include <QString>

namespace ravik {

// The exact content of a window's message box (Latin-1 text with its own CR and LF). Widgets
// only display it; tests read text(). Appending costs the size of the piece; the text keeps a
// bounded tail so a controller that never stops talking cannot exhaust memory.
class MessageText : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype DefaultLimit = 1 << 20;

    explicit MessageText(qsizetype limit = DefaultLimit, QObject* parent = nullptr);

    const QString& text() const { return text_; }
    // Replaces everything shown so far.
    void setText(const QString& text);
    // Adds `piece` after what is shown.
    void append(const QString& piece);

    // Converts the exact text into what a plain-text widget should show: CR LF, lone CR and lone
    // LF each become one "\n". `previousEndedWithCr` tells whether the text before `piece` ended
    // with CR, so a CR LF pair split across two pieces still gives one line break.
    static QString displayForm(const QString& piece, bool previousEndedWithCr);

signals:
    // The whole text was replaced (also after trimming the front).
    void replaced(const QString& display);
    // `display` was added at the end.
    void appended(const QString& display);

private:
    qsizetype limit_;
    QString text_;
};

} // namespace ravik
