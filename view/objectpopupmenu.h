#pragma once

class QMenu;
class QWidget;

// Builds the tree's context menu: "Dodaj" (ID_OBJECT_ADD), "Usuń"
// (ID_OBJECT_DELETE) and "Edytuj" (ID_OBJECT_EDIT). Each action carries its
// command id in data(). Right before the menu shows, every action takes its
// enabled state from the main frame's command route; a chosen action runs
// its command along that route, so it reaches the active view like a menu
// command. Without a main frame every action stays disabled.
// The menu is a child of `parent`; the caller deletes it after use.
QMenu* createObjectPopupMenu(QWidget* parent);
