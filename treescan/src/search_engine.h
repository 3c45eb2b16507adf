// The search's worker pool: walks a folder tree on worker threads and collects the regular files
// that match, for the C interface (FindStr, NextFind, GetSearch*).
#pragma once

#include "search_match.h"
#include "search_results.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace treescan {

// What a file must satisfy, fixed when a search starts.
struct SearchCriteria {
    std::string name; // part of the file name; empty = any
    std::string text; // part of the content; empty = any
    bool ignoreCase = false;
    bool hidden = false; // list hidden files and enter hidden folders
    double minSize = -1; // inclusive bounds; negative = none
    double maxSize = -1;
};

// The folder a search reports for `folder` as typed: trailing "/" removed, but "/" stays "/".
std::string searchRoot(std::string_view folder);

// `folder`, one "/", `name` (no doubled "/" after the root).
std::string childPath(std::string_view folder, std::string_view name);

class SearchSession;

class SearchEngine {
public:
    explicit SearchEngine(unsigned workers = 2) : m_workerCount(workers ? workers : 1) {}
    ~SearchEngine();
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // Stops the running search, forgets its results, then searches `folder` and all folders
    // below it. Returns 0 when started, -errno when `folder` can't be opened. Owner thread.
    int start(std::string_view folder, const SearchCriteria& criteria);

    // Asks the running search to end; it does within a few milliseconds of work. Any thread.
    void stop() noexcept;

    // 1 progress since the last call (new results, or a new folder entered: see folder()),
    // 0 ended or none started, 2 nothing new. Never blocks. Owner thread.
    int next();

    // The folder entered last, as reported by the last next() that returned 1.
    const std::string& folder() const { return m_reportedFolder; }

    // The results of the last search (empty before the first). Owner thread.
    const SearchResults& results() const;

    // Stops the workers and waits a moment for them; one held in the kernel (a stalled mount)
    // is let go and finishes into a search nobody reads. Owner thread.
    void join();

private:
    const unsigned m_workerCount;
    std::mutex m_currentMutex; // guards m_current for stop() from other threads
    std::shared_ptr<SearchSession> m_current;
    int32_t m_reportedResults = 0;
    std::uint64_t m_reportedEntered = 0;
    std::string m_reportedFolder;
};

} // namespace treescan
