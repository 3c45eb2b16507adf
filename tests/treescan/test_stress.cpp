// Scans and searches stopped, re-targeted and invalidated while they run, with ResetFileTree
// coming from other threads at any moment: every figure seen on the way is a true part of the
// whole, and once the storm ends every answer is exact again. Run under ThreadSanitizer too.
#include "helpers.h"

#include <random>
#include <set>

using namespace scantest;

TEST(Stress, StopRetargetAndInvalidateWhileRunning) {
    TempTree t;
    // d0..d7, each with s0..s7, each holding one file of 10 bytes; every third holds the needle.
    std::set<std::string> needles;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            std::string rel = "d" + std::to_string(i) + "/s" + std::to_string(j) + "/f";
            t.text(rel, (i * 8 + j) % 3 ? "0123456789" : "needle6789");
            if ((i * 8 + j) % 3 == 0)
                needles.insert(t.path(rel));
        }
    const Totals whole{640, 64, 72}, oneD{80, 8, 8};
    defaults();
    setSearchOptions({});

    std::atomic<bool> storm{true};
    std::vector<std::thread> stoppers;
    for (unsigned seed : {1u, 2u})
        stoppers.emplace_back([&storm, seed] {
            std::mt19937 rng(seed);
            while (storm.load()) {
                ResetFileTree();
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 400));
            }
        });
    // The results read in every round are this tree's, not those of a search an earlier test left.
    ASSERT_EQ(FindStr(t.root().c_str(), "", "needle"), 0);
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        const bool atRoot = rng() % 2;
        const std::string folder = atRoot ? t.root() : t.path("d" + std::to_string(rng() % 8));
        IncludeFolderSize(1);
        WaitForTree(0);
        ASSERT_EQ(SetFolder(folder.c_str()), 8);
        if (rng() % 3 == 0)
            FindStr(t.root().c_str(), "", "needle");
        if (rng() % 4 == 0)
            InvalidateFolder(t.path("d" + std::to_string(rng() % 8)).c_str());
        for (int polls = static_cast<int>(rng() % 40); polls > 0; --polls) {
            NextTree();
            NextFind();
            std::this_thread::yield();
        }
        const Totals most = atRoot ? whole : oneD;
        const Totals seen = totals();
        EXPECT_TRUE(seen.bytes <= most.bytes && seen.files <= most.files && seen.folders <= most.folders)
            << seen << " of " << folder;
        for (int32_t i = 0; i < GetSearchFileCount(); ++i)
            ASSERT_TRUE(needles.count(found(i))) << found(i);
    }
    storm = false;
    for (auto& th : stoppers)
        th.join();

    ASSERT_EQ(measure(t.root()), 8);
    EXPECT_EQ(totals(), whole);
    ASSERT_EQ(measure(t.path("d3")), 8);
    EXPECT_EQ(totals(), oneD);
    std::set<std::string> all;
    for (const auto& rel : search(t.root(), "", "needle"))
        all.insert(t.path(rel));
    EXPECT_EQ(all, needles);
}
