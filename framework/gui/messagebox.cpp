#include "framework/gui/messagebox.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <utility>

namespace fw {

namespace {

// The keyed text for a button of the box, or an empty string for a button
// that is none of the standard ones or Qt's details toggle.
QString keyedText(QMessageBox::StandardButton button, const QString& text)
{
    static const std::pair<QMessageBox::StandardButton, const char*> kKeyed[] = {
        {QMessageBox::Ok, "&OK"},         {QMessageBox::Save, "&Save"}, {QMessageBox::Discard, "&Discard"},
        {QMessageBox::Cancel, "&Cancel"}, {QMessageBox::Yes, "&Yes"},   {QMessageBox::No, "&No"},
    };
    for (const auto& [standard, keyed] : kKeyed) {
        if (button == standard)
            return QString::fromLatin1(keyed);
    }
    // Qt captions its details toggle itself, and again on each toggle.
    if (text == QMessageBox::tr("Show Details..."))
        return QStringLiteral("Show &Details...");
    if (text == QMessageBox::tr("Hide Details..."))
        return QStringLiteral("Hide &Details...");
    return {};
}

} // namespace

void MessageBox::Warn(QWidget* parent, const QString& title, const QString& text)
{
    MessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void MessageBox::showEvent(QShowEvent* event)
{
    // Qt may add its details toggle to the buttons only now.
    QMessageBox::showEvent(event);
    giveAccessKeys();
}

void MessageBox::giveAccessKeys()
{
    for (QAbstractButton* button : buttons()) {
        if (!QKeySequence::mnemonic(button->text()).isEmpty())
            continue;
        const QString keyed = keyedText(standardButton(button), button->text());
        if (keyed.isEmpty())
            continue;
        button->setText(keyed);
        // Qt recaptions the toggle on each click, in a handler connected
        // before this one, so the key is given again after it.
        if (standardButton(button) == QMessageBox::NoButton)
            connect(button, &QAbstractButton::clicked, this, &MessageBox::giveAccessKeys, Qt::UniqueConnection);
    }
}

} // namespace fw
