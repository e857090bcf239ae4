#include "view/objectpopupmenu.h"

#include "document/commands.h"
#include "framework/gui/mdiframewnd.h"

#include <QMenu>

QMenu* createObjectPopupMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const struct {
        const char16_t* text;
        int id;
    } items[] = {
        {u"Dodaj", ID_OBJECT_ADD},
        {u"Usuń", ID_OBJECT_DELETE},
        {u"Edytuj", ID_OBJECT_EDIT},
    };
    for (const auto& item : items) {
        QAction* action = menu->addAction(QString::fromUtf16(item.text));
        action->setData(item.id);
        QObject::connect(action, &QAction::triggered, menu, [id = item.id] {
            if (fw::MdiFrameWnd* main = fw::MdiFrameWnd::mainFrame())
                main->OnCommand(id);
        });
    }
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
        fw::MdiFrameWnd* main = fw::MdiFrameWnd::mainFrame();
        for (QAction* action : menu->actions())
            action->setEnabled(main && main->CommandState(action->data().toInt()).enabled);
    });
    return menu;
}
