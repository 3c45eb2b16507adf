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

    using GraphForm::m_autoRotate;
    using GraphForm::m_camera;
    using GraphForm::m_currentFolder;
    using GraphForm::m_deviceReady;
    using GraphForm::m_framesDrawn;
    using GraphForm::m_gridColumn;
    using GraphForm::m_gridRow;
    using GraphForm::m_imagePath;
    using GraphForm::m_options;
    using GraphForm::m_overlay;
    using GraphForm::m_rootFrame;
    using GraphForm::m_search;
    using GraphForm::m_selectedEntry;
    using GraphForm::m_sortKey;

    using GraphForm::adrLabel;
    using GraphForm::adrList;
    using GraphForm::chkCase;
    using GraphForm::chkGT;
    using GraphForm::chkLT;
    using GraphForm::cmdClose;
    using GraphForm::cmdFind;
    using GraphForm::cmdStop;
    using GraphForm::cmdStopSearch;
    using GraphForm::cmdUp;
    using GraphForm::cmdX;
    using GraphForm::Frame1;
    using GraphForm::Frame2;
    using GraphForm::frmOptions;
    using GraphForm::frmPic;
    using GraphForm::Label1;
    using GraphForm::lblFind;
    using GraphForm::lblFindStatus;
    using GraphForm::ListView1;
    using GraphForm::LstFind;
    using GraphForm::MENU_CONTEXT;
    using GraphForm::MENU_POPUP;
    using GraphForm::mnuFolderOpen;
    using GraphForm::Picture1;
    using GraphForm::prog;
    using GraphForm::Timer1;
    using GraphForm::tlbBack;
    using GraphForm::tlbDelete;
    using GraphForm::tlbShowImage;
    using GraphForm::Toolbar1;
    using GraphForm::txtCurrent;
    using GraphForm::txtFind;
    using GraphForm::txtFindIn;
    using GraphForm::txtGT;
    using GraphForm::txtLT;
};
