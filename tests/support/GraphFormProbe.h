// What the window's tests read of its state, by the names the window gives it: the probe only
// exposes (references into one window, valid while it lives), it decides nothing. `probe(form)`
// makes one for a line; the window may be const where a test only reads.
#pragma once

#include "app/GraphForm.h"

class GraphFormProbe {
public:
    explicit GraphFormProbe(const GraphForm& form)
        : m_form(const_cast<GraphForm&>(form)), m_options(m_form.m_options),
          m_autoRotate(m_form.m_autoRotate), m_currentFolder(m_form.m_currentFolder),
          m_deviceReady(m_form.m_deviceReady), m_selectedEntry(m_form.m_selectedEntry),
          m_sortKey(m_form.m_sortKey), m_gridColumn(m_form.m_gridColumn), m_gridRow(m_form.m_gridRow),
          m_search(m_form.m_search), m_imagePath(m_form.m_imagePath), frmPic(m_form.frmPic),
          m_rootFrame(m_form.m_rootFrame), m_camera(m_form.m_camera), m_overlay(m_form.m_overlay),
          m_framesDrawn(m_form.m_framesDrawn), Toolbar1(m_form.Toolbar1), cmdStop(m_form.cmdStop),
          Frame2(m_form.Frame2), adrLabel(m_form.adrLabel), adrList(m_form.adrList), prog(m_form.prog),
          Frame1(m_form.Frame1), lblFind(m_form.lblFind), txtFind(m_form.txtFind), cmdFind(m_form.cmdFind),
          Label1(m_form.Label1), txtFindIn(m_form.txtFindIn), frmOptions(m_form.frmOptions),
          chkCase(m_form.chkCase), chkGT(m_form.chkGT), txtGT(m_form.txtGT), chkLT(m_form.chkLT),
          txtLT(m_form.txtLT), cmdX(m_form.cmdX), cmdUp(m_form.cmdUp), LstFind(m_form.LstFind),
          cmdStopSearch(m_form.cmdStopSearch), cmdClose(m_form.cmdClose), lblFindStatus(m_form.lblFindStatus),
          Picture1(m_form.Picture1), ListView1(m_form.ListView1), txtCurrent(m_form.txtCurrent),
          Timer1(m_form.Timer1), mnuFolderOpen(m_form.mnuFolderOpen), tlbBack(m_form.tlbBack),
          tlbDelete(m_form.tlbDelete), tlbShowImage(m_form.tlbShowImage), MENU_POPUP(m_form.MENU_POPUP),
          MENU_CONTEXT(m_form.MENU_CONTEXT) {}

    // A folder or a table is being read.
    bool loading() const { return m_form.m_loading; }
    // Stop was asked of the load or the search running.
    bool stopRequested() const { return m_form.m_stopSearch; }

private:
    GraphForm& m_form;

public:
    ketra::Options& m_options;
    bool& m_autoRotate;
    QByteArray& m_currentFolder;
    bool& m_deviceReady;
    int32_t& m_selectedEntry;
    int& m_sortKey;
    int32_t& m_gridColumn;
    int32_t& m_gridRow;
    ketra::SearchSession*& m_search;
    QByteArray& m_imagePath;
    QPointer<ketra::PictureWindow>& frmPic;
    std::shared_ptr<CD3DFrame>& m_rootFrame;
    std::shared_ptr<ketra::Camera>& m_camera;
    ketra::OverlayState& m_overlay;
    uint64_t& m_framesDrawn;

    QToolBar*& Toolbar1;
    QPushButton*& cmdStop;
    QFrame*& Frame2;
    QLabel*& adrLabel;
    QComboBox*& adrList;
    QLineEdit*& prog;
    QFrame*& Frame1;
    QLabel*& lblFind;
    QLineEdit*& txtFind;
    QPushButton*& cmdFind;
    QLabel*& Label1;
    QLineEdit*& txtFindIn;
    QFrame*& frmOptions;
    QCheckBox*& chkCase;
    QCheckBox*& chkGT;
    QLineEdit*& txtGT;
    QCheckBox*& chkLT;
    QLineEdit*& txtLT;
    QPushButton*& cmdX;
    QPushButton*& cmdUp;
    QTreeView*& LstFind;
    QPushButton*& cmdStopSearch;
    QPushButton*& cmdClose;
    QLabel*& lblFindStatus;
    QWidget*& Picture1;
    QTreeView*& ListView1;
    QLabel*& txtCurrent;
    QTimer*& Timer1;
    QAction*& mnuFolderOpen;
    QAction*& tlbBack;
    QAction*& tlbDelete;
    QAction*& tlbShowImage;
    QMenu*& MENU_POPUP;
    QMenu*& MENU_CONTEXT;
};

inline GraphFormProbe probe(const GraphForm& form) {
    return GraphFormProbe(form);
}
