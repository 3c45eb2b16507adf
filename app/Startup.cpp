// Start-up, the persistent settings and shutdown.
#include "GraphForm.h"
#include "folders/Paths.h"

#include "colours/ExtColours.h"
#include "core/Layout.h"
#include "core/Settings.h"
#include "folders/NavigationHistory.h"
#include "scene/D3DUtil.h"
#include "scene/D3DView.h"
#include "treescan.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

#include <array>
#include <cmath>

#include <unistd.h>

namespace {

// The areas the screens there are now leave to windows, the primary screen's first.
std::vector<QRect> availableScreenAreas() {
    std::vector<QRect> areas;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        areas.push_back(primary->availableGeometry());
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            areas.push_back(screen->availableGeometry());
    return areas;
}

} // namespace

QByteArray GraphForm::programFolder() {
    // The executable's path as the system has it (Qt's own would be decoded text).
    std::array<char, 4096> link{};
    const ssize_t n = ::readlink("/proc/self/exe", link.data(), link.size());
    if (n > 0 && static_cast<std::size_t>(n) < link.size() && link[0] == '/')
        return ketra::parentFolder(QByteArray(link.data(), n));
    return QFile::encodeName(QDir::cleanPath(QCoreApplication::applicationDirPath()));
}

QString GraphForm::mediaFolder(const QByteArray& programFolder) {
    const QString folder = QFile::decodeName(programFolder);
    const QString media = folder + QStringLiteral("/media");
    const QString installedMedia = folder + QStringLiteral("/../share/ketra/media");
    return QDir(media).exists() || !QDir(installedMedia).exists() ? QDir::cleanPath(media)
                                                                  : QDir::cleanPath(installedMedia);
}

