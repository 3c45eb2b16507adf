/* Compiled as C99 with -pedantic: the public header must be plain C. */
#include "treescan.h"

/* Take the address of every function so a missing or mistyped declaration fails to compile. */
typedef void (*any_fn)(void);
const any_fn treescan_header_functions[] = {
    (any_fn)SetFolder,         (any_fn)WaitForTree,        (any_fn)NextTree,          (any_fn)GetPassState,          (any_fn)WaitForProgress,    (any_fn)GetProgressDescriptor,
    (any_fn)GetCurrentFolder,  (any_fn)GetCurrentFolderLength, (any_fn)GetFileCount,
    (any_fn)GetFile,           (any_fn)GetFileLength,      (any_fn)GetTime,
    (any_fn)GetAttribs,        (any_fn)GetSize,            (any_fn)GetTotalFileCount,
    (any_fn)GetTotalFolderCount, (any_fn)GetTotalSize,   (any_fn)SortBy,
    (any_fn)IncludeFolderSize,
    (any_fn)IncludeHidden,     (any_fn)IncludeSystem,      (any_fn)IgnoreCase,
    (any_fn)InvalidateFolder,  (any_fn)LoadFolderList,     (any_fn)SaveFolderList,
    (any_fn)ResetFileTree,     (any_fn)FileGTE,            (any_fn)FileLTE,
    (any_fn)FindStr,           (any_fn)NextFind,           (any_fn)GetSearchFileCount,
    (any_fn)GetSearchFile,     (any_fn)GetSearchFolder,    (any_fn)GetSearchSize,
    (any_fn)GetChange,         (any_fn)GetFolderChange,    (any_fn)GetRemovedFolders,
    (any_fn)MarkEarlierState,  (any_fn)ListChanges,        (any_fn)GetChangedFolder,
    (any_fn)GetChangedSizes,   (any_fn)ExportScan,         (any_fn)OpenScan,
    (any_fn)GetScanError,      (any_fn)CloseScan,          (any_fn)GetScanTime,
    (any_fn)GetScanRoot,       (any_fn)GetScanProgram, (any_fn)BeginScan, (any_fn)ScanOpened,
    (any_fn)GetFolderError,    (any_fn)GetFileId,          (any_fn)ResortFolder,
    (any_fn)BeginFolder,       (any_fn)FolderListed,       (any_fn)SlowDownScans,
};
