// Feeds an arbitrary byte stream to the client's receive loop as its server's: the first line
// is taken as the key index, later ones as the acceptance and as messages; then the connection
// ends. The bytes arrive in two reads, split in the middle, so that a line may span both.
// The client is never connected: its socket refuses what it writes, while everything before
// the write (the log-in state, the replies and their signals) runs as on a live connection.
// One client serves every input, as one serves every connection of a session; the end of each
// input reaches it through the slot of its socket's disconnected().
// With VELMAR_FUZZ_TRACE set, each run prints what reached the logged-in dispatch, so a seed
// can be checked to get past the log-in.
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>

#include "stars/stars.h"
#include "fuzzcheck.h"

namespace {

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
    Stars stars;
    Reached reached;
    bool disconnected = false;
    bool trace = false;
};

Harness *harness = nullptr;

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

void deliver(const char *data, int size)
{
    QByteArray bytes = QByteArray::fromRawData(data, size);
    QBuffer read(&bytes);
    check(read.open(QIODevice::ReadOnly));
    harness->stars.receiveFrom(read);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(discardMessages);
    static QApplication app(*argc, *argv);
    harness = new Harness;
    harness->trace = qEnvironmentVariableIsSet("VELMAR_FUZZ_TRACE");
    const QString keyFile = harness->dir.filePath(QStringLiteral("Zendri.key"));
    writeKeyFile(keyFile);
    Stars &stars = harness->stars;
    QObject::connect(&stars, &Stars::starsIsNotReady, &stars, [] { harness->disconnected = true; });
    QObject::connect(&stars, &Stars::vlog, &stars, [](const QString &, const QColor &) {});
    if (harness->trace)
        count(stars, harness->reached);
    stars.nodeNameField()->setText(QStringLiteral("Zendri"));
    stars.keyFileField()->setText(keyFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    harness->reached = Reached();
    harness->disconnected = false;
    const auto *bytes = reinterpret_cast<const char *>(data);
    const int half = int(size / 2);
    deliver(bytes, half);
    deliver(bytes + half, int(size) - half);
    check(QMetaObject::invokeMethod(&harness->stars, "disconnectedFromStars"));
    check(harness->disconnected && harness->stars.connectionState() == 0);
    if (harness->trace) {
        const Reached &r = harness->reached;
        std::fprintf(stderr, "fuzz_receive: ready=%d answers=%d events=%d asks=%d replies=%d\n", r.ready, r.answers,
                     r.events, r.asks, r.replies);
    }
    return 0;
}
