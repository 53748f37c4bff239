#pragma once
#include "dialogs.h"
#include <QStringList>
#include <vector>

// Answers the windows' dialogs in tests: records every message box, returns queued file names.
struct FakeDialogs : ravik::Dialogs {
    struct Shown {
        QString text, title;
        Icon icon;
        QString detail;
    };
    std::vector<Shown> shown;
    QStringList files; // returned by chooseFile in order; empty name when none left
    QStringList lastFilters;

    void message(const QString& text, const QString& title, Icon icon,
                 const QString& detail) override {
        shown.push_back({text, title, icon, detail});
    }
    QString chooseFile(const QStringList& filters) override {
        lastFilters = filters;
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    // The boxes shown so far: each text, then its title and any detail in brackets.
    QString said() const {
        QString s;
        for (const Shown& m : shown)
            s += m.text + " [" + m.title + (m.detail.isEmpty() ? "" : ": " + m.detail) + "] ";
        return s;
    }
};
