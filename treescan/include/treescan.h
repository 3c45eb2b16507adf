/*
 * treescan: folder listing, folder-size totals, sorting, a folder cache and file search.
 *
 * A flat C interface. One caller thread (the "owner" thread) makes every call, except
 * ResetFileTree, which may come from any thread at any time. The library does its work on
 * worker threads of its own and reports progress through the polling calls NextTree and
 * NextFind, which never block.
 *
 * Text:
 *   - Every string passed in is a NUL-terminated UTF-8 path or pattern (file names on Linux are
 *     bytes; a name that is not valid UTF-8 goes in and comes out byte for byte).
 *   - Every function that writes text takes the caller's buffer and its capacity in bytes,
 *     writes at most that many bytes, and returns the number of bytes written. It does NOT add a
 *     terminating NUL: the caller keeps the returned count of bytes from the start of the buffer.
 *     A NULL buffer or a capacity <= 0 writes nothing and returns 0. Text that does not fit is
 *     cut at the capacity, never in the middle of a UTF-8 sequence.
 *
 * Counts and indexes are 32-bit; item indexes are 0-based positions in the list of the folder
 * last set (SetFolder) or in the list of files found by the last search (FindStr).
 *
 * Flags are 1 (on) or 0 (off); any non-zero value counts as on.
 *
 * A process that forks while a pass or a search runs (see WaitForTree; a full pass may run on
 * behind a cached answer) must not call the library in the child.
 */
#ifndef TREESCAN_H
#define TREESCAN_H

#include <stdint.h>

#if defined(TREESCAN_BUILD)
#define TREESCAN_API __attribute__((visibility("default")))
#else
#define TREESCAN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Attribute bits reported by GetAttribs. */
#define TREESCAN_READONLY 1    /* the user may not write it */
#define TREESCAN_HIDDEN 2      /* the name starts with "." */
#define TREESCAN_SYSTEM 4      /* a device, FIFO or socket */
#define TREESCAN_FOLDER 16     /* a folder, or a symbolic link to one */
#define TREESCAN_ARCHIVE 32    /* a regular file, or a symbolic link to one */
#define TREESCAN_LINK 1024     /* a symbolic link */

/* Sort keys for SortBy. Folders always come first, then files, each group in this order. */
#define TREESCAN_SORT_NAME 0 /* case-insensitive name, then bytes as a tie-break */
#define TREESCAN_SORT_TYPE 1 /* lower-cased extension, then name */
#define TREESCAN_SORT_SIZE 2 /* size (a folder's total, see ResortFolder), then name */
#define TREESCAN_SORT_DATE 3 /* modification time, then name */
/* A folder's change of total since its earlier state (GetChange: grown by most last; a new
 * folder by its whole total; no earlier state before every change), then name. Only
 * ResortFolder applies it: SetFolder lists in name order meanwhile. */
#define TREESCAN_SORT_CHANGE 4

/* ---- Listing ------------------------------------------------------------------------------- */

/* Lists the folder `path` afresh from disk (never from a cache: a file created since the last
 * visit is there), in the current sort order, applying IncludeHidden and IncludeSystem.
 * With IncludeFolderSize(1) it also starts measuring every listed sub-folder on worker threads;
 * poll NextTree for progress. Any scan still running is stopped first.
 * Returns the number of items listed, or a negative number when the folder can't be read
 * (GetFolderError says why). With folder sizes on, folders are ordered by their own size here,
 * as their totals are not known yet: ResortFolder orders them by their totals. */
TREESCAN_API int32_t SetFolder(const char* path);

/* SetFolder without the wait: stops any scan still running, then lists `path` on a worker thread
 * of the library's and returns at once (0; -1 for an empty or NULL path, which FolderListed then
 * reports as SetFolder would). Until FolderListed has reported the end, the folder last set is
 * none (GetFileCount is 0) and NextTree returns 2. The options apply as they are now. A listing
 * still running is stopped (SetFolder, BeginFolder, WaitForTree, LoadFolderList, SaveFolderList,
 * OpenScan and ResetFileTree all end it). Owner thread. */
TREESCAN_API int32_t BeginFolder(const char* path);

/* Never blocks. TREESCAN_LISTING while the listing BeginFolder started runs; then, once, what
 * SetFolder would have returned: the item count (the folder is set, and with folder sizes on
 * its pass has started: poll NextTree), or -1 (GetFolderError says why; EINTR when it was
 * stopped). The end of a listing wakes WaitForProgress and the progress descriptor. -1 (with
 * GetFolderError ENOENT) when no listing was begun. Owner thread. */
