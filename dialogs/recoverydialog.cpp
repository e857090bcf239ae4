#include "dialogs/recoverydialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

CRecoveryDialog::CRecoveryDialog(const std::vector<Entry>& entries, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Recover Unsaved Changes"));
    auto* text = new QLabel(QStringLiteral("These scenes have changes that were not saved when tesk last ended:"), this);
    text->setWordWrap(true);

    auto* list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("recoveryList"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("Scene"), QStringLiteral("Last changed"), QStringLiteral("Changes")});
    for (const Entry& entry : entries) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(0, entry.name);
        item->setText(1, QLocale().toString(entry.lastChange, QLocale::ShortFormat));
        item->setText(2, QString::number(entry.changes));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* buttons = new QDialogButtonBox(this);
    const std::pair<const char*, Choice> choices[] = {{"&Recover", Recover}, {"&Discard", Discard}, {"&Later", Later}};
    for (const auto& [caption, choice] : choices) {
        QPushButton* button = buttons->addButton(QString::fromLatin1(caption),
                                                 choice == Recover ? QDialogButtonBox::AcceptRole
                                                 : choice == Discard ? QDialogButtonBox::DestructiveRole
                                                                     : QDialogButtonBox::RejectRole);
        button->setDefault(choice == Recover);
        connect(button, &QPushButton::clicked, this, [this, choice = choice] {
            m_choice = choice;
            done(choice == Later ? QDialog::Rejected : QDialog::Accepted);
        });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(list);
    layout->addWidget(buttons);
    resize(520, 260);
}
