// The search's worker pool: walks a folder tree on worker threads and collects the regular files
// that match, for the C interface (FindStr, NextFind, GetSearch*).
#pragma once

#include "search_match.h"
#include "search_results.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
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

class SearchEngine {
public:
    explicit SearchEngine(unsigned workers = 2) : m_workerCount(workers ? workers : 1) {}
    ~SearchEngine();
    SearchEngine(const SearchEngine&) = delete;
    SearchEngine& operator=(const SearchEngine&) = delete;

    // Stops and joins a running search, forgets its results, then searches `folder` and all
    // folders below it. Returns 0 when started, -errno when `folder` can't be opened.
    // Owner thread.
    int start(std::string_view folder, const SearchCriteria& criteria);

    // Asks a running search to end; it does within a few milliseconds of work. Any thread.
    void stop() noexcept;

    // 1 progress since the last call (new results, or a new folder entered: see folder()),
    // 0 ended or none started, 2 nothing new. Never blocks. Owner thread.
    int next();

    // The folder entered last, as reported by the last next() that returned 1.
    const std::string& folder() const { return m_reportedFolder; }

    const SearchResults& results() const { return m_results; }

    // Stops and joins the workers (start() and the destructor do this too). Owner thread.
    void join();

private:
    struct Task {
        std::string path;
        int fd = -1; // already open (the root), else -1
    };
    struct Worker;

    void run();
    void searchFolder(Task& task, Worker& worker);
    void push(std::string path);
    void entered(const std::string& path);
    bool fileMatches(int dirFd, const char* name, bool haveStat, struct stat& st, Worker& worker);

    const unsigned m_workerCount;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
    std::atomic<unsigned> m_running{0};
    bool m_started = false;

    // Folders waiting to be searched, shared by the workers (a stack: depth first, so it stays
    // short), and the number queued or in hand; the search has ended when that reaches 0.
    std::mutex m_queueMutex;
    std::condition_variable m_queueCv;
    std::vector<Task> m_queue;
    std::size_t m_pending = 0;
    unsigned m_waiting = 0;

    // Fixed per search.
    SearchCriteria m_criteria;
    Pattern m_namePattern, m_textPattern;

    // The folder entered last, and how many folders have been entered.
    std::mutex m_enteredMutex;
    std::string m_entered;
    std::atomic<uint64_t> m_enteredCount{0};

    SearchResults m_results;

    // What next() reported last (owner thread).
    int32_t m_reportedResults = 0;
    uint64_t m_reportedEntered = 0;
    std::string m_reportedFolder;
};

} // namespace treescan