#define TREESCAN_LISTING (-2)
TREESCAN_API int32_t FolderListed(void);

/* For tests: every folder entry the library reads from now on (listing, folder sizes, search)
 * waits `microseconds` first, so that a test can act while a scan is under way. 0 turns it
 * off (the default). Any thread. */
TREESCAN_API void SlowDownScans(int32_t microseconds);

/* The errno value that made the last SetFolder or FindStr fail (ENOENT, EACCES, ENOTDIR, ...;
 * ENOENT for an empty or NULL path), for a message with the system's reason (strerror);
 * 0 when the last of the two succeeded. */
TREESCAN_API int32_t GetFolderError(void);

/* Sorts the list of the folder last set again, in the order last given to SortBy, comparing
 * the sizes GetSize reports now: with folder sizes on, sort by size orders the folders by
 * their totals as far as they are known (a cached first answer or the exact figures). Call it
 * when NextTree returns 0 or 1 and the shown order should follow the totals. Item indexes
 * change (GetFile, GetSize, GetFileId and the rest follow the new order); the library never
 * reorders the list by itself, only SetFolder and ResortFolder do. Returns the number of
 * items (GetFileCount). Owner thread. */
TREESCAN_API int32_t ResortFolder(void);

/* Stops any running folder-size scan and waits for its workers, a few milliseconds at most: a
 * worker held inside a system call (a stalled network or FUSE mount) is left to finish on its
 * own into a pass nobody reads, and the scanner goes on with fresh workers and a folder cache
 * reloaded from the cache file. Call it before every SetFolder. The argument is unused (pass
 * 0). Returns 0. */
TREESCAN_API int32_t WaitForTree(int32_t unused);

/* Never blocks. Returns 1 when a sub-folder was just measured (GetCurrentFolder names it),
 * 0 when the folder-size scan has finished (or none was started, or it was stopped),
 * 2 when nothing new has happened since the last call. */
TREESCAN_API int32_t NextTree(void);

/* What the totals (GetSize of a folder, GetTotal*) stand for, after the last SetFolder: */
#define TREESCAN_PASS_NONE 0       /* no folder-size pass: folder sizes are off */
#define TREESCAN_PASS_RUNNING 1    /* measuring: the figures so far */
#define TREESCAN_PASS_CACHED 2     /* a first answer, partly taken from the folder cache: it may be
                                    * stale. A sub-folder whose identity and time are unchanged is
                                    * taken from the cache with everything below it, so a change
                                    * further down is not in it, nor a file that grew in place or
                                    * got a second name. A full pass runs right behind it. */
#define TREESCAN_PASS_VERIFIED 3   /* every folder read from disk by this pass: exact */
#define TREESCAN_PASS_STOPPED 4    /* stopped before its end: the figures so far */
#define TREESCAN_PASS_INCOMPLETE 5 /* ended, but folders could not be opened for want of file
                                    * descriptors, however long it waited: the totals are short */

/* The state of the folder-size figures (TREESCAN_PASS_*). NextTree returns 0 as soon as a first
 * answer is complete; when that answer is TREESCAN_PASS_CACHED, keep calling NextTree (or
 * waiting with WaitForProgress): it returns 2 while the full pass runs, then 1 once its exact
 * figures have replaced the cached ones (GetCurrentFolder names the listed folder; read the
 * sizes again), then 0 with TREESCAN_PASS_VERIFIED. Stopping the full pass keeps the cached
 * answer. Only figures read from disk ever go into the folder cache. */
TREESCAN_API int32_t GetPassState(void);

/* Waits, without spinning, until NextTree or NextFind has something new to report (progress,
 * or the end of a pass or a search), or until `timeoutMs` milliseconds have passed; a negative
 * timeout waits without bound. Returns 1 when woken by news, 0 on the timeout. It never misses
 * news that came after the last NextTree or NextFind call, except a search's move to another
 * folder, which wakes it at most every 20 ms; it may wake for news that the other of the two
 * reports, or that a call already took (then that call returns 2). Owner thread. */
TREESCAN_API int32_t WaitForProgress(int32_t timeoutMs);

/* A descriptor that becomes readable whenever WaitForProgress would return 1, for an event loop
 * to watch (a QSocketNotifier on its read side); WaitForProgress(0) clears it, as does reading
 * 8 bytes from it. It lives as long as the library: never close it. -1 when the system could
 * not make one (then poll NextTree and NextFind on a timer). */
TREESCAN_API int32_t GetProgressDescriptor(void);

