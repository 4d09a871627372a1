// Plays an arbitrary byte stream to the client as its server: the first line is taken as the
// key index, later ones as the acceptance and as messages; then the server closes the
// connection. The client must survive it and report the disconnection.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <cstdlib>

#include "stars/stars.h"

namespace {

constexpr int TimeoutMs = 5000;

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Harness
{
    QTemporaryDir dir;
    QTcpServer server;
    QString keyFile;
};

Harness *harness = nullptr;

bool waitUntil(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > TimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void writeKeyFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    file.write("k1\nk2\n\nk4\n");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(discardMessages);
    static QApplication app(*argc, *argv);
    harness = new Harness;
    harness->keyFile = harness->dir.filePath(QStringLiteral("Zendri.key"));
    writeKeyFile(harness->keyFile);
    if (!harness->server.listen(QHostAddress::LocalHost))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bool disconnected = false;
    {
        Stars stars(nullptr);
        QObject::connect(&stars, &Stars::starsIsNotReady, &stars, [&disconnected] { disconnected = true; });
        QObject::connect(&stars, &Stars::vlog, &stars, [](const QString &, const QColor &) {});
        stars.hostField()->setText(QStringLiteral("127.0.0.1"));
        stars.portField()->setText(QString::number(harness->server.serverPort()));
        stars.nodeNameField()->setText(QStringLiteral("Zendri"));
        stars.keyFileField()->setText(harness->keyFile);
        stars.connectToStars();

        if (!harness->server.waitForNewConnection(TimeoutMs))
            std::abort();
        QTcpSocket *peer = harness->server.nextPendingConnection();
        peer->write(reinterpret_cast<const char *>(data), qint64(size));
        if (!waitUntil([peer] { return peer->bytesToWrite() == 0; }))
            std::abort();
        peer->disconnectFromHost();
        if (!waitUntil([&disconnected] { return disconnected; }))
            std::abort();
        if (stars.connectionState() != 0)
            std::abort();
        delete peer;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
