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
// close box) leaves them exactly as the caller set them. While the dialog
// runs, the radio buttons and the picker change only a working copy of the
// two values. The dialog owns its controls (as Qt children) and knows
// nothing of objects or documents.
class CChooseColor : public QDialog {
    Q_OBJECT

public:
    explicit CChooseColor(QWidget* parent = nullptr);

    // Runs the dialog modally; returns QDialog::Accepted or QDialog::Rejected.
    int DoModal();

    // OK: stores the dialog's state into the two members, then closes.
    void accept() override;
    // Showing the dialog, however it is run (DoModal, exec, open, show),
    // loads the two members into the controls afresh.
    void setVisible(bool visible) override;

    int m_nColourMode = 0;
    int m_nColour = 0;

protected:
    void changeEvent(QEvent* event) override;

private:
    void OnInitDialog();
    void DoDataExchange(bool storing);
    void OnListColourClicked();
    void OnUserColourClicked();
    void OnChooseColour();

    void UpdateControlStates();
    void LayoutControls();

    QPushButton* m_wndOk = nullptr;
    QPushButton* m_wndCancel = nullptr;
    QRadioButton* m_wndRadioList = nullptr;
    QRadioButton* m_wndRadioUser = nullptr;
    QButtonGroup* m_wndModeGroup = nullptr;
    QComboBox* m_cbColours = nullptr;
    QPushButton* m_wndChooseColour = nullptr;

    // Working copy of the two public members while the dialog runs.
    int m_nWorkingMode = 0;
    int m_nWorkingColour = 0;
    // Whether m_nWorkingColour holds an RGB value (it came in as a
    // user-defined colour or the picker set it), so the picker starts there.
    bool m_bWorkingColourIsRgb = false;
};
