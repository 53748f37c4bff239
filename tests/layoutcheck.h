#pragma once
#include "formbuilder.h"
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <span>

// Checks the real widgets of a window against its layout table: kind, caption, geometry in
// pixels (15 twips each), the frame that holds each control, and the tab order.
inline void CheckLayout(QWidget& form, std::span<const ravik::ControlRow> rows) {
    using ravik::ControlKind;
    std::vector<QWidget*> focusable;
    for (const ravik::ControlRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(w, nullptr);
        const QString caption = QString::fromLatin1(row.caption);
        switch (row.kind) {
        case ControlKind::Button:
            ASSERT_TRUE(qobject_cast<QPushButton*>(w));
            EXPECT_EQ(qobject_cast<QPushButton*>(w)->text(), caption);
            break;
        case ControlKind::TextBox:
            ASSERT_TRUE(qobject_cast<QLineEdit*>(w));
            break;
        case ControlKind::MultiLineBoth:
        case ControlKind::MultiLineVertical: {
            auto* box = qobject_cast<QPlainTextEdit*>(w);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
            EXPECT_EQ(box->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn,
                      row.kind == ControlKind::MultiLineBoth);
            break;
        }
        case ControlKind::Label:
            ASSERT_TRUE(qobject_cast<QLabel*>(w));
            EXPECT_EQ(qobject_cast<QLabel*>(w)->text(), caption);
            break;
        case ControlKind::Frame:
            ASSERT_TRUE(qobject_cast<QGroupBox*>(w));
            EXPECT_EQ(qobject_cast<QGroupBox*>(w)->title(), caption);
            break;
        }
        EXPECT_EQ(w->geometry(),
                  QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15));
        EXPECT_EQ(w->parentWidget()->objectName(),
                  row.frame ? QString::fromLatin1(row.frame) : form.objectName());
        if (row.fontPoints) {
            EXPECT_EQ(w->font().pointSize(), row.fontPoints);
        }
        if (w->focusPolicy() & Qt::TabFocus)
            focusable.push_back(w);
    }
    EXPECT_EQ(form.size(), QSize(425, 335)); // 6375 x 5025 twips
    for (std::size_t i = 1; i < focusable.size(); ++i) {
        QWidget* next = focusable[i - 1]->nextInFocusChain();
        while (next && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, focusable[i]) << "after " << focusable[i - 1]->objectName().toStdString();
    }
}
