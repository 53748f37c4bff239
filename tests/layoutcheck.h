#pragma once
#include "qtapp.h"
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>
#include <map>

// A control as an operator measures it on the screen: kind (Button, Entry, Label, Frame, message
// box with Both scroll bars or a Vertical one), caption or first text, place and size in pixels
// within the window's client area, font size in points and text colour (0: the window's).
struct Measured {
    const char* name;
    char kind;
    const char* caption;
    int x, y, w, h;
    int points = 8;
    QRgb colour = 0;
};

// The font the windows choose (empty), and those a Debian desktop may have instead; one that is
// not installed stands for the choice again.
inline const char* const FontsToTry[] = {"", "Liberation Sans", "DejaVu Sans", "Noto Sans"};

// The window as measured, `controls` in tab order; what a screen reader says of each; every
// caption fits its control in the font it is drawn in (a button's wrapped at spaces); and nothing
// a frame draws falls inside a control it holds.
inline void CheckWindow(QWidget& form, std::initializer_list<Measured> controls) {
    EXPECT_EQ(form.windowTitle(), "Data Uploader and Rotor Handler");
    EXPECT_EQ(form.size(), QSize(425, 335));
    const std::map<char, const char*> classes{{'B', "QPushButton"},    {'E', "QLineEdit"},
                                              {'L', "QLabel"},         {'F', "QGroupBox"},
                                              {'M', "QPlainTextEdit"}, {'V', "QPlainTextEdit"}};
    QWidget* previous = nullptr;
    for (const Measured& c : controls) {
        SCOPED_TRACE(c.name);
        auto* w = form.findChild<QWidget*>(c.name);
        ASSERT_TRUE(w && w->inherits(classes.at(c.kind)));
        const auto* box = qobject_cast<QPlainTextEdit*>(w);
        EXPECT_EQ(w->property(box             ? "plainText"
                              : c.kind == 'F' ? "title"
                                              : "text")
                      .toString(),
                  c.caption);
        EXPECT_EQ(QRect(w->mapTo(&form, QPoint()), w->size()), QRect(c.x, c.y, c.w, c.h));
        // A caption too wide in the installed font is drawn a little smaller.
        EXPECT_LE(w->font().pointSizeF(), c.points);
        EXPECT_GE(w->font().pointSizeF(), c.points * 0.75);
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
        } else if (c.kind == 'F') {
            EXPECT_LE(metrics.horizontalAdvance(c.caption) + 12, c.w);
        } else if (c.kind == 'L') {
            EXPECT_LE(metrics.horizontalAdvance(c.caption), c.w);
        } else if (box) {
            EXPECT_FALSE(w->accessibleName().isEmpty());
            EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            EXPECT_EQ(box->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn, c.kind == 'M');
        } else { // an entry box is named by the label it is the buddy of
            const auto labels = form.findChildren<QLabel*>();
            const auto buddy = std::find_if(labels.begin(), labels.end(),
                                            [w](QLabel* l) { return l->buddy() == w; });
            ASSERT_NE(buddy, labels.end());
            EXPECT_EQ(w->accessibleName(), (*buddy)->text());
        }
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        QWidget* next = previous ? previous->nextInFocusChain() : w;
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, w);
        previous = w;
    }
    // Each frame drawn alone (its controls left out) at twice the size, as on a high-density
    // screen: the place of each control it holds is bare window background.
    for (auto* frame : form.findChildren<QGroupBox*>()) {
        QImage image(frame->size() * 2, QImage::Format_RGB32);
        image.setDevicePixelRatio(2);
        frame->render(&image, {}, {}, QWidget::DrawWindowBackground);
        for (auto* w : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect r(w->geometry().topLeft() * 2, w->geometry().size() * 2);
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    ASSERT_EQ(image.pixel(x, y), frame->palette().color(QPalette::Window).rgb())
                        << frame->objectName().toStdString() << " crosses "
                        << w->objectName().toStdString();
        }
    }
}
