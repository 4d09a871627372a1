// Plays an arbitrary byte stream to the client as its server: the first line is taken as the
// key index, later ones as the acceptance and as messages; then the server closes the
// connection. The client must survive it and report the disconnection.
// With VELMAR_FUZZ_TRACE set, each run prints what reached the logged-in dispatch, so a seed
// can be checked to get past the log-in.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <functional>

#include "stars/stars.h"
#include "fuzzcheck.h"

namespace {

constexpr int TimeoutMs = 5000;

// What one run delivered past the log-in.
struct Reached
{
    int ready = 0;
    int answers = 0;
    int events = 0;
    int asks = 0;
    int replies = 0;
};

struct Harness
{
    QTemporaryDir dir;
    QTcpServer server;
    QString keyFile;
    bool trace = false;
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

void count(Stars &stars, Reached &reached)
{
    QObject::connect(&stars, &Stars::starsIsReady, &stars, [&reached] { ++reached.ready; });
    QObject::connect(&stars, &Stars::anyAns, &stars, [&reached](const AMsg &) { ++reached.answers; });
    QObject::connect(&stars, &Stars::anyEvent, &stars, [&reached](const AMsg &) { ++reached.events; });
    QObject::connect(&stars, &Stars::anyAsk, &stars, [&reached](const AMsg &) { ++reached.asks; });
    QObject::connect(&stars, &Stars::sendingAnsToStars, &stars, [&reached](const QString &) { ++reached.replies; });
}

void writeKeyFile(const QString &path)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly));
    file.write("k1\nk2\n\nk4\n");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(discardMessages);
    static QApplication app(*argc, *argv);
    harness = new Harness;
    harness->trace = qEnvironmentVariableIsSet("VELMAR_FUZZ_TRACE");
    harness->keyFile = harness->dir.filePath(QStringLiteral("Zendri.key"));
    writeKeyFile(harness->keyFile);
    check(harness->server.listen(QHostAddress::LocalHost));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bool disconnected = false;
    Reached reached;
    {
        Stars stars(nullptr);
        QObject::connect(&stars, &Stars::starsIsNotReady, &stars, [&disconnected] { disconnected = true; });
        QObject::connect(&stars, &Stars::vlog, &stars, [](const QString &, const QColor &) {});
        if (harness->trace)
            count(stars, reached);
        stars.hostField()->setText(QStringLiteral("127.0.0.1"));
        stars.portField()->setText(QString::number(harness->server.serverPort()));
        stars.nodeNameField()->setText(QStringLiteral("Zendri"));
        stars.keyFileField()->setText(harness->keyFile);
        stars.connectToStars();

        check(harness->server.waitForNewConnection(TimeoutMs));
        QTcpSocket *peer = harness->server.nextPendingConnection();
        peer->write(reinterpret_cast<const char *>(data), qint64(size));
        check(waitUntil([peer] { return peer->bytesToWrite() == 0; }));
        peer->disconnectFromHost();
        check(waitUntil([&disconnected] { return disconnected; }));
        check(stars.connectionState() == 0);
        delete peer;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (harness->trace)
        std::fprintf(stderr, "fuzz_receive: ready=%d answers=%d events=%d asks=%d replies=%d\n", reached.ready,
                     reached.answers, reached.events, reached.asks, reached.replies);
    return 0;
}
