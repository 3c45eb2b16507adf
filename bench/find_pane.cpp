// Times the window's find pane on a folder tree: from the click on "Go" to the search's end (its
// last result listed), with the CPU time the window's thread spent meanwhile, next to the same
// window left idle for as long. Compare with `treescan find` on the same search.
//
//   xvfb-run -a <dir>/bin/ketra_find_bench TREE [--name S] [--text S] [--runs N]
//
// Run it with a settings store of its own (XDG_CONFIG_HOME) to get the window's defaults: names
// and texts matched in any case, hidden files left out (as `treescan find --ignore-case`).
#include "app/GraphForm.h"
#include "search/SearchSession.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <ctime>

namespace {

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    // Read before Qt sees them: Qt takes "--name" for itself.
    QString tree, name, text;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--name") && i + 1 < argc)
            name = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--text") && i + 1 < argc)
            text = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--runs") && i + 1 < argc)
            runs = QString::fromLocal8Bit(argv[++i]).toInt();
        else
            tree = a;
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setOrganizationName(QStringLiteral("Ketra"));
    QApplication::setApplicationName(QStringLiteral("Ketra"));
    if (tree.isEmpty() || (name.isEmpty() && text.isEmpty())) {
        std::fputs("usage: ketra_find_bench TREE [--name S] [--text S] [--runs N]\n", stderr);
        return 2;
    }

    GraphForm form;
    if (!form.Form_Load())
        return 1;
    form.openAddress(tree);
    form.mnuEditFind_Click();
    // The window's controls by their names, its search session as its one child of that kind.
    auto* cmdFind = form.findChild<QPushButton*>(QStringLiteral("cmdFind"));
    auto* lstFind = form.findChild<QTreeView*>(QStringLiteral("LstFind"));
    auto* search = form.findChild<ketra::SearchSession*>();
    form.findChild<QLineEdit*>(QStringLiteral("txtFind"))->setText(name);
    form.findChild<QLineEdit*>(QStringLiteral("txtFindIn"))->setText(text);

    for (int run = 0; run < runs; ++run) {
        QEventLoop loop;
        QObject::connect(search, &ketra::SearchSession::finished, &loop, &QEventLoop::quit);
        int batches = 0;
        QObject::connect(search, &ketra::SearchSession::progress, &loop, [&] { ++batches; });
        const double cpu = threadCpuMs();
        QElapsedTimer wall;
        wall.start();
        QTest::mouseClick(cmdFind, Qt::LeftButton);
        loop.exec();
        const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        const double searchCpu = threadCpuMs() - cpu;

        // The same window, idle for as long.
        const double idleStart = threadCpuMs();
        QTimer::singleShot(static_cast<int>(ms), &loop, &QEventLoop::quit);
        loop.exec();
        const double idleCpu = threadCpuMs() - idleStart;
        std::printf(
            "go_to_last_result_ms %.1f results %d batches %d window_cpu_ms %.1f idle_window_cpu_ms %.1f\n",
            ms, lstFind->model()->rowCount(), batches, searchCpu, idleCpu);
        std::fflush(stdout);
    }
    return 0;
}
