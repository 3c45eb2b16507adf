// The window as the tests make it: a GraphForm that lets them read the state they check by the
// names the window gives it. It only exposes what the window keeps; it decides nothing and changes
// no behaviour.
#pragma once

#include "app/GraphForm.h"

class GraphFormProbe : public GraphForm {
public:
    using GraphForm::GraphForm;

    // A folder or a table is being read.
    bool loading() const { return m_loading; }
    // Stop was asked of the load or the search running.
    bool stopRequested() const { return m_stopSearch; }

    // Its controls and menus, then what the window keeps.
    using GraphForm::adrLabel, GraphForm::adrList, GraphForm::chkCase, GraphForm::chkGT, GraphForm::chkLT,
        GraphForm::cmdClose, GraphForm::cmdFind, GraphForm::cmdStop, GraphForm::cmdStopSearch,
        GraphForm::cmdUp, GraphForm::cmdX, GraphForm::Frame1, GraphForm::Frame2, GraphForm::frmOptions,
        GraphForm::frmPic, GraphForm::Label1, GraphForm::lblFind, GraphForm::lblFindStatus,
        GraphForm::ListView1, GraphForm::LstFind, GraphForm::MENU_CONTEXT, GraphForm::MENU_POPUP,
        GraphForm::mnuFolderOpen, GraphForm::Picture1, GraphForm::prog, GraphForm::Timer1, GraphForm::tlbBack,
        GraphForm::tlbDelete, GraphForm::tlbShowImage, GraphForm::Toolbar1, GraphForm::txtCurrent,
        GraphForm::txtFind, GraphForm::txtFindIn, GraphForm::txtGT, GraphForm::txtLT;
    using GraphForm::m_autoRotate, GraphForm::m_camera, GraphForm::m_currentFolder, GraphForm::m_deviceReady,
        GraphForm::m_framesDrawn, GraphForm::m_gridColumn, GraphForm::m_gridRow, GraphForm::m_imagePath,
        GraphForm::m_options, GraphForm::m_overlay, GraphForm::m_rootFrame, GraphForm::m_search,
        GraphForm::m_selectedEntry, GraphForm::m_sortKey;
};
