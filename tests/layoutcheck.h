#pragma once
#include "qtapp.h"
#include <QtWidgets>
#include <gtest/gtest.h>

// A control as an operator measures it on the screen: caption or first text, place and size in
// pixels within the window's client area, kind (Button, Entry, Label, Frame, message box with Both
// scroll bars or a Vertical one), font size in points and text colour (0: the window's).
struct Measured {
    const char *name, *caption;
    int x, y, w, h;
    char kind = 'B';
    int points = 8;
    QRgb colour = 0;
};

// The font the windows choose (empty), and those a Debian desktop may have instead; one that is
// not installed stands for the choice again.
inline const char* const FontsToTry[] = {"", "Liberation Sans", "DejaVu Sans", "Noto Sans"};

// The window as measured, `controls` in tab order; what a screen reader says of
// each; every caption fits its control in the font it is drawn in (a button's
// wrapped at spaces); and nothing a frame draws falls inside a control it
// holds.
inline void CheckWindow(const QWidget& form, std::initializer_list<Measured> controls) {
    EXPECT_EQ(form.windowTitle(), "Data Uploader and Rotor Handler");
    EXPECT_EQ(form.size(), QSize(425, 335));
    QWidget* previous = nullptr;
    for (const Measured& c : controls) {
        SCOPED_TRACE(c.name);
        auto* w = form.findChild<QWidget*>(c.name);
        const int kind = QByteArray("BELFMV").indexOf(c.kind);
        const char* classes[] = {"PushButton", "LineEdit", "Label", "GroupBox", "PlainTextEdit"};
        ASSERT_TRUE(w && w->inherits("Q" + QByteArray(classes[std::min(kind, 4)])));
        const char* property = kind >= 4 ? "plainText" : kind == 3 ? "title" : "text";
        EXPECT_EQ(w->property(property).toString(), c.caption);
        EXPECT_EQ(QRect(w->mapTo(&form, QPoint()), w->size()), QRect(c.x, c.y, c.w, c.h));
        // A caption too wide in the installed font is drawn a little smaller.
        EXPECT_NEAR(w->font().pointSizeF(), c.points * 0.875, c.points * 0.125);
        EXPECT_EQ(w->palette().color(QPalette::WindowText),
                  c.colour ? QColor(c.colour) : form.palette().color(QPalette::WindowText));
        const QFontMetrics metrics(w->font());
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            EXPECT_EQ(w->accessibleName(), c.caption);
            QStyleOptionButton option;
            option.initFrom(button);
            const QRect area = button->style()
                                   ->subElementRect(QStyle::SE_PushButtonContents, &option, button)
                                   .adjusted(2, 0, -2, 0);
            EXPECT_TRUE(area.contains(
                metrics.boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, c.caption)));
        } else if (auto* box = qobject_cast<QPlainTextEdit*>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty());
            EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            EXPECT_EQ(box->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn, c.kind == 'M');
        } else if (kind == 1) { // an entry box is named by the label it is the buddy of
            const auto labels = form.findChildren<QLabel*>();
            EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [w](QLabel* l) {
                return l->buddy() == w && w->accessibleName() == l->text();
            }));
        } else { // a frame's title also clears its corner
            EXPECT_LE(metrics.horizontalAdvance(c.caption) + (kind == 3 ? 12 : 0), c.w);
        }
        if (w->focusPolicy() & Qt::TabFocus) {
            QWidget* next = previous ? previous->nextInFocusChain() : w;
            while (!(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();
            EXPECT_EQ(next, w);
            previous = w;
        }
    }
    // Each frame drawn alone (its controls left out) at twice the size, as on a
    // high-density screen: the place of each control it holds is bare window
    // background.
    for (auto* frame : form.findChildren<QGroupBox*>()) {
        QImage image(frame->size() * 2, QImage::Format_RGB32);
        image.setDevicePixelRatio(2);
        frame->render(&image, {}, {}, QWidget::DrawWindowBackground);
        for (auto* w : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QImage place = image.copy({w->pos() * 2, w->size() * 2}), bare = place;
            bare.fill(frame->palette().color(QPalette::Window));
            EXPECT_TRUE(place == bare) << frame->objectName().toStdString() << " crosses "
                                       << w->objectName().toStdString();
        }
    }
}
