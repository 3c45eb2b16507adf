// The find pane's rules (size texts, what "Go" asks for) and a search session over the real
// scanner: bounds, special files, Stop, and a search started over a running one.
#include "search/FindRequest.h"
#include "search/SearchSession.h"
#include "treescan.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ketra;

TEST(FindRequest, SizeTextsAndWhatGoAsksFor) {
    // A unit alone counts as a size of 0 ("Kb" as "k"); only a text with no digit and no unit
    // gives none.
    const std::pair<const char*, double> sizes[] = {{"1Kb", 1000},   {"10Kb", 10000}, {"2M", 2000000},
                                                    {"1.5k", 15000}, {"k", 0},        {"Kb", 0},
                                                    {"", -1},        {"bytes", -1},   {"-3 b", 3}};
    for (const auto& [text, bytes] : sizes)
        EXPECT_EQ(ParseSizeText(QString::fromLatin1(text)), bytes) << text;

    using O = FindPlan::Outcome;
    struct Case {
        FindInput in;
        O outcome;
        double lower, upper;
    };
    const Case cases[] = {
        {{"a", "", true, "1Kb", true, "10Kb"}, O::Search, 1000, 10000},
        {{"a", "", true, "10Kb", true, "1Kb"}, O::ReversedBounds, 10000, 1000},
        {{"", "", true, "5k", true, "5k"}, O::Search, 5000, 5000},   // equal bounds are fine
        {{"a", "", false, "1Kb", false, "10Kb"}, O::Search, -1, -1}, // unchecked: no bound
        {{"", "", false, "", true, "10Kb"}, O::Search, -1, 10000},   // a bound alone searches
        {{"", "", false, "1Kb", false, "10Kb"}, O::NothingToFind, -1, -1},
        {{"a", "", true, "b", true, "10Kb"}, O::BadSize, -1, -1},
        {{"", "x", true, "1k", true, "none"}, O::BadSize, 1000, -1},
    };
    for (const Case& c : cases) {
        const FindPlan plan = PlanFind(c.in);
        EXPECT_EQ(plan.outcome, c.outcome) << qPrintable(c.in.lowerText + " " + c.in.upperText);
        EXPECT_EQ(plan.lower, c.lower);
        EXPECT_EQ(plan.upper, c.upper);
    }
    EXPECT_EQ(ReversedBoundsMessage("10Kb", "1Kb"), QStringLiteral("10Kb should be less than 1Kb"));
    EXPECT_EQ(FoundText(0, false), QStringLiteral("No files found"));
    EXPECT_EQ(FoundText(1, true), QStringLiteral("1 file found (stopped)"));
    EXPECT_EQ(FoundText(1234567, false), QStringLiteral("1,234,567 files found"));
}

namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        IgnoreCase(1);
        IncludeHidden(0);
        IncludeSystem(0);
    }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    void file(const QString& relative, const QByteArray& content) {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile f(path(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    // Runs a search to its end; returns the rows as "folder-relative path<TAB>size".
    QStringList search(const QString& name, const QString& text, double lower = -1, double upper = -1) {
        QSignalSpy done(&m_session, &SearchSession::finished);
        m_session.start(QFile::encodeName(m_dir.path()), name, text, lower, upper);
        EXPECT_TRUE(done.wait(20000));
        return rows();
    }
    QStringList rows() const {
        QStringList out;
        const SearchResultsModel& m = m_session.results();
        for (int i = 0; i < m.rowCount(); ++i)
            out << QDir(m_dir.path()).relativeFilePath(m.at(i).folder + "/" + m.at(i).name) + "\t" +
                       m.data(m.index(i, SearchResultsModel::SizeColumn)).toString();
        out.sort();
        return out;
    }
    QTemporaryDir m_dir;
    SearchSession m_session;
};

} // namespace

TEST_F(SessionTest, BoundsContentAndSpecialFilesAreSearchedToTheEnd) {
    file("s/4999.bin", QByteArray(4999, 'x'));
    file("s/5000.bin", QByteArray(5000, 'x'));
    file("s/5001.bin", QByteArray(5001, 'x'));
    file("t/empty.txt", "");
    file("t/deep/er/note.txt", "a Needle here");
    ASSERT_EQ(mkfifo(path("t/needle.fifo").toUtf8().constData(), 0600), 0);

    EXPECT_EQ(search("", "", 5000, 5000), QStringList{"s/5000.bin\t5000"});
    // The FIFO is never read (reading it would block the search for good).
    EXPECT_EQ(search("", "needle"), QStringList{"t/deep/er/note.txt\t13"});
    EXPECT_EQ(search("empty", ""), QStringList{"t/empty.txt\t0"});
    EXPECT_EQ(m_session.results().headerData(2, Qt::Horizontal).toString(), QStringLiteral("Size"));
    EXPECT_FALSE(m_session.running());
}

TEST_F(SessionTest, StopListsEverythingFoundAndANewSearchDropsTheOld) {
    for (int d = 0; d < 60; ++d)
        for (int f = 0; f < 40; ++f)
            file(QStringLiteral("d%1/hit%2.txt").arg(d).arg(f), "x");

    // Stopped once the scanner has found files, before the session has looked: every file the
    // scanner found until it stopped is listed.
    QSignalSpy done(&m_session, &SearchSession::finished);
    m_session.start(QFile::encodeName(m_dir.path()), "hit", "");
    for (int i = 0; i < 100000 && GetSearchFileCount() == 0; ++i)
        QThread::usleep(100);
    m_session.stop();
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(m_session.results().rowCount(), GetSearchFileCount());
    EXPECT_GT(m_session.results().rowCount(), 0);

    // A search started while one runs replaces it: only the second one's files are listed.
    file("d7/other.dat", "x");
    m_session.start(QFile::encodeName(m_dir.path()), "hit", "");
    EXPECT_EQ(search("other", ""), QStringList{"d7/other.dat\t1"});
    EXPECT_EQ(done.count(), 2); // the replaced search never reports its end
}
