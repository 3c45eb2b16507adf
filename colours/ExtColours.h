// The file-type colour table: which colour the bars of each file type take, the lookup of a colour
// for an item name (getcol), and the colour file "ext.txt" that the table is read from at start-up
// and written to by the colour dialog.
//
// The colour file is plain text, one value per line: the record count, then four lines per record
// (the type key, red, green, blue). A type key is a lower-case extension without the dot, or one of
// the reserved keys "folder" (every folder bar) and "none" (files without an extension).
//
// Where the file lives: the per-user copy (the user's config folder, "Ketra/ext.txt") wins when it
// exists; otherwise the copy shipped beside the program is read (then ../share/ketra/ext.txt, the
// installed layout). The table is always written to the per-user copy, so an installed program
// whose own folder is read-only still keeps the user's colours.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// One record of the table. Channels are meant to be 0 to 255; values outside that range are kept
// as stored (so the file round-trips), and getcol clamps them when it forms a colour.
struct ExtColour {
    QString Ext; // the type key, matched exactly (case-sensitive)
    int Red = 0;
    int Green = 0;
    int Blue = 0;

    friend bool operator==(const ExtColour&, const ExtColour&) = default;
};

// The colour table: records 1 to count(), in table order. Lookups take the first record whose key
// matches, so of two records with the same key the first wins.
class ExtColourTable {
public:
    ExtColourTable() = default;
    explicit ExtColourTable(std::vector<ExtColour> records) { setRecords(std::move(records)); }

    // The number of records in use (g_extCount). 0 means an empty table: every bar is white.
    int count() const { return static_cast<int>(m_records.size()); }
    // Record `index`, 1-based (1 to count()).
    const ExtColour& record(int index) const { return m_records.at(static_cast<std::size_t>(index - 1)); }
    const std::vector<ExtColour>& records() const { return m_records; }

    // Replaces every record (the dialog's "Apply", the file reader).
    void setRecords(std::vector<ExtColour> records);
    void clear() { setRecords({}); }

    // The 1-based index of the first record whose key equals `key` exactly, or 0 when none does.
    int find(const QString& key) const;

    // getcol: the packed colour 0xAARRGGBB (alpha always 0xFF) for an item name. The name's type
    // key (see typeKey) is looked up; a type that is not in the table is white, 0xFFFFFFFF.
    std::uint32_t colourFor(const QString& name) const;

    // The type key of an item name: "folder" for exactly "folder" (case-sensitive); otherwise the
    // text after the last ".", in lower case (".bashrc" gives "bashrc", "a.tar.gz" gives "gz",
    // a name ending in "." gives the empty key); "none" when the name has no ".".
    static QString typeKey(const QString& name);

private:
    std::vector<ExtColour> m_records;
    QHash<QString, int> m_firstIndex; // key -> 1-based index of its first record
};

// The program's colour table (g_extColours; its count() is g_extCount). Empty until LoadExtColours.
extern ExtColourTable g_extColours;

// getcol on the program's table: the packed colour for an item name (see colourFor).
std::uint32_t getcol(const QString& name);

// The largest record count a colour file may declare; a larger count is refused as malformed.
inline constexpr int kMaxExtColourCount = 32767;
// The largest colour file read; a full table of short keys takes well under 1 MiB.
inline constexpr qint64 kMaxExtColourFileBytes = 4 * 1024 * 1024;

// What reading a colour file gave.
struct ExtColourLoadResult {
    enum class Status {
        Ok,         // the whole table was read
        NotFound,   // no colour file in any of the places looked at: the table is empty
        Unreadable, // the file exists but is not read (`reason`: not a regular file, too large,
                    // no permission): the table is empty
        BadCount,   // the first line is missing, not a whole number, negative or above
                    // kMaxExtColourCount: the table is empty
        Truncated,  // the file ends inside the records: the complete records before the end are kept
        BadNumber,  // a colour line is not a whole number (-32768 to 32767): the complete records
                    // before that record are kept
    };

    Status status = Status::NotFound;
    QString path;          // the file read (empty for NotFound)
    int line = 0;          // 1-based line of the fault (BadCount, Truncated, BadNumber)
    int declaredCount = 0; // the count on the first line (when it was a number)
    int recordsRead = 0;   // the records now in the table
    QString reason;        // Unreadable: why, in words

    bool ok() const { return status == Status::Ok; }
    // One line for the user or the log, e.g. "/home/u/.config/Ketra/ext.txt: line 7 is not a whole
    // number; 1 of 3 colour types read".
    QString message() const;
};

// The per-user colour file: the user's config folder followed by "Ketra/ext.txt".
QString userExtColourPath();
// The shipped colour files, in the order they are looked for: beside the program, then
// ../share/ketra/ext.txt beside it.
QStringList shippedExtColourPaths();

// Reads one colour file into `table`, replacing its records. The table never holds a record that
// was not read completely: on a fault it keeps the complete records before it (see the statuses).
// The reader accepts numbers with or without surrounding blanks, lines ended by CR LF or LF, and a
// UTF-8 byte-order mark at the start; lines after the last record are ignored. Only a regular file
// of at most kMaxExtColourFileBytes is read, opened without blocking (a named pipe in its place is
// Unreadable, never waited on).
ExtColourLoadResult ReadExtColourFile(const QString& path, ExtColourTable& table);

// Reads the first of `candidates` that exists into `table` (an empty table and NotFound when none
// does). A candidate that exists is read even if it turns out malformed: it is not skipped in favour
// of the next one.
ExtColourLoadResult LoadExtColours(ExtColourTable& table, const QStringList& candidates);

// Start-up: reads the program's table g_extColours from the per-user copy, else the shipped one.
// A malformed file is reported with qWarning (the program carries on with what was read).
ExtColourLoadResult LoadExtColours();

// What writing a colour file gave.
struct ExtColourSaveResult {
    bool ok = false;
    QString path;
    QString error; // why it failed, for the user; empty when ok
};

// Writes `table` to `path` in the colour-file format (each number framed by blanks, lines ended by
// CR LF), creating the folder when needed. The file is replaced atomically: on any failure the old
// file stays as it was. A key holding a line break can't be stored in the format and fails the save.
ExtColourSaveResult SaveExtColours(const ExtColourTable& table, const QString& path);

// "Apply" in the colour dialog: writes g_extColours to the per-user colour file.
ExtColourSaveResult SaveExtColours();
