#include "platform/UDisks2EjectBackend.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QVariantMap>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace halcyra {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kManager = QStringLiteral("org.freedesktop.UDisks2.Manager");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kNotMounted = QStringLiteral("org.freedesktop.UDisks2.Error.NotMounted");
const QString kUnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");

std::string realDeviceNode(const std::string& node) {
    char* resolved = realpath(node.c_str(), nullptr);
    if (resolved == nullptr)
        return node;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

} // namespace

UDisks2EjectBackend::UDisks2EjectBackend(int timeoutMs)
    : m_connectionName(QDBusConnection::systemBus().name()), m_timeoutMs(timeoutMs) {}

UDisks2EjectBackend::UDisks2EjectBackend(const std::string& busAddress, int timeoutMs)
    : m_ownConnection(true), m_timeoutMs(timeoutMs) {
    static std::atomic<int> counter{0};
    m_connectionName = QStringLiteral("halcyra-udisks2-%1").arg(++counter);
    QDBusConnection::connectToBus(QString::fromStdString(busAddress), m_connectionName);
}

UDisks2EjectBackend::~UDisks2EjectBackend() {
    if (m_ownConnection)
        QDBusConnection::disconnectFromBus(m_connectionName);
}

std::string UDisks2EjectBackend::blockObjectPath(const std::string& deviceName) {
    std::string path = "/org/freedesktop/UDisks2/block_devices/";
    for (const char c : deviceName) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            path += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "_%02x", static_cast<unsigned char>(c));
            path += escaped;
        }
    }
    return path;
}

QString UDisks2EjectBackend::blockObject(const std::string& deviceNode) const {
    if (deviceNode.empty())
        return {};
    const QDBusConnection bus(m_connectionName);
    if (!bus.isConnected())
        return {};
    const std::string node = realDeviceNode(deviceNode);
    QDBusMessage request =
        QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("ResolveDevice"));
    const QVariantMap spec{{QStringLiteral("path"), QFile::decodeName(QByteArray::fromStdString(node))}};
    request.setArguments({spec, QVariantMap()});
    const QDBusMessage reply = bus.call(request, QDBus::Block, m_timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        const auto paths = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().constFirst());
        return paths.isEmpty() ? QString() : paths.constFirst().path();
    }
    // A service older than ResolveDevice names its objects after the device.
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == kUnknownMethod) {
        const std::size_t slash = node.rfind('/');
        return QString::fromStdString(blockObjectPath(node.substr(slash + 1)));
    }
    return {};
}

bool UDisks2EjectBackend::unmount(const std::string& deviceNode, const std::string&) {
    const QString object = blockObject(deviceNode);
    if (object.isEmpty())
        return false;
    QDBusMessage request =
        QDBusMessage::createMethodCall(kService, object, kFilesystem, QStringLiteral("Unmount"));
    request.setArguments({QVariantMap()});
    const QDBusMessage reply = QDBusConnection(m_connectionName).call(request, QDBus::Block, m_timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage ||
           (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == kNotMounted);
}

bool UDisks2EjectBackend::eject(const std::string& deviceNode) {
    const QString object = blockObject(deviceNode);
    if (object.isEmpty())
        return false;
    const QDBusConnection bus(m_connectionName);
    QDBusMessage query = QDBusMessage::createMethodCall(kService, object, kProperties, QStringLiteral("Get"));
    query.setArguments({kBlock, QStringLiteral("Drive")});
    const QDBusMessage answer = bus.call(query, QDBus::Block, m_timeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return false;
    const QString drive =
        qdbus_cast<QDBusVariant>(answer.arguments().constFirst()).variant().value<QDBusObjectPath>().path();
    if (drive.isEmpty() || drive == QLatin1String("/"))
        return false;
    QDBusMessage request = QDBusMessage::createMethodCall(kService, drive, kDrive, QStringLiteral("Eject"));
    request.setArguments({QVariantMap()});
    return bus.call(request, QDBus::Block, m_timeoutMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace halcyra
