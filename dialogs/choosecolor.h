#pragma once

#include <QDialog>

class QButtonGroup;
class QComboBox;
class QPushButton;
class QRadioButton;

// The modal dialog that edits one object's colour: a listed colour picked
// from a drop-down list, or a user-defined RGB colour picked in the system
// colour picker.
//
// The caller sets m_nColourMode and m_nColour, runs DoModal and reads both
// back. OK stores the dialog's state into them; Cancel (button, Escape or
// close box) leaves them exactly as the caller set them.
class CChooseColor : public QDialog {
    Q_OBJECT

public:
    explicit CChooseColor(QWidget* parent = nullptr);

    // Runs the dialog modally; returns QDialog::Accepted or QDialog::Rejected.
    int DoModal();

    int m_nColourMode = 0;
    int m_nColour = 0;
};
