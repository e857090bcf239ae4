#pragma once

#include <QMessageBox>

namespace fw {

// A message box whose every button answers to an access key (Alt and the
// underlined letter; Qt announces it over the accessibility bus as well).
// When the box is shown, each standard button whose text carries no access
// key yet gets its keyed text ("&Save", "&Discard", "&Cancel", "&OK",
// "&Yes", "&No"), and so does Qt's details toggle ("Show &Details...",
// also after each toggle). A button that the caller adds or captions
// itself carries its own key in its text ("&Overwrite"). Every message box
// of the application is one of these; the caller owns it as any QMessageBox.
class MessageBox : public QMessageBox {
    Q_OBJECT

public:
    using QMessageBox::QMessageBox;

    // A modal warning with an OK button, answered before this returns.
    static void Warn(QWidget* parent, const QString& title, const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void giveAccessKeys();
};

} // namespace fw