/* Writes the folder being scanned or searched: the one named by the last NextTree or NextFind
 * that returned 1. A path longer than `max` bytes is shortened by keeping its end, behind "...",
 * e.g. ".../deep/folder". Returns the count written. */
TREESCAN_API int32_t GetCurrentFolder(char* buffer, int32_t max);

/* Byte length of the unshortened current folder (see GetCurrentFolder). */
TREESCAN_API int32_t GetCurrentFolderLength(void);

/* Number of items in the list of the folder last set (0 when none is set). */
TREESCAN_API int32_t GetFileCount(void);

/* Writes item `index`'s name (no folder part). Returns the count written; 0 for a bad index. */
TREESCAN_API int32_t GetFile(int32_t index, char* buffer, int32_t max);

/* Byte length of item `index`'s name; 0 for a bad index. */
TREESCAN_API int32_t GetFileLength(int32_t index);

/* Writes item `index`'s last-modified time as local time "YYYY-MM-DD HH:MM:SS" (19 bytes).
 * Returns the count written; 0 for a bad index. */
TREESCAN_API int32_t GetTime(int32_t index, char* buffer, int32_t max);

/* Attribute bits of item `index` (TREESCAN_* above); 0 for a bad index. */
TREESCAN_API int32_t GetAttribs(int32_t index);

/* The identity of item `index` as it was listed: the device and inode numbers (st_dev, st_ino)
 * of the entry itself (lstat: a symbolic link's own, never its target's). A caller that acts
 * on the item later compares them with what the name holds then, to tell a replaced item.
 * Writes both and returns 1; returns 0, writing nothing, for a bad index or a NULL pointer. */
TREESCAN_API int32_t GetFileId(int32_t index, uint64_t* device, uint64_t* inode);

/* Size of item `index` in bytes (the apparent size). For a folder, when folder sizes are on,
 * its total so far: everything below it, hidden and system items included, hard-linked files
 * once per scan, symbolic links never followed. A folder not measured (yet) reports its own
 * size. 0 for a bad index. */
TREESCAN_API double GetSize(int32_t index);

/* Files (everything that is not a folder) and folders below the folder last set, counted by the
 * last folder-size scan; the listed folder itself is not counted. 0 when folder sizes are off. */
TREESCAN_API int32_t GetTotalFileCount(void);
TREESCAN_API int32_t GetTotalFolderCount(void);

/* Bytes below the folder last set, counted by the last folder-size scan (so far, while it
 * runs): the apparent sizes of everything that is not a folder, hidden and system items
 * included, each hard-linked file once. 0 when folder sizes are off. */
TREESCAN_API double GetTotalSize(void);

/* ---- Options: each applies from the next SetFolder (or FindStr) --------------------------- */

/* key: TREESCAN_SORT_*; ascending: 1 ascending, 0 descending. */
TREESCAN_API void SortBy(int32_t key, int32_t ascending);
TREESCAN_API void IncludeFolderSize(int32_t flag);
TREESCAN_API void IncludeHidden(int32_t flag);
TREESCAN_API void IncludeSystem(int32_t flag);
/* Name and content matching in searches ignore letter case (ASCII and Latin letters). */
TREESCAN_API void IgnoreCase(int32_t flag);

/* ---- Folder cache ------------------------------------------------------------------------- */

/* Drops the cached total of `path`, of everything below it and of every folder above it, so the
 * next SetFolder measures them again. During a folder-size scan the request waits for the next
 * SetFolder (or SaveFolderList). */
TREESCAN_API void InvalidateFolder(const char* path);

/* Restores the folder cache stored by SaveFolderList. The cache lives in the user's cache folder
 * ($XDG_CACHE_HOME or ~/.cache, then "ketra/"); `folder` names the folder the caller will show
 * first (it may be used to decide what to keep). A missing, corrupt, truncated or foreign file
 * is ignored (the cache in memory is then kept). Stops a running folder-size scan first.
 * Returns the number of folders restored (0 when nothing was). */
TREESCAN_API int32_t LoadFolderList(const char* folder);

/* Stores the folder cache (atomically: a crash never leaves a half-written file behind). Stops a
 * running folder-size scan first. Returns the number of folders stored, or a negative number
 * when it could not be written: minus the errno of the failure (-ENOSPC for a full disk, -EROFS,
 * -EACCES, ...). The file stored before is then left as it was, and the cache in memory goes on
 * being used: nothing is lost but what this run learnt. */
TREESCAN_API int32_t SaveFolderList(const char* folder);

