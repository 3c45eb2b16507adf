// The program's command line: help and version need no display; wrong use is refused.
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs ketra without any display or platform plugin in its environment.
Outcome runKetra(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KETRA_EXE), args);
    EXPECT_TRUE(p.waitForFinished(20000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(Cli, HelpAndVersionNeedNoDisplay) {
    for (const char* help : {"--help", "-h"}) {
        const Outcome r = runKetra({QString::fromLatin1(help)});
        EXPECT_EQ(r.exitCode, 0) << help << qPrintable(r.err);
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("Usage: ketra"))) << qPrintable(r.out);
        EXPECT_TRUE(r.out.contains(QStringLiteral("--version")));
    }
    // Help wins wherever it stands, also after a folder.
    EXPECT_EQ(runKetra({"/tmp", "--help"}).exitCode, 0);
    const Outcome v = runKetra({"--version"});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out, QStringLiteral("ketra " KETRA_VERSION "\n"));
}

TEST(Cli, UnknownOptionsAndTwoFoldersAreRefused) {
    const std::pair<QStringList, const char*> cases[] = {
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"/tmp", "/usr"}, "only one FOLDER"},
    };
    for (const auto& [args, message] : cases) {
        // Give it a platform that needs no display, so the refusal is about the arguments.
        const Outcome r = runKetra(QStringList{"-platform", "offscreen"} << args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(' '));
        EXPECT_TRUE(r.err.contains(QString::fromLatin1(message))) << qPrintable(r.err);
        EXPECT_TRUE(r.out.isEmpty());
    }
}
