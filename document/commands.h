#pragma once

// tesk's own command identifiers, fixed values of its resource vocabulary;
// the framework's standard ones are in fw::StdCommand.
enum TeskCommand : int {
    ID_OBJECT_ADD = 32774,
    ID_OBJECT_DELETE = 32775,
    ID_TB_SHOW_ALL = 32777,
    ID_TB_SHOW_LISTED = 32778,
    ID_TB_SHOW_USER = 32779,
    ID_OBJECT_EDIT = 32782,
    ID_SHOW_ALL = 32786,
    ID_SHOW_LISTED = 32787,
    ID_SHOW_USER = 32788,
    ID_ADD_SPHERE = 61204,
    ID_ADD_CUBE = 61205,
    ID_ADD_STAR = 61206,
    ID_ADD_VIEW = 61208,
};