bool GraphForm::Form_Load() {
    m_started = true;
    const ketra::Settings settings;
    const ketra::SettingsValues stored = settings.read(m_programFolder);
    m_storedSettings = stored;
    m_settingsUnreadable = settings.unreadable();

    LoadExtColours();

    // Placement: the stored numbers are the window's outer left, top, width and height in twips,
    // kept on a screen that is there now: a window stored larger than the screen, or out of its
    // sight, opens on it.
    const QRect placement =
        ketra::placeOnScreen(QRect(twipsToPixelsX(stored.MainLeft), twipsToPixelsY(stored.MainTop),
                                   twipsToPixelsX(stored.MainWidth), twipsToPixelsY(stored.MainHeight)),
                             availableScreenAreas());
    move(placement.topLeft());
    resize(placement.size());

    // The view stored: the tree view is switched on before the first folder is read, the details
    // view once the 3D view is up (below); otherwise the bar-graph view.
    if (stored.options.m_treeview)
        mnuViewTree3D_Click();
    m_level = 2;
    m_options.m_autoupdate = stored.options.m_autoupdate;

    show();
    // Once the window manager has framed the window, the stored size is its outer size: taken
    // from the event loop, where the frame is known.
    auto fitFrame = [this, outer = placement.size()] {
        const QSize frame = frameGeometry().size() - size();
        if (frame != QSize(0, 0))
            resize(outer - frame);
        setMinimumSize(twipsToPixelsX(ketra::design::kMinimumOuterSize) - frame.width(),
                       twipsToPixelsY(ketra::design::kMinimumOuterSize) - frame.height());
    };
    fitFrame();
    QTimer::singleShot(0, this, fitFrame);
    QApplication::setOverrideCursor(Qt::WaitCursor);

    // The inverted options: each field takes its stored value (the opposite of the live option),
    // then its command negates it, sets the check mark or the button, and tells the scanner. Their
    // reloads do nothing yet (no view).
    const ketra::Options& live = stored.options;
    m_options.m_includeFolders = !live.m_includeFolders;
    ToggleFolderSizes();
    m_options.m_logscale = !live.m_logscale;
    mnuLog_Click();
    m_options.m_showStats = !live.m_showStats;
    ToggleStats();
    m_options.m_showHidden = !live.m_showHidden;
    mnuOptionsHidden_Click();
    m_options.m_showText = !live.m_showText;
    mnuOptionsImages_Click();
    m_options.m_showPopup = !live.m_showPopup;
    mnuOptionsPopup_Click();
    m_options.m_bShowShortcuts = !live.m_bShowShortcuts;
    mnuShortcuts_Click();
    m_options.m_showSystem = !live.m_showSystem;
    mnuOptionsSystem_Click();

    chkCase->setChecked(stored.chkCaseValue != 0);
    IgnoreCase(chkCase->isChecked() ? 1 : 0);
    m_options.m_bShowBase = live.m_bShowBase;
    MENU_BASE->setChecked(m_options.m_bShowBase);

    // The overlay's first font (the 3D view makes its text fonts from it).
    m_windowFont = QFont(QStringLiteral("Arial"), 12, QFont::Normal);

    setDetailsColumns();

    // The folder shown at the last exit: the scanner's cache starts from it, and it is where the
    // history starts; the first folder shown is the program's own.
    m_currentFolder = stored.current_folder;
    LoadFolderList(m_currentFolder.constData());
    m_pathBuffer.fill(' ');
    m_history = std::make_unique<ketra::NavigationHistory>();
    m_sortKey = TREESCAN_SORT_NAME;
    m_sortAscending = 1;
    SortBy(m_sortKey, m_sortAscending);
    PushHistory(m_currentFolder);
    adrList->clear();
    adrList->addItem(ketra::displayText(m_programFolder), m_programFolder);
    setAddress(m_programFolder);
    tlbBack->setEnabled(false);
    tlbNext->setEnabled(false);
    m_selectedEntry = 0;

    SetMediaFolder(mediaFolder(m_programFolder));

    // The results list's columns ("Filename", "Folder", "Size") are its model's.
    for (const auto& [column, twips] : {std::pair{0, 1400}, {1, 1000}, {2, 500}})
        LstFind->setColumnWidth(column, twipsToPixelsX(twips));

    const bool ready = Start3D();
    if (ready && g_device) {
        // The view no larger than the largest picture the device can draw: the window gives up
        // the rest (a screen larger than that is rare; the device would draw smaller and scale).
        const QSize largest = g_device->maxTargetSize();
        const QSize excess = (view3D()->pixelSize() - largest).expandedTo(QSize(0, 0));
        if (!largest.isEmpty() && (excess.width() > 0 || excess.height() > 0)) {
            const qreal dpr = Picture1->devicePixelRatioF();
            resize(width() - static_cast<int>(std::ceil(excess.width() / dpr)),
                   height() - static_cast<int>(std::ceil(excess.height() / dpr)));
        }
    }
    if (ready)
        setRenderTimer(true);
    if (ready && stored.details)
        mnuViewDetails_Click(); // the list is filled for the folder shown
    QApplication::restoreOverrideCursor();
    Form_Resize();
    if (m_settingsUnreadable) {
        // Said once the window is up; the file stays as it is for the user to mend.
        const QString kept = QFileInfo(settings.fileName()).isFile()
                                 ? tr(" Ketra starts with its default settings and leaves the file as it is "
                                      "unless a setting is changed.")
                                 : tr(" Ketra starts with its default settings.");
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Ketra"), settings.error() + kept,
                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("msgSettingsUnreadable"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    return ready;
}

void GraphForm::Form_Unload() {
    if (!m_started)
        return; // a window that never started has nothing of the user's to keep
    SaveFolderList(m_programFolder.constData());

    ketra::SettingsValues v;
    // A minimized or maximized window keeps the placement it will come back to.
    QRect outer = frameGeometry();
    if (isMinimized() || isMaximized()) {
        const QRect normal = normalGeometry();
        const QSize margins = outer.size() - size();
        outer = QRect(normal.topLeft(), normal.size() + margins);
    }
    v.MainLeft = pixelsToTwipsX(outer.left());
    v.MainTop = pixelsToTwipsY(outer.top());
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        // Wayland places windows itself and tells none its place: the stored place stays.
        v.MainLeft = m_storedSettings.MainLeft;
        v.MainTop = m_storedSettings.MainTop;
    }
    v.MainWidth = pixelsToTwipsX(outer.width());
    v.MainHeight = pixelsToTwipsY(outer.height());
    v.details = mnuViewDetails->isChecked();
    v.chkCaseValue = chkCase->isChecked() ? 1 : 0;
    v.current_folder = m_scanShown ? m_diskFolder : m_currentFolder; // a scan's path is another machine's
    v.options = m_options;
    ketra::Settings settings;
    // A file that could not be read is kept for the user to mend, unless a setting was changed.
    if ((m_settingsUnreadable || settings.unreadable()) && !ketra::UserSettingsDiffer(v, m_storedSettings))
        return;
    if (!settings.write(v))
        qWarning("Ketra: %s", qPrintable(settings.error()));
}

void GraphForm::mnuFileExit_Click() {
    SaveFolderList(m_programFolder.constData());
    // The program ends here: the window's unload sequence does not run, so the settings keep the
    // values of the last normal close.
    m_exiting = true;
    setRenderTimer(false);
    QCoreApplication::exit(0);
}
