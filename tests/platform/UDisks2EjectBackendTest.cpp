#include "platform/UDisks2EjectBackend.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace halcyra {
namespace {

const QString kBlock = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdz1");
const QString kDisk = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdz");
const QString kDrive = QStringLiteral("/org/freedesktop/UDisks2/drives/Stick");

// A disk service that knows /dev/sdz (a disk on drive Stick) and /dev/sdz1 (its file system), and answers
// Unmount only on the file system's object and Eject only on the drive's. It lives in a thread of its own,
// so that it answers while the backend waits.
class FakeUDisks : public QDBusVirtualObject {
public:
    // An error name to answer with; empty = success, "silence" = no answer at all.
    std::atomic<const char*> unmountAnswer{""};
    std::atomic<const char*> ejectAnswer{""};
    std::atomic<bool> resolves{true}; // whether the service has ResolveDevice

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        const QString member = message.interface() + QLatin1Char('.') + message.member();
        const QString path = message.path();
        if (member == QLatin1String("org.freedesktop.UDisks2.Manager.ResolveDevice") && !resolves)
            return answer(bus, message, "org.freedesktop.DBus.Error.UnknownMethod");
        if (member == QLatin1String("org.freedesktop.UDisks2.Manager.ResolveDevice")) {
            const QString node =
                qdbus_cast<QVariantMap>(message.arguments().value(0)).value("path").toString();
            QList<QDBusObjectPath> paths;
            if (node == QLatin1String("/dev/sdz1") || node == QLatin1String("/dev/sdz"))
                paths << QDBusObjectPath(node.endsWith(QLatin1Char('1')) ? kBlock : kDisk);
            return bus.send(message.createReply(QVariant::fromValue(paths)));
        }
        if (member == QLatin1String("org.freedesktop.DBus.Properties.Get") &&
            message.arguments() == QVariantList{"org.freedesktop.UDisks2.Block", "Drive"}) {
            const QDBusObjectPath drive(path == kDisk ? kDrive : QStringLiteral("/"));
            return bus.send(
                message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(drive)))));
        }
        if (member == QLatin1String("org.freedesktop.UDisks2.Filesystem.Unmount") && path == kBlock)
            return answer(bus, message, unmountAnswer);
        if (member == QLatin1String("org.freedesktop.UDisks2.Drive.Eject") && path == kDrive)
            return answer(bus, message, ejectAnswer);
        return answer(bus, message, "org.freedesktop.DBus.Error.UnknownObject");
    }

private:
    static bool answer(const QDBusConnection& bus, const QDBusMessage& message, const char* error) {
        if (qstrcmp(error, "silence") == 0)
            return true;
        return bus.send(*error == '\0' ? message.createReply()
                                       : message.createErrorReply(QString::fromLatin1(error), "failed"));
    }
};

// A private message bus with the fake disk service on it.
class UDisks2Bus : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            QStringLiteral("<busconfig><type>session</type><listen>unix:path=%1</listen><policy "
                           "context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/><allow "
                           "eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                .arg(m_folder.filePath(QStringLiteral("socket")))
                .toUtf8());
        file.close();
        m_daemon.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                QStringLiteral("--print-address=1")});
        while (!m_daemon.canReadLine())
            ASSERT_TRUE(m_daemon.waitForReadyRead(10000)) << "the bus did not start";
        m_address = m_daemon.readLine().trimmed().toStdString();
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(m_address), kName);
        ASSERT_TRUE(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), &m_service,
                                              QDBusConnection::SubPath));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.UDisks2")));
        m_service.moveToThread(&m_thread);
        m_thread.start();
    }

    void TearDown() override {
        QDBusConnection::disconnectFromBus(kName);
        m_thread.quit();
        m_thread.wait();
        m_daemon.kill();
        m_daemon.waitForFinished(10000);
    }

    static inline const QString kName = QStringLiteral("fake-udisks2");
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QThread m_thread;
    FakeUDisks m_service;
    std::string m_address;
};

TEST_F(UDisks2Bus, UnmountsTheResolvedFileSystem) {
    UDisks2EjectBackend backend(m_address, 10000);
    EXPECT_TRUE(backend.unmount("/dev/sdz1", "/media/stick"));
    m_service.unmountAnswer = "org.freedesktop.UDisks2.Error.NotMounted";
    EXPECT_TRUE(backend.unmount("/dev/sdz1", "/media/stick"));
    m_service.unmountAnswer = "org.freedesktop.UDisks2.Error.DeviceBusy";
    EXPECT_FALSE(backend.unmount("/dev/sdz1", "/media/stick"));
    EXPECT_FALSE(backend.unmount("/dev/unknown", "/media/x"));
    // A service without ResolveDevice is addressed by the device's name.
    m_service.resolves = false;
    m_service.unmountAnswer = "";
    EXPECT_TRUE(backend.unmount("/dev/sdz1", "/media/stick"));
}

TEST_F(UDisks2Bus, EjectsTheDriveOfTheDiskWithinTheTimeOut) {
    UDisks2EjectBackend backend(m_address, 10000);
    EXPECT_TRUE(backend.eject("/dev/sdz"));
    EXPECT_FALSE(backend.eject("/dev/sdz1")); // no drive
    m_service.ejectAnswer = "org.freedesktop.UDisks2.Error.Failed";
    EXPECT_FALSE(backend.eject("/dev/sdz"));
    m_service.ejectAnswer = "silence";
    EXPECT_FALSE(UDisks2EjectBackend(m_address, 300).eject("/dev/sdz"));
}

TEST(UDisks2EjectBackend, AbsentBusFailsAtOnceAndNamesAreEscaped) {
    UDisks2EjectBackend backend("unix:path=/nonexistent/halcyra/bus", 60000);
    EXPECT_FALSE(backend.unmount("/dev/sdz1", "/media/stick"));
    EXPECT_FALSE(backend.eject("/dev/sdz"));
    EXPECT_EQ(UDisks2EjectBackend::blockObjectPath("dm-0_\xC3"),
              "/org/freedesktop/UDisks2/block_devices/dm_2d0_5f_c3");
}

} // namespace
} // namespace halcyra
