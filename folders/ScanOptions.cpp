#include "folders/ScanOptions.h"

namespace ketra {

void ApplyScanOptions(const ScanOptions& options) {
    IncludeFolderSize(options.folderSizes ? 1 : 0);
    IncludeHidden(options.hidden ? 1 : 0);
    IncludeSystem(options.system ? 1 : 0);
    SortBy(options.sortKey, options.ascending ? 1 : 0);
}

} // namespace ketra
