// What the main window's tests share: a settings store, colour file and scanner cache of their own
// in a temporary folder; folder trees; windows started as the program starts them; controls by
// name; typing into the address box; answering the message boxes the window shows.
#pragma once

#include "GraphFormProbe.h"
#include "app/GraphForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include "gtest_qtest.h"
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

void settleWindows();

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("Ketra"));
        QCoreApplication::setApplicationName(QStringLiteral("Ketra"));
        // Settings, the per-user colour file and the scanner's folder cache all go to the temp folder.
        QDir().mkpath(configFolder());
        QDir().mkpath(cacheFolder());
        qputenv("XDG_CONFIG_HOME", configFolder().toUtf8());
        qputenv("XDG_CACHE_HOME", cacheFolder().toUtf8());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configFolder());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configFolder());
    }

    void TearDown() override {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    // A window as the program makes it: constructed, then started. A message box during start-up
    // is a failure, and is closed so that the test goes on.
    std::unique_ptr<GraphFormProbe> startWindow() {
        auto form = std::make_unique<GraphFormProbe>();
        for (const SeenBox& box : answerMessageBoxes([&form] { EXPECT_TRUE(form->Form_Load()); }))
            ADD_FAILURE() << "message at start-up: " << qPrintable(box.text);
        return form;
    }

    // The settings store the window reads and writes.
    static QSettings store() {
        return QSettings(QSettings::IniFormat, QSettings::UserScope, "Ketra", "Ketra");
    }

    QString configFolder() const { return m_home.filePath(QStringLiteral("config")); }
    QString cacheFolder() const { return m_home.filePath(QStringLiteral("cache")); }

    // A folder, and a file of `bytes` bytes, below the test's temp folder.
    QString makeFolder(const QString& relative) {
        const QString path = m_home.filePath(QStringLiteral("tree/") + relative);
        EXPECT_TRUE(QDir().mkpath(path)) << qPrintable(path);
        return path;
    }

    QString makeFile(const QString& relative, qint64 bytes) {
        const QString path = m_home.filePath(QStringLiteral("tree/") + relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(path);
        f.write(QByteArray(bytes, 'x'));
        return path;
    }

    // Runs `action`; every modal message box that opens meanwhile is recorded and closed with
    // `answer` (OK where it has no such button), after `whileShown` has run with the box on screen.
    struct SeenBox {
        QString title;
        QString text;
    };
    std::vector<SeenBox> answerMessageBoxes(const std::function<void()>& action,
                                            const std::function<void()>& whileShown = {},
                                            QMessageBox::StandardButton answer = QMessageBox::Ok) {
        std::vector<SeenBox> seen;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen.push_back({box->windowTitle(), box->text()});
                if (whileShown)
                    whileShown();
                QAbstractButton* button = box->button(answer);
                if (!button)
                    button = box->button(QMessageBox::Ok);
                if (button)
                    button->click();
                else
                    box->accept();
            }
        });
        poll.start();
        action();
        settleWindows();
        poll.stop();
        return seen;
    }

    QTemporaryDir m_home;
};

// Waits until every main window is idle, with no modal box open (a folder load runs on the
// scanner's threads and ends in the event loop).
inline void settleWindows() {
    const bool idle = QTest::qWaitFor(
        [] {
            if (QApplication::activeModalWidget())
                return false;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* form = qobject_cast<GraphForm*>(w); form && form->busy())
                    return false;
            return true;
        },
        60000);
    EXPECT_TRUE(idle) << "a window stayed busy";
}

// A control, menu item or toolbar button of `form` by its name.
template <typename T = QAction> T* control(const GraphFormProbe& form, const char* name) {
    auto* c = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

inline QAction* action(const GraphFormProbe& form, const char* name) {
    return control<QAction>(form, name);
}

// Types `text` into the address box as a person does: a click in it, the old text selected and
// replaced, then Enter. Keys go to whichever widget has the focus then.
inline void typeAddress(GraphFormProbe& form, const QString& text) {
    // Without a window manager the focus request is lost when it comes before the window is
    // mapped (a busy machine), so it is made again until the window has the focus.
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form, 30000));
    for (int attempt = 0; attempt < 60 && !form.isActiveWindow(); ++attempt) {
        form.activateWindow();
        (void)QTest::qWaitFor([&] { return form.isActiveWindow(); }, 500);
    }
    EXPECT_TRUE(form.isActiveWindow());
    QLineEdit* edit = form.adrList->lineEdit();
    QTest::mouseClick(edit, Qt::LeftButton, Qt::NoModifier, edit->rect().center());
    QWidget* focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == form.adrList || focus == edit);
    if (!focus)
        return;
    QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(focus, text);
    QTest::keyClick(focus, Qt::Key_Return);
    settleWindows();
}