/* Stops a running folder-size scan or search within a few milliseconds of work, without
 * waiting for anything: NextTree and NextFind report the end at once. Safe to call from any
 * thread, at any time. The owner thread still calls WaitForTree before the next SetFolder. */
TREESCAN_API void ResetFileTree(void);

/* ---- Search ------------------------------------------------------------------------------- */

/* Only files of at least / at most `bytes` bytes are found by later searches (inclusive);
 * -1 (any negative value) removes the bound. */
TREESCAN_API void FileGTE(double bytes);
TREESCAN_API void FileLTE(double bytes);

/* Starts searching `folder` and all its sub-folders on worker threads, stopping a running
 * search first (without waiting for a worker held in a system call, as WaitForTree). A file is found when its name contains `name` (unless empty), its content
 * contains `text` (unless empty) and its size lies within the FileGTE/FileLTE bounds; the
 * IgnoreCase, IncludeHidden and IncludeSystem options apply. Only regular files are read;
 * symbolic links are never followed. Returns 0 when the search started, negative when the
 * folder can't be read (GetFolderError says why). */
TREESCAN_API int32_t FindStr(const char* folder, const char* name, const char* text);

/* Never blocks. 1 = progress (new files found or a new folder entered: see GetCurrentFolder and
 * GetSearchFileCount), 0 = the search has ended (or none runs), 2 = nothing new. */
TREESCAN_API int32_t NextFind(void);

/* Number of files found so far. Results are only ever appended; a found file keeps its index
 * until the next FindStr. */
TREESCAN_API int32_t GetSearchFileCount(void);

/* Writes found file `index`'s name (no folder part) / the folder that holds it (no trailing
 * "/"). Returns the count written; 0 for a bad index. */
TREESCAN_API int32_t GetSearchFile(int32_t index, char* buffer, int32_t max);
TREESCAN_API int32_t GetSearchFolder(int32_t index, char* buffer, int32_t max);

/* Found file `index`'s size in bytes; 0 for a bad index. */
TREESCAN_API double GetSearchSize(int32_t index);

/* ---- Changes since an earlier state ---------------------------------------------------------
 *
 * From the first LoadFolderList on, every exact pass (TREESCAN_PASS_VERIFIED) records each
 * folder's total, and SaveFolderList stores them beside the cache. A folder's earlier state is
 * the last exact pass at least 12 hours older than its newest one (so that looking twice in an
 * hour does not erase last week's state), or the state set by MarkEarlierState. Files have no
 * earlier state; nor has anything while an imported scan is open. Owner thread. */

#define TREESCAN_CHANGE_UNKNOWN 0 /* no earlier state (or folder sizes are off, or a file) */
#define TREESCAN_CHANGE_SAME 1
#define TREESCAN_CHANGE_GROWN 2
#define TREESCAN_CHANGE_SHRUNK 3
#define TREESCAN_CHANGE_NEW 4     /* not there at the earlier state */
#define TREESCAN_CHANGE_REMOVED 5 /* there at the earlier state, gone now */

/* How item `index` of the folder last set compares with its earlier state: its total now
 * (GetSize) against the earlier one. Writes the earlier total in bytes (0 for a new folder) and
 * the time of the earlier state (seconds since the epoch; 0 when unknown) where the pointers
 * are not NULL. Returns TREESCAN_CHANGE_*. */
TREESCAN_API int32_t GetChange(int32_t index, double* earlierBytes, int64_t* earlierTime);

/* The same for the folder last set itself, against GetTotalSize. */
TREESCAN_API int32_t GetFolderChange(double* earlierBytes, int64_t* earlierTime);

/* Folders below the folder last set, at any depth, that were there at their earlier state and
 * were gone at the last exact pass. Writes what they held then (each byte once: a folder inside
 * another that went away adds nothing more) where `bytes` is not NULL. Returns their count. */
TREESCAN_API int32_t GetRemovedFolders(double* bytes);

/* Makes the newest exact totals of `path` and of every folder below it their earlier state (the
 * state "now", as the last exact pass found it). Returns the number of folders marked; -1 when
 * no exact pass of `path` is known. */
TREESCAN_API int32_t MarkEarlierState(const char* path);

/* Collects the folders at or below `path` (itself included) whose total at the last exact pass
 * differs from their earlier state, biggest change first (then by path), for GetChangedFolder.
 * Returns their count; -1 when neither `path` nor anything below it has an earlier state. */
TREESCAN_API int32_t ListChanges(const char* path);

