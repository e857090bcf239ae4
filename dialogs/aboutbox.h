#pragma once

#include <QDialog>

// The about box: the application's window icon, "tesk Version 1.0" and OK.
// Run modally by the application's About command; owns only its widgets.
class CAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit CAboutBox(QWidget* parent = nullptr);
};
