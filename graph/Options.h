// The options of the main window as one value: start-up fills it from the settings store, the
// option commands flip its fields, shutdown writes it back, and the 3D view draws from it whole.
// The fields are named like their settings keys.
#pragma once

namespace ketra {

struct Options {
    bool m_includeFolders = false; // folder sizes are measured and used as the folders' heights
    bool m_logscale = false;       // bar heights on a natural-log scale
    bool m_showStats = true;       // folder statistics drawn over the 3D view
    bool m_showHidden = false;     // the scanner lists hidden files
    bool m_showSystem = false;     // the scanner lists system files
    bool m_showText = true;        // names on the bars as 3D labels
    bool m_showPopup = true;       // the hover text drawn in the view; off: in the status line
    bool m_bShowShortcuts = true;  // key help drawn over the 3D view
    bool m_bShowBase = true;       // the base plate drawn
    bool m_treeview = false;       // the folder tree shown instead of the bar graph
    bool m_autoupdate = true;      // reload when the folder changes on disk; carried from run to run
    // Folders coloured by the change of their totals since an earlier state, files grey. Not
    // stored in the settings: each run starts with the type colours.
    bool m_showChanges = false;

    friend bool operator==(const Options&, const Options&) = default;
};

} // namespace ketra
