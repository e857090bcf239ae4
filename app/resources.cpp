#include "app/resources.h"

#include "document/commands.h"
#include "framework/core/stdids.h"

#include <array>

namespace res {
namespace {

using namespace fw;

constexpr std::array fileMenu = {
    MenuItem{"&New\tCtrl+N", ID_FILE_NEW},
    MenuItem{"&Open...\tCtrl+O", ID_FILE_OPEN},
    MenuItem{"&Save\tCtrl+S", ID_FILE_SAVE},
    MenuItem{"Save &As...", ID_FILE_SAVE_AS},
    MenuItem{nullptr, ID_SEPARATOR},
    MenuItem{"Recent File", ID_FILE_MRU_FILE1},
    MenuItem{nullptr, ID_SEPARATOR},
    MenuItem{"E&xit", ID_APP_EXIT},
};

constexpr std::array editMenu = {
    MenuItem{"&Undo\tCtrl+Z", ID_EDIT_UNDO},
    MenuItem{nullptr, ID_SEPARATOR},
    MenuItem{"Cu&t\tCtrl+X", ID_EDIT_CUT},
    MenuItem{"&Copy\tCtrl+C", ID_EDIT_COPY},
    MenuItem{"&Paste\tCtrl+V", ID_EDIT_PASTE},
    MenuItem{nullptr, ID_SEPARATOR},
    MenuItem{"Add Sphere", ID_ADD_SPHERE},
    MenuItem{"Add Cube", ID_ADD_CUBE},
    MenuItem{"Add Star", ID_ADD_STAR},
    MenuItem{"Delete Object", ID_OBJECT_DELETE},
};

constexpr std::array viewMenu = {
    MenuItem{"&Toolbar", ID_VIEW_TOOLBAR},
    MenuItem{"&Status Bar", ID_VIEW_STATUS_BAR},
    MenuItem{"Add view", ID_ADD_VIEW},
    MenuItem{nullptr, ID_SEPARATOR},
    MenuItem{"Show All", ID_SHOW_ALL},
    MenuItem{"Show with listed colour", ID_SHOW_LISTED},
    MenuItem{"Show with user-defined colour", ID_SHOW_USER},
};

constexpr std::array helpMenu = {
    MenuItem{"&About tesk...", ID_APP_ABOUT},
};

constexpr std::array menus = {
    Menu{"&File", fileMenu},
    Menu{"&Edit", editMenu},
    Menu{"&View", viewMenu},
    Menu{"&Help", helpMenu},
};

constexpr std::array toolBarButtons = {
    ToolBarButton{ID_FILE_NEW, "new"},
    ToolBarButton{ID_FILE_OPEN, "open"},
    ToolBarButton{ID_FILE_SAVE, "save"},
    ToolBarButton{ID_SEPARATOR, nullptr},
    ToolBarButton{ID_EDIT_CUT, "cut"},
    ToolBarButton{ID_EDIT_COPY, "copy"},
    ToolBarButton{ID_EDIT_PASTE, "paste"},
    ToolBarButton{ID_SEPARATOR, nullptr},
    ToolBarButton{ID_FILE_PRINT, "print"},
    ToolBarButton{ID_APP_ABOUT, "about"},
    ToolBarButton{ID_SEPARATOR, nullptr},
    ToolBarButton{ID_OBJECT_ADD, "add"},
    ToolBarButton{ID_OBJECT_DELETE, "delete"},
    ToolBarButton{ID_OBJECT_EDIT, "edit"},
    ToolBarButton{ID_SEPARATOR, nullptr},
    ToolBarButton{ID_TB_SHOW_ALL, "show-all"},
    ToolBarButton{ID_TB_SHOW_LISTED, "show-listed"},
    ToolBarButton{ID_TB_SHOW_USER, "show-user"},
};

constexpr auto Ctrl = Qt::ControlModifier;
constexpr auto Shift = Qt::ShiftModifier;
constexpr auto Alt = Qt::AltModifier;

constexpr std::array acceleratorTable = {
    Accelerator{Ctrl | Qt::Key_N, ID_FILE_NEW},
    Accelerator{Ctrl | Qt::Key_O, ID_FILE_OPEN},
    Accelerator{Ctrl | Qt::Key_S, ID_FILE_SAVE},
    Accelerator{Ctrl | Qt::Key_Z, ID_EDIT_UNDO},
    Accelerator{Ctrl | Qt::Key_X, ID_EDIT_CUT},
    Accelerator{Ctrl | Qt::Key_C, ID_EDIT_COPY},
    Accelerator{Ctrl | Qt::Key_V, ID_EDIT_PASTE},
    Accelerator{Alt | Qt::Key_Backspace, ID_EDIT_UNDO},
    Accelerator{Shift | Qt::Key_Delete, ID_EDIT_CUT},
    Accelerator{Ctrl | Qt::Key_Insert, ID_EDIT_COPY},
    Accelerator{Shift | Qt::Key_Insert, ID_EDIT_PASTE},
    Accelerator{QKeyCombination(Qt::Key_F6), ID_NEXT_PANE},
    Accelerator{Shift | Qt::Key_F6, ID_PREV_PANE},
};

struct StringEntry {
    int id;
    const char* text;
};

// Commands without a prompt text (the add, delete and edit objects, the
// filters, print) have no entry: they show neither prompt nor tool tip.
constexpr std::array stringTable = {
    StringEntry{IDR_MAIN, "TESK - Main Frame"},
    StringEntry{IDR_SCENE, "TESK - Child Frame\n\nnew_tesk\ntesk Files (*.qbx)\n.qbx\ntesk.Document\ntesk.Document"},
    StringEntry{AFX_IDS_APP_TITLE, "tesk"},
    StringEntry{AFX_IDS_IDLEMESSAGE, "Ready"},
    StringEntry{ID_INDICATOR_CAPS, "CAP"},
    StringEntry{ID_INDICATOR_NUM, "NUM"},
    StringEntry{ID_INDICATOR_SCRL, "SCRL"},
    StringEntry{ID_FILE_NEW, "Create a new document\nNew"},
    StringEntry{ID_FILE_OPEN, "Open an existing document\nOpen"},
    StringEntry{ID_FILE_SAVE, "Save the active document\nSave"},
    StringEntry{ID_FILE_SAVE_AS, "Save the active document with a new name\nSave As"},
    StringEntry{ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
    StringEntry{ID_EDIT_UNDO, "Undo the last action\nUndo"},
    StringEntry{ID_EDIT_CUT, "Cut the selection and put it on the Clipboard\nCut"},
    StringEntry{ID_EDIT_COPY, "Copy the selection and put it on the Clipboard\nCopy"},
    StringEntry{ID_EDIT_PASTE, "Insert Clipboard contents\nPaste"},
    StringEntry{ID_ADD_SPHERE, "Add new 3D Sphere"},
    StringEntry{ID_ADD_CUBE, "Add new 3D Cube"},
    StringEntry{ID_ADD_STAR, "Add new 3D Star"},
    StringEntry{ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
    StringEntry{ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
    StringEntry{ID_ADD_VIEW, "Add new view"},
    StringEntry{ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
};

constexpr const char* mruPrompt = "Open this document";

} // namespace

std::span<const Menu> mainMenu() { return menus; }

std::span<const ToolBarButton> toolBar() { return toolBarButtons; }

std::span<const Accelerator> accelerators() { return acceleratorTable; }

QString loadString(int id)
{
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_FILE16)
        return QString::fromLatin1(mruPrompt);
    for (const StringEntry& entry : stringTable) {
        if (entry.id == id)
            return QString::fromLatin1(entry.text);
    }
    return {};
}

QString statusPrompt(int id) { return loadString(id).section(QLatin1Char('\n'), 0, 0); }

QString toolTip(int id) { return loadString(id).section(QLatin1Char('\n'), 1, 1); }

QString accessibleName(int id)
{
    // The buttons without a tool tip keep it that way; they still need a
    // name that a screen reader can announce.
    static constexpr std::array<StringEntry, 7> names = {{
        {ID_FILE_PRINT, "Print"},
        {ID_OBJECT_ADD, "Add object"},
        {ID_OBJECT_DELETE, "Delete object"},
        {ID_OBJECT_EDIT, "Edit object"},
        {ID_TB_SHOW_ALL, "Show all objects"},
        {ID_TB_SHOW_LISTED, "Show objects with a listed colour"},
        {ID_TB_SHOW_USER, "Show objects with a user-defined colour"},
    }};
    const QString tip = toolTip(id);
    if (!tip.isEmpty())
        return tip;
    for (const StringEntry& entry : names) {
        if (entry.id == id)
            return QString::fromLatin1(entry.text);
    }
    return {};
}

QString docString(DocString field)
{
    return loadString(IDR_SCENE).section(QLatin1Char('\n'), static_cast<int>(field), static_cast<int>(field));
}

QString appIconPath() { return QStringLiteral(":/tesk/icons/tesk"); }

QString docIconPath() { return QStringLiteral(":/tesk/icons/scene"); }

} // namespace res
