#pragma once
#include "dialogs.h"
#include <QStringList>

// Answers the windows' dialogs in tests: records every message box, returns queued file names.
struct FakeDialogs : ravik::Dialogs {
    QString said; // each box's text, then its title and any detail in brackets, "!" when it warns
    QStringList files; // returned by chooseFile in order; empty name when none left

    void message(const QString& text, const QString& title, Icon icon,
                 const QString& detail) override {
        said += text + " [" + title + (detail.isEmpty() ? "" : ": " + detail) + "]" +
                (icon == Icon::Exclamation ? "! " : " ");
    }
    QString chooseFile(const QStringList&) override {
        return files.isEmpty() ? QString() : files.takeFirst();
    }
};
