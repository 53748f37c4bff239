#pragma once
#include "formbuilder.h"
#include "qtapp.h"
#include <QFontDatabase>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <span>

// Nothing a frame draws, its line or its caption, falls inside a control it holds: the frame is
// drawn alone, at twice the size as on a high-density screen, and each control's place must be
// bare background (the colour most of the frame has).
inline void CheckFramesClearTheirControls(QWidget& form) {
    for (auto* frame : form.findChildren<QGroupBox*>()) {
        QImage image(frame->size() * 2, QImage::Format_RGB32);
        image.setDevicePixelRatio(2);
        frame->render(&image, {}, {}, QWidget::DrawWindowBackground);
        std::map<QRgb, int> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ++colours[image.pixel(x, y)];
        const QRgb background =
            std::max_element(colours.begin(), colours.end(), [](auto a, auto b) {
                return a.second < b.second;
            })->first;
        for (auto* w : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect r(w->geometry().topLeft() * 2, w->geometry().size() * 2);
            int crossed = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    crossed += image.pixel(x, y) != background;
            EXPECT_EQ(crossed, 0) << frame->objectName().toStdString() << " crosses "
                                  << w->objectName().toStdString();
        }
    }
}

// Every caption fits its control in the font it is drawn in: a button's within its contents,
// wrapped at spaces; a label's and a frame's on one line.
inline void CheckCaptionsFit(QWidget& form) {
    for (auto* w : form.findChildren<QWidget*>()) {
        SCOPED_TRACE(w->objectName().toStdString() + " in " + w->font().family().toStdString());
        const QFontMetrics metrics(w->font());
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            const QRect area = button->style()
                                   ->subElementRect(QStyle::SE_PushButtonContents, &option, button)
                                   .adjusted(2, 0, -2, 0);
            EXPECT_TRUE(area.contains(
                metrics.boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, button->text())));
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
        } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            EXPECT_LE(metrics.horizontalAdvance(frame->title()) + 12, frame->width());
        }
    }
}

// The font the windows choose (empty), then those of a Debian desktop that are installed.
inline QStringList FontsToTry() {
    TestApp(); // the font database needs it
    QStringList families{QString()};
    for (const char* family : {"Liberation Sans", "DejaVu Sans", "Noto Sans"})
        if (QFontDatabase::hasFamily(family))
            families << family;
    return families;
}

// Checks the real widgets of a window against its layout table: kind, caption (a text box's
// first text), geometry in pixels (15 twips each), the frame that holds each control, font size,
// colour, scroll bars and the tab order; and the window's caption and client size.
inline void CheckLayout(QWidget& form, std::span<const ravik::ControlRow> rows) {
    using K = ravik::ControlKind;
    EXPECT_EQ(form.windowTitle(), "Data Uploader and Rotor Handler");
    EXPECT_EQ(form.size(), QSize(425, 335)); // 6375 x 5025 twips
    const char* classes[] = {"QPushButton",    "QLineEdit", "QPlainTextEdit",
                             "QPlainTextEdit", "QLabel",    "QGroupBox"};
    QWidget* previous = nullptr;
    for (const ravik::ControlRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto* w = form.findChild<QWidget*>(row.name);
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->inherits(classes[int(row.kind)]));
        if (auto* box = qobject_cast<QPlainTextEdit*>(w)) {
            EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            EXPECT_EQ(box->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn,
                      row.kind == K::MultiLineBoth);
        } else {
            EXPECT_EQ(w->property(row.kind == K::Frame ? "title" : "text").toString(), row.caption);
        }
        EXPECT_EQ(w->geometry(),
                  QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15));
        EXPECT_EQ(w->parentWidget()->objectName(), row.frame ? row.frame : form.objectName());
        // A caption too wide in the installed font is drawn a little smaller.
        const double points = row.fontPoints ? row.fontPoints : ravik::DefaultFontPoints;
        EXPECT_LE(w->font().pointSizeF(), points);
        EXPECT_GE(w->font().pointSizeF(), points * 0.75);
        EXPECT_EQ(w->palette().color(QPalette::WindowText),
                  row.textColour ? QColor(row.textColour)
                                 : form.palette().color(QPalette::WindowText));
        // What a screen reader says: a button its caption, an entry box the label it is the
        // buddy of, the message box a name of its own.
        if (row.kind == K::Button) {
            EXPECT_EQ(w->accessibleName(), row.caption);
        }
        if (row.kind == K::TextBox) {
            const auto labels = form.findChildren<QLabel*>();
            const auto buddy = std::find_if(labels.begin(), labels.end(),
                                            [w](QLabel* l) { return l->buddy() == w; });
            ASSERT_NE(buddy, labels.end());
            EXPECT_EQ(w->accessibleName(), (*buddy)->text());
        }
        if (qobject_cast<QPlainTextEdit*>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty());
        }
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        QWidget* next = previous ? previous->nextInFocusChain() : w;
        while (next && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, w) << "after " << previous->objectName().toStdString();
        previous = w;
    }
    CheckFramesClearTheirControls(form);
    CheckCaptionsFit(form);
}
