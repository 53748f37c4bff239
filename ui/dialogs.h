#pragma once
#include <QString>
#include <QStringList>

class QWidget;

namespace ravik {

// The modal boxes and the file chooser a window uses, behind an interface so tests can answer
// them.
class Dialogs {
public:
    enum class Icon { None, Exclamation };
    virtual ~Dialogs() = default;
    // A modal message box with an OK button. `detail` (may be empty) is extra text an operator
    // can unfold, e.g. which line of a file failed.
    virtual void message(const QString& text, const QString& title, Icon icon,
                         const QString& detail = {}) = 0;
    // An open-file dialog for existing files; an empty name when cancelled.
    virtual QString chooseFile(const QStringList& filters) = 0;
};

// The real thing, over QMessageBox and QFileDialog.
class WidgetDialogs : public Dialogs {
public:
    explicit WidgetDialogs(QWidget* parent) : parent_(parent) {}
    void message(const QString& text, const QString& title, Icon icon,
                 const QString& detail) override;
    QString chooseFile(const QStringList& filters) override;
    void setParent(QWidget* parent) { parent_ = parent; }

private:
    QWidget* parent_;
};

} // namespace ravik
