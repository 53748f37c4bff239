#pragma once
#include "formbuilder.h"
#include <QLabel>
#include <QPlainTextEdit>
#include <gtest/gtest.h>
#include <span>

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
        EXPECT_EQ(w->font().pointSize(),
                  row.fontPoints ? row.fontPoints : ravik::DefaultFontPoints);
        EXPECT_EQ(w->palette().color(QPalette::WindowText),
                  row.textColour ? QColor(row.textColour)
                                 : form.palette().color(QPalette::WindowText));
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        QWidget* next = previous ? previous->nextInFocusChain() : w;
        while (next && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, w) << "after " << previous->objectName().toStdString();
        previous = w;
    }
}
