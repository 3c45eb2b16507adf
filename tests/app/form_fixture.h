// What the main window's tests share: a settings store, a colour file and a scanner cache of their
// own in a temporary folder; temporary folder trees; windows made and started like the program
// does; and a way to answer the message boxes the window shows.
#pragma once

#include "app/GraphForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("Ketra"));
        QCoreApplication::setApplicationName(QStringLiteral("Ketra"));
        // Settings, the per-user colour file and the scanner's folder cache all go to the temp folder.
        const QString config = m_home.filePath(QStringLiteral("config"));
        const QString cache = m_home.filePath(QStringLiteral("cache"));
        QDir().mkpath(config);
        QDir().mkpath(cache);
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_CACHE_HOME", cache.toUtf8());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    }

    void TearDown() override {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    // A window as the program makes it: constructed, then started.
    // A message box during start-up is a failure, and is closed so that the test goes on.
    std::unique_ptr<GraphForm> startWindow() {
        auto form = std::make_unique<GraphForm>();
        const auto boxes = answerMessageBoxes([&form] { EXPECT_TRUE(form->Form_Load()); });
        for (const SeenBox& box : boxes)
            ADD_FAILURE() << "message at start-up: " << qPrintable(box.text);
        return form;
    }

    // The settings store the window reads and writes.
    static QSettings store() {
        return QSettings(QSettings::IniFormat, QSettings::UserScope, "Ketra", "Ketra");
    }

    QString configFolder() const { return m_home.filePath(QStringLiteral("config")); }
    QString cacheFolder() const { return m_home.filePath(QStringLiteral("cache")); }

    // A folder below the test's temp folder, made afresh.
    QString makeFolder(const QString& relative) {
        const QString path = m_home.filePath(QStringLiteral("tree/") + relative);
        EXPECT_TRUE(QDir().mkpath(path)) << qPrintable(path);
        return path;
    }

    // A file of `bytes` bytes below the test's temp folder.
    QString makeFile(const QString& relative, qint64 bytes) {
        const QString path = m_home.filePath(QStringLiteral("tree/") + relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(path);
        f.write(QByteArray(bytes, 'x'));
        return path;
    }

    // Runs `action`; every modal message box that opens meanwhile is recorded and closed with OK.
    struct SeenBox {
        QString title;
        QString text;
    };
    std::vector<SeenBox> answerMessageBoxes(const std::function<void()>& action) {
        std::vector<SeenBox> seen;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&seen] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen.push_back({box->windowTitle(), box->text()});
                if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->accept();
            }
        });
        poll.start();
        action();
        poll.stop();
        return seen;
    }

    QTemporaryDir m_home;
};
