#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// The status-bar item that shows a long open: "Opening “NAME”…", a bar of
// the part read, and a Cancel button. Hidden until ShowLoad.
//
// Made and owned by the main frame's status bar; CSceneOpener fills it.
// Emits cancelRequested when Cancel is clicked.
class COpenProgress : public QWidget {
    Q_OBJECT

public:
    explicit COpenProgress(QWidget* parent = nullptr);

    // Shows the load of the file `path` with `permille` of it read; a
    // negative `permille` for a file whose size is unknown.
    void ShowLoad(const QString& path, int permille);
    QString Text() const;
    QPushButton* CancelButton() const { return m_cancel; }

signals:
    void cancelRequested();

private:
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
};
