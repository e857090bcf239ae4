#include "dialogs/choosecolor.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QPushButton>
#include <QRadioButton>

namespace {

// Indices of the radio buttons in their group; they are the colour modes
// they stand for (0 listed colour, 1 user-defined colour).
constexpr int kModeList = 0;
constexpr int kModeUser = 1;

// User-defined colours are packed as red in bits 0-7, green 8-15, blue 16-23.
int PackRgb(const QColor& colour)
{
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

bool IsRgb(int value)
{
    return value >= 0 && value <= 0xFFFFFF;
}

QColor UnpackRgb(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

} // namespace

CChooseColor::CChooseColor(QWidget* parent)
    // A modal dialog frame: title bar and close box, no minimise or maximise box.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Dialog"));
    setObjectName(QStringLiteral("IDD_CHOOSE_COLOUR"));

    // Created in tab order: Qt's focus chain follows creation order.
    m_wndOk = new QPushButton(QStringLiteral("OK"), this);
    m_wndOk->setObjectName(QStringLiteral("IDOK"));
    m_wndOk->setDefault(true);
    m_wndCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_wndCancel->setObjectName(QStringLiteral("IDCANCEL"));
    m_wndRadioList = new QRadioButton(QStringLiteral("Colour from the list"), this);
    m_wndRadioList->setObjectName(QStringLiteral("IDC_RADIO_LIST"));
    m_wndRadioUser = new QRadioButton(QStringLiteral("User-defined colour"), this);
    m_wndRadioUser->setObjectName(QStringLiteral("IDC_RADIO_USER"));
    m_cbColours = new QComboBox(this);
    m_cbColours->setObjectName(QStringLiteral("IDC_COLOUR_COMBO"));
    m_wndChooseColour = new QPushButton(QStringLiteral("Choose colour"), this);
    m_wndChooseColour->setObjectName(QStringLiteral("IDC_CHOOSE_COLOUR"));

    // The radio buttons form one group whose ids are the colour modes.
    m_wndModeGroup = new QButtonGroup(this);
    m_wndModeGroup->addButton(m_wndRadioList, kModeList);
    m_wndModeGroup->addButton(m_wndRadioUser, kModeUser);

    // Not sorted: the indices are the listed colours red, green and blue.
    m_cbColours->addItems({QStringLiteral("Czerwony"), QStringLiteral("Zielony"),
                           QStringLiteral("Niebieski")});

    connect(m_wndOk, &QPushButton::clicked, this, &CChooseColor::accept);
    connect(m_wndCancel, &QPushButton::clicked, this, &CChooseColor::reject);
    connect(m_wndRadioList, &QRadioButton::clicked, this, &CChooseColor::OnListColourClicked);
    connect(m_wndRadioUser, &QRadioButton::clicked, this, &CChooseColor::OnUserColourClicked);
    connect(m_wndChooseColour, &QPushButton::clicked, this, &CChooseColor::OnChooseColour);

    LayoutControls();
}

int CChooseColor::DoModal()
{
    return exec();
}

void CChooseColor::setVisible(bool visible)
{
    if (visible && !isVisible())
        OnInitDialog();
    QDialog::setVisible(visible);
}

void CChooseColor::OnInitDialog()
{
    DoDataExchange(false);
    const bool validIndex = m_nWorkingColour >= 0 && m_nWorkingColour < m_cbColours->count();
    m_cbColours->setCurrentIndex(m_nWorkingMode == kModeList && validIndex ? m_nWorkingColour : -1);
    m_wndOk->setFocus();
}

// Loading copies the public members into the working state and the controls;
// storing reads the controls into the working state and publishes it.
void CChooseColor::DoDataExchange(bool storing)
{
    if (!storing) {
        m_nWorkingMode = m_nColourMode;
        m_nWorkingColour = m_nColour;
        m_bWorkingColourIsRgb = m_nColourMode == kModeUser;
    }

    // The enabled states follow the mode the radio handlers last set, which
    // matches the checked button.
    UpdateControlStates();

    if (storing) {
        m_nWorkingMode = m_wndModeGroup->checkedId();
        if (m_nWorkingMode == kModeList)
            m_nWorkingColour = m_cbColours->currentIndex();
        m_nColourMode = m_nWorkingMode;
        m_nColour = m_nWorkingColour;
    } else {
        // An exclusive group cannot clear its checked button, so a mode that
        // names neither button is shown with exclusivity lifted for a moment.
        m_wndModeGroup->setExclusive(false);
        m_wndRadioList->setChecked(m_nWorkingMode == kModeList);
        m_wndRadioUser->setChecked(m_nWorkingMode == kModeUser);
        m_wndModeGroup->setExclusive(true);
    }
}

void CChooseColor::accept()
{
    DoDataExchange(true);
    QDialog::accept();
}

void CChooseColor::OnListColourClicked()
{
    m_nWorkingMode = kModeList;
    UpdateControlStates();
}

void CChooseColor::OnUserColourClicked()
{
    m_nWorkingMode = kModeUser;
    UpdateControlStates();
}

// Runs the colour picker, starting from the held colour when it is an RGB
// value and from black otherwise. Only an accepted pick changes the colour.
void CChooseColor::OnChooseColour()
{
    const bool startFromHeld = m_bWorkingColourIsRgb && IsRgb(m_nWorkingColour);
    QColorDialog picker(startFromHeld ? UnpackRgb(m_nWorkingColour) : QColor(Qt::black), this);
    picker.setObjectName(QStringLiteral("colourPicker"));
    if (picker.exec() != QDialog::Accepted)
        return;
    m_nWorkingColour = PackRgb(picker.selectedColor());
    m_bWorkingColourIsRgb = true;
}

void CChooseColor::UpdateControlStates()
{
    m_wndChooseColour->setEnabled(m_nWorkingMode != kModeList);
    m_cbColours->setEnabled(m_nWorkingMode == kModeList);
}

// Places the controls at their dialog-unit positions for the current font;
// the dialog is 250 x 78 units and cannot be resized. As Windows converts
// them: a horizontal unit is a quarter of the font's average character width
// (the rounded mean width of the 52 Latin letters), a vertical unit an
// eighth of its height, each rounded to the nearest pixel.
void CChooseColor::LayoutControls()
{
    const QFontMetrics metrics(font());
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const auto x = [base = (letters / 26 + 1) / 2](int units) { return (units * base + 2) / 4; };
    const auto y = [base = metrics.height()](int units) { return (units * base + 4) / 8; };
    const auto rect = [&](int left, int top, int width, int height) {
        return QRect(x(left), y(top), x(width), y(height));
    };
    setFixedSize(x(250), y(78));
    m_wndOk->setGeometry(rect(18, 54, 50, 16));
    m_wndCancel->setGeometry(rect(72, 54, 50, 16));
    m_wndRadioList->setGeometry(rect(18, 12, 92, 12));
    m_wndRadioUser->setGeometry(rect(18, 30, 94, 12));
    // A drop-down list takes its closed height from the font and style.
    m_cbColours->setGeometry(x(130), y(14), x(113), m_cbColours->sizeHint().height());
    m_wndChooseColour->setGeometry(rect(135, 32, 108, 18));
}

void CChooseColor::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        LayoutControls();
}
