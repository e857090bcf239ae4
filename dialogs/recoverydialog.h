#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <cstddef>
#include <vector>

// Lists the scenes whose unsaved changes recovery journals can give back
// (file name or "Untitled", when last changed, how many changes) and asks
// what to do with all of them: Recover, Discard or Later. Closing the
// dialog counts as Later: nothing is lost by it.
class CRecoveryDialog : public QDialog {
    Q_OBJECT

public:
    enum Choice { Recover, Discard, Later };
    struct Entry {
        QString name;
        QDateTime lastChange;
        std::size_t changes;
    };

    CRecoveryDialog(const std::vector<Entry>& entries, QWidget* parent = nullptr);

    Choice choice() const { return m_choice; }

private:
    Choice m_choice = Later;
};
