// Paths as the window forms them, and the back/forward history.
#include "folders/NavigationHistory.h"
#include "folders/Paths.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using ketra::NavigationHistory;

TEST(Paths, ParentJoinAndTypedAddresses) {
    const std::pair<const char*, const char*> parents[] = {{"/home/user/data", "/home/user"},
                                                           {"/home", "/"},
                                                           {"/", "/"},
                                                           {"/a/b/", "/a"},
                                                           {"/a//", "/"},
                                                           {"name", "name"}};
    for (const auto& [path, parent] : parents)
        EXPECT_EQ(ketra::parentFolder(path), QString::fromLatin1(parent)) << path;
    EXPECT_EQ(ketra::joinPath("/", "etc"), "/etc");
    EXPECT_EQ(ketra::joinPath("/usr", "lib"), "/usr/lib");
    EXPECT_EQ(ketra::joinPath("/usr/", "lib"), "/usr/lib");

    // Typed text, the folder shown, what is looked for.
    const char* typed[][3] = {
        {"  /tmp/x/../y/ ", "/a", "/tmp/y"},
        {"sub", "/a/b", "/a/b/sub"},
        {"../c", "/a/b", "/a/c"},
        {"sub", "/", "/sub"},
        {"~", "/a", "/home/u"},
        {"~/d", "/a", "/home/u/d"},
        {"~x", "/a", "/a/~x"},
        {"  ", "/a", ""},
    };
    for (const auto& t : typed)
        EXPECT_EQ(ketra::tidyAddress(t[0], t[1], "/home/u"), QString::fromLatin1(t[2])) << t[0];

    // A folder on the command line: a file URL from the desktop, or a path. Null: refused.
    const char* arguments[][2] = {
        {"file:///tmp/a%20b", "/tmp/a b"},
        {"FILE://localhost/x/caf%E9%2F", "/x/caf\xe9/"},
        {"file:///a%23b?q=1#f", "/a#b"},
        {"file://", "/"},
        {"file://elsewhere/x", nullptr},
        {"/plain%20path", "/plain%20path"},
        {"sub/dir", "sub/dir"},
    };
    for (const auto& [argument, path] : arguments)
        EXPECT_EQ(ketra::pathFromArgument(argument),
                  path ? std::optional(QByteArray(path)) : std::nullopt)
            << argument;
}

// A history move and what it leads to: the entry shown (empty: no move), the position, and
// whether back and forward lead anywhere afterwards.
struct Move {
    char op; // 'p' push, 'b' back, 'f' forward
    const char* path;
    const char* shown;
    int position;
    bool canBack, canForward;
};

void play(NavigationHistory& h, std::initializer_list<Move> moves) {
    for (const Move& m : moves) {
        const QString shown = m.op == 'p'   ? (h.push(m.path), h.current())
                              : m.op == 'b' ? h.back()
                                            : h.forward();
        EXPECT_EQ(shown, QString::fromLatin1(m.shown)) << m.op << " " << m.path;
        EXPECT_EQ(h.position(), m.position) << m.op << " " << m.path;
        EXPECT_EQ(h.canGoBack(), m.canBack) << m.op << " " << m.path;
        EXPECT_EQ(h.canGoForward(), m.canForward) << m.op << " " << m.path;
    }
}

// Back and forward reach the ends; recording after back forgets what lay ahead. Entries go to
// positions 0 to 10; the twelfth keeps the oldest (recorded at start-up), drops the next five and
// moves the newest five down, so it lands at position 6.
TEST(History, MovesAndTheShiftOfAFullHistory) {
    NavigationHistory h;
    EXPECT_EQ(h.position(), -1);
    // clang-format off
    play(h, {{'b', "", "", -1, false, false}, {'f', "", "", -1, false, false}, {'p', "/a", "/a", 0, false, false},
             {'p', "/b", "/b", 1, true, false}, {'p', "/c", "/c", 2, true, false},  {'b', "", "/b", 1, true, true},
             {'b', "", "/a", 0, false, true},   {'b', "", "", 0, false, true},      {'f', "", "/b", 1, true, true},
             {'f', "", "/c", 2, true, false},   {'f', "", "", 2, true, false},      {'b', "", "/b", 1, true, true},
             {'p', "/x", "/x", 2, true, false}});
    // clang-format on
    EXPECT_EQ(h.top(), 2);
    EXPECT_EQ(h.at(3), "");

    h = NavigationHistory();
    for (int i = 0; i <= 10; ++i)
        h.push(QString("/f%1").arg(i));
    EXPECT_EQ(h.position(), 10);
    // clang-format off
    play(h, {{'p', "/f11", "/f11", 6, true, false}, {'b', "", "/f10", 5, true, true}, {'b', "", "/f9", 4, true, true},
             {'b', "", "/f8", 3, true, true}, {'b', "", "/f7", 2, true, true}, {'b', "", "/f6", 1, true, true},
             {'b', "", "/f0", 0, false, true}});
    // clang-format on
    EXPECT_EQ(h.top(), 6);
    // Many more entries keep shifting without leaving the history's room.
    for (int i = 0; i < 100; ++i)
        h.push(QString("/g%1").arg(i));
    EXPECT_LE(h.top(), NavigationHistory::kMaxPosition);
    EXPECT_EQ(h.current(), "/g99");
    EXPECT_EQ(h.at(0), "/f0");
}

} // namespace