/* Changed folder `index` of the last ListChanges: writes its path (GetChangedFolder, count
 * written) / its earlier and new totals in bytes (0 where it was not there / is gone) and the
 * time of the earlier state, returning TREESCAN_CHANGE_* (GetChangedSizes; 0 for a bad index). */
TREESCAN_API int32_t GetChangedFolder(int32_t index, char* buffer, int32_t max);
TREESCAN_API int32_t GetChangedSizes(int32_t index, double* earlierBytes, double* newBytes,
                                     int64_t* earlierTime);

/* ---- Scans in the export format of ncdu and gdu ----------------------------------------------
 *
 * The JSON export format 1.2 that `ncdu -o` / `gdu -o` write and `ncdu -f` / `gdu -f` read: a
 * top-level array [1, 2, {metadata}, folder], where a folder is an array of its own information
 * object followed by its sub-folders (arrays) and files (objects). Names are carried as bytes:
 * written as they are (only '"', '\' and control bytes escaped), read whether UTF-8 or not. */

/* Writes a scan of `folder` and everything below it to descriptor `fd` (left open), streaming:
 * memory grows with the widest folder, never with the tree. Walks like the folder-size pass:
 * symbolic links never followed, pseudo file systems not entered (written as excluded), folders
 * that can't be read written with "read_error". Blocks until done; ResetFileTree (any thread)
 * stops it. Returns 0, or minus the errno of the failure: `folder` can't be read, a write
 * failed (-ENOSPC, -EPIPE, ...), a tree deeper than the open-descriptor limit (one a level:
 * -EMFILE), or -EINTR when stopped. What was written is then not a whole scan. */
TREESCAN_API int32_t ExportScan(const char* folder, int32_t fd);

/* Opens the scan stored in `file` (a regular file, as ncdu, gdu or ExportScan wrote it) in the
 * disk's place: until CloseScan, SetFolder, GetFile, GetTime (empty when the scan has no times),
 * GetAttribs, GetSize, GetTotal*, NextTree (0 at once: the totals are there) and GetPassState
 * (TREESCAN_PASS_VERIFIED with folder sizes on) answer from it, and FindStr searches it by name
 * and size (a text to look for in files is refused: -ENOTSUP). GetFileId gives no identity (0):
 * the items are not on this machine, so nothing may act on them. Paths are those of the scanned
 * machine, starting with the scan's root (GetScanRoot). Folder totals count what the disk's do:
 * the apparent sizes of everything that is not a folder, each hard-linked file once. Stops a
 * running pass or search first. Returns the number of entries read (a scan open before is then
 * closed), or a negative number, leaving what was shown (the disk, or the scan open before):
 * GetScanError says why. The whole scan is held in memory, some 50 bytes an entry. */
TREESCAN_API int32_t OpenScan(const char* file);

/* OpenScan without the wait: reads `file` on a thread of the library's own and returns at once
 * (0; -1 when no file is named: a read still running is then only dropped). ScanOpened then answers TREESCAN_LISTING while the file is
 * read, and once it has been, what OpenScan would have returned: the entry count, the scan now
 * open in the disk's place, or -1 with GetScanError saying why (what was shown stays). The
 * progress descriptor is signalled when the read ends. OpenScan, CloseScan or another BeginScan
 * drop a read still running: its thread finishes on its own into a result nobody reads. A read
 * can't be stopped; it holds the file's entries in memory until it ends. Owner thread. */
TREESCAN_API int32_t BeginScan(const char* file);
TREESCAN_API int32_t ScanOpened(void);

/* Why the last OpenScan or BeginScan failed: the file, the reason and where ("...: not a scan: expected '['
 * at byte 0"; "...: more than 4096 levels of folders"). Count written; 0 after a success. */
TREESCAN_API int32_t GetScanError(char* buffer, int32_t max);

/* Back to the disk. The next SetFolder reads it. Nothing when no scan is open. */
TREESCAN_API void CloseScan(void);

/* -1 when the disk is shown; else the time the open scan was made, in seconds since the epoch
 * (0 when the file does not say). */
TREESCAN_API int64_t GetScanTime(void);

/* The folder the open scan was made of, as the file names it ("/srv/data"); the program that
 * made it ("ncdu 1.18"). Count written; 0 when no scan is open (or the file does not say). */
TREESCAN_API int32_t GetScanRoot(char* buffer, int32_t max);
TREESCAN_API int32_t GetScanProgram(char* buffer, int32_t max);

#ifdef __cplusplus
}
#endif

#endif /* TREESCAN_H */
