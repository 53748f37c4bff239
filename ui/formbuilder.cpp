#include "formbuilder.h"
#include "controllerlink.h"
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <cstdio>

namespace ravik {

namespace {

// A push button whose caption wraps onto several lines when it is wider than the button, as
// the tall "Send an ephemeris to the controller" button needs; text() stays the exact caption.
class WrappingButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    bool captionFits() const {
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect area = captionArea(option);
        return area.contains(fontMetrics().boundingRect(area, CaptionFlags, text()));
    }

protected:
    // Return and Enter press a focused button, as Space does: the way operators are used to.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            click();
        else
            QPushButton::keyPressEvent(event);
    }

    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::ButtonText));
        painter.drawText(captionArea(option), CaptionFlags, caption);
    }

private:
    static constexpr int CaptionFlags = Qt::AlignCenter | Qt::TextWordWrap;
    QRect captionArea(const QStyleOptionButton& option) const {
        return style()
            ->subElementRect(QStyle::SE_PushButtonContents, &option, this)
            .adjusted(2, 0, -2, 0);
    }
};

// A frame as operators know it: its line runs through the middle of the caption's height at the
// frame's top edge, with the caption standing on it, so the controls placed inside stay clear
// of both. Drawn here rather than by the style, whose group boxes put the line below the
// caption, through the first row of controls, and differ from style to style.
class Frame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;
    static constexpr int CaptionLeft = 6; // pixels from the left edge, padding included
    static constexpr int CaptionPadding = 2;

    bool captionFits() const {
        // The same margin on the right as on the left.
        return 2 * (CaptionLeft + CaptionPadding) + fontMetrics().horizontalAdvance(title()) <=
               width();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect box = rect().adjusted(0, metrics.height() / 2, -1, -1);
        // Etched: a shadow line with a light one just inside it.
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(box.adjusted(1, 1, 0, 0));
        if (title().isEmpty())
            return;
        const QRect caption(CaptionLeft, 0, metrics.horizontalAdvance(title()) + 2 * CaptionPadding,
                            metrics.height());
        painter.fillRect(caption, palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }
};

int toPixels(int twips) {
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

QWidget* makeControl(const ControlRow& row, QWidget* parent) {
    const QString caption = QString::fromLatin1(row.caption);
    switch (row.kind) {
    case ControlKind::Button: {
        auto* button = new WrappingButton(caption, parent);
        button->setAccessibleName(caption);
        return button;
    }
    case ControlKind::TextBox:
        return new QLineEdit(caption, parent);
    case ControlKind::MultiLineBoth:
    case ControlKind::MultiLineVertical: {
        auto* box = new QPlainTextEdit(parent);
        box->setPlainText(caption);
        box->setReadOnly(true); // the programs write it; operators read and copy from it
        box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        if (row.kind == ControlKind::MultiLineBoth) {
            box->setLineWrapMode(QPlainTextEdit::NoWrap);
            box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        }
        return box;
    }
    case ControlKind::Label: {
        auto* label = new QLabel(caption, parent);
        label->setAlignment((row.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        return label;
    }
    case ControlKind::Frame:
        return new Frame(caption, parent);
    }
    return nullptr;
}

bool captionFits(const QWidget& w) {
    if (auto* button = dynamic_cast<const WrappingButton*>(&w))
        return button->captionFits();
    if (auto* frame = dynamic_cast<const Frame*>(&w))
        return frame->captionFits();
    if (auto* label = qobject_cast<const QLabel*>(&w))
        return label->fontMetrics().horizontalAdvance(label->text()) <= label->width();
    return true;
}

// The places and sizes are those of MS Sans Serif; a wider font (DejaVu Sans, Noto Sans) would
// clip captions, so each control's font is made a little smaller until its caption fits.
void fitCaption(QWidget& w) {
    QFont font = w.font();
    const qreal smallest = font.pointSizeF() * 0.75;
    while (!captionFits(w) && font.pointSizeF() - 0.25 >= smallest) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
        w.setFont(font);
    }
}

} // namespace

QString formFamily(const QString& preferred) {
    static const QStringList installed = QFontDatabase::families();
    if (installed.contains(preferred))
        return preferred;
    // MS Sans Serif where it exists; otherwise a sans serif of similar width, so captions sized
    // for it need least shrinking; otherwise the platform's own.
    for (const char* name : {"MS Sans Serif", "Liberation Sans", "Arial", "Helvetica"})
        if (installed.contains(QString::fromLatin1(name)))
            return QString::fromLatin1(name);
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QFont formFont(int points, const QString& family) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setPointSize(points);
    return font;
}

void buildForm(QWidget& form, std::span<const ControlRow> rows, int clientWidthTwips,
               int clientHeightTwips, const QString& family) {
    const QString chosen = formFamily(family);
    form.setFixedSize(toPixels(clientWidthTwips), toPixels(clientHeightTwips));
    form.setFont(formFont(DefaultFontPoints, chosen));
    QWidget* previous = nullptr;
    for (const ControlRow& row : rows) {
        QWidget* parent = &form;
        if (row.frame)
            parent = form.findChild<QWidget*>(QString::fromLatin1(row.frame));
        Q_ASSERT(parent);
        QWidget* w = makeControl(row, parent);
        w->setObjectName(QString::fromLatin1(row.name));
        w->setGeometry(toPixels(row.left), toPixels(row.top), toPixels(row.width), toPixels(row.height));
        if (row.fontPoints)
            w->setFont(formFont(row.fontPoints, chosen));
        if (row.textColour) {
            QPalette palette = w->palette();
            palette.setColor(QPalette::WindowText, QColor(row.textColour));
            w->setPalette(palette);
        }
        fitCaption(*w);
        if (w->focusPolicy() != Qt::NoFocus) {
            if (previous)
                QWidget::setTabOrder(previous, w);
            previous = w;
        }
    }
}

void wireCommandButtons(QWidget& form, ControllerLink& link,
                        const std::function<void(Command)>& press) {
    if (auto* status = form.findChild<QPushButton*>(QString::fromLatin1(StatusButtonName)))
        QObject::connect(status, &QPushButton::clicked, &link, &ControllerLink::requestStatus);
    for (const CommandRow& row : CommandTable) {
        const QString name = QString::fromLatin1(row.button.data(), qsizetype(row.button.size()));
        if (auto* button = form.findChild<QPushButton*>(name))
            QObject::connect(button, &QPushButton::clicked, &link,
                             [press, c = row.command] { press(c); });
    }
}

bool haveDisplay(const char* program) {
#if defined(Q_OS_LINUX)
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "%s needs a display. Without one, run it under a virtual display:\n"
                     "  xvfb-run -a %s\n",
                     program, program);
        return false;
    }
#else
    Q_UNUSED(program);
#endif
    return true;
}

} // namespace ravik
