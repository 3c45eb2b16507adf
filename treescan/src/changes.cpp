// Changes since an earlier state: the scanner's history of folder totals and its C interface.
#include "treescan.h"

#include "cache_file.h"
#include "cache_history.h"
#include "common.h"
#include "scan_import.h"
#include "scan_state.h"

#include <cerrno>
#include <climits>

namespace treescan {

namespace {

constexpr std::size_t kMaxHistoryFile = std::size_t{1} << 30;

bool g_kept = false; // LoadFolderList was called: the history is worth keeping
std::vector<FolderHistory::Report> g_changes;

std::string historyFilePath() {
    std::string file = cacheFilePath();
    return file.empty() ? file : file.substr(0, file.rfind('/') + 1) + "folders.history";
}

// The key of the folder last set, worked out once per folder.
const std::string& listedKey() {
    static std::string path, key;
    if (listedFolder() != path) {
        path = listedFolder();
        key = path.empty() ? std::string() : cacheKey(path);
    }
    return key;
}

std::uint64_t bytesOf(double size) {
    return size <= 0 ? 0 : static_cast<std::uint64_t>(size);
}

int32_t answer(const FolderHistory::Report& r, double* earlierBytes, int64_t* earlierTime) {
    if (earlierBytes != nullptr)
        *earlierBytes = static_cast<double>(r.earlierBytes);
    if (earlierTime != nullptr)
        *earlierTime = r.earlierTime;
    return static_cast<int32_t>(r.change);
}

// Folder totals stand for the folder last set on disk.
bool totalsShown() {
    return g_kept && !openedScan() && !listedFolder().empty() && GetPassState() != TREESCAN_PASS_NONE;
}

} // namespace

FolderHistory& folderHistory() {
    static FolderHistory history;
    return history;
}

void loadHistory() {
    g_kept = true;
    std::string data;
    const std::string file = historyFilePath();
    if (!file.empty() && readWholeFile(file, data, kMaxHistoryFile, 8, historyHeaderFits))
        folderHistory().deserialise(data);
}

int saveHistory() {
    FolderHistory& h = folderHistory();
    if (!g_kept || !h.dirty())
        return 0;
    std::string data;
    h.serialise(data);
    const std::string file = historyFilePath();
    if (file.empty())
        return ENOENT;
    if (!writeFileAtomically(file, data))
        return errno > 0 ? errno : EIO;
    h.setDirty(false);
    return 0;
}

void recordExactPass(FolderCache& cache, const std::string& key) {
    if (g_kept)
        folderHistory().recordPass(cache, key);
}

} // namespace treescan

using namespace treescan;

extern "C" {

int32_t GetChange(int32_t index, double* earlierBytes, int64_t* earlierTime) {
    FolderHistory::Report none;
    const int32_t attribs = GetAttribs(index);
    if (!totalsShown() || !(attribs & TREESCAN_FOLDER) || (attribs & TREESCAN_LINK))
        return answer(none, earlierBytes, earlierTime);
    std::vector<char> name(static_cast<std::size_t>(GetFileLength(index)));
    GetFile(index, name.data(), static_cast<int32_t>(name.size()));
    std::string key = listedKey();
    if (key.empty() || key.back() != '/')
        key += '/';
    key.append(name.data(), name.size());
    const std::uint64_t now = bytesOf(GetSize(index));
    return answer(folderHistory().report(key, &now), earlierBytes, earlierTime);
}

int32_t GetFolderChange(double* earlierBytes, int64_t* earlierTime) {
    if (!totalsShown())
        return answer({}, earlierBytes, earlierTime);
    const std::uint64_t now = bytesOf(GetTotalSize());
    return answer(folderHistory().report(listedKey(), &now), earlierBytes, earlierTime);
}

int32_t GetRemovedFolders(double* bytes) {
    std::uint64_t held = 0;
    std::uint32_t count = totalsShown() ? folderHistory().removedBelow(listedKey(), held) : 0;
    if (bytes != nullptr)
        *bytes = static_cast<double>(held);
    return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

int32_t MarkEarlierState(const char* path) {
    if (path == nullptr || path[0] == '\0')
        return -1;
    return folderHistory().mark(cacheKey(path));
}

int32_t ListChanges(const char* path) {
    g_changes.clear();
    if (path == nullptr || path[0] == '\0' || !folderHistory().changes(cacheKey(path), g_changes))
        return -1;
    return g_changes.size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(g_changes.size());
}

int32_t GetChangedFolder(int32_t index, char* buffer, int32_t max) {
    if (index < 0 || static_cast<std::size_t>(index) >= g_changes.size())
        return 0;
    return writeText(g_changes[static_cast<std::size_t>(index)].path, buffer, max);
}

int32_t GetChangedSizes(int32_t index, double* earlierBytes, double* newBytes, int64_t* earlierTime) {
    static const FolderHistory::Report none;
    const bool known = index >= 0 && static_cast<std::size_t>(index) < g_changes.size();
    const FolderHistory::Report& r = known ? g_changes[static_cast<std::size_t>(index)] : none;
    if (newBytes != nullptr)
        *newBytes = static_cast<double>(r.newBytes);
    return answer(r, earlierBytes, earlierTime);
}

} // extern "C"
