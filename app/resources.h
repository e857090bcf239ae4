#pragma once

#include <QKeyCombination>
#include <QString>
#include <span>

// The shell's resource tables: the main menu, the toolbar layout, the
// accelerator table and the string table, with tesk's resource identifiers
// and texts. CMainFrame builds its menus, toolbar and keys from
// these; nothing here creates widgets.
namespace res {

inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDR_MAIN = 128;
inline constexpr int IDR_SCENE = 129;

// One menu entry: `caption` uses "&" for the access key and "\t" before the
// key text. A null caption is a separator.
struct MenuItem {
    const char* caption;
    int id;
};

struct Menu {
    const char* caption;
    std::span<const MenuItem> items;
};

// The four menus of IDR_MAIN, in menu-bar order.
std::span<const Menu> mainMenu();

// One toolbar entry: a command and its picture, or a separator (id 0).
struct ToolBarButton {
    int id;
    const char* icon;
};

std::span<const ToolBarButton> toolBar();

struct Accelerator {
    QKeyCombination key;
    int id;
};

// The accelerator table of IDR_MAIN, in its order.
std::span<const Accelerator> accelerators();

// A text of the string table (window titles, "Ready", indicator texts,
// system-menu prompts); empty when the table has none under `id`.
QString loadString(int id);

// The status-bar part of a command's prompt text (before "\n"), and the
// tool-tip part (after it). Both are empty for a command without a prompt.
QString statusPrompt(int id);
QString toolTip(int id);

// The name a screen reader announces for the toolbar button of command
// `id`: its tool tip, or a name of its own for the buttons without one.
QString accessibleName(int id);

// A field of the document template string of IDR_SCENE, in the framework's order.
enum class DocString { WindowTitle, DocName, FileNewName, FilterName, FilterExt, RegFileTypeId, RegFileTypeName };
QString docString(DocString field);

// Resource folders of the application and document icons (see app/iconset.h).
QString appIconPath();
QString docIconPath();

} // namespace res
