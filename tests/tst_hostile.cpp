#include <QtTest>

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "support.h"
#include "scriptedserver.h"
#include "stars/connectstat.h"
#include "stars/stars.h"

namespace {

// Script steps that are not bytes to send.
const QByteArray WaitKey = "<key>";
const QByteArray LogIn = "<login>";
const QByteArray Drop = "<drop>";
const QByteArray Close = "<close>";
const QByteArray Stall = "<stall>";
const QByteArray Resume = "<resume>";
const QByteArray Mark = "<mark>";

constexpr int FloodLines = 100000;
constexpr int HugeLine = 64 * 1024 * 1024;
constexpr int LongWait = 120000;

const QByteArray HelloAnswer = " @Hello Hello! I am N. Nice to meet you!";

QByteArray repeated(const QByteArray &line, int count)
{
    QByteArray bytes;
    bytes.reserve(line.size() * count);
    for (int i = 0; i < count; ++i)
        bytes += line;
    return bytes;
}

// The same pseudo-random bytes on every run.
QByteArray junk(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

} // namespace

// Servers that break the rules: the client must survive them and log in cleanly afterwards.
class TestHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void misbehavingServer_data();
    void misbehavingServer();

private:
    void runStep(const QByteArray &step);
    void probeHello();
    void connectAgain();

    QTemporaryDir keys;

    ScriptedServer *server = nullptr;
    Stars *stars = nullptr;
    int events = 0;
    int marks = 0;
    int readies = 0;
};

void TestHostile::initTestCase()
{
    // Junk makes the client and the item splitter talk a lot; none of it is asserted here.
    QLoggingCategory::setFilterRules(QStringLiteral("velmar.*.debug=false"));
    QVERIFY(keys.isValid());
    QVERIFY(writeFile(keys.filePath("N.key"), "n0\nn1\nn2\n"));
}

void TestHostile::init()
{
    server = new ScriptedServer;
    QVERIFY(server->isListening());
    stars = new Stars;
    stars->nodeNameField()->setText("N");
    stars->keyFileField()->setText(keys.filePath("N.key"));
    stars->hostField()->setText("127.0.0.1");
    stars->portField()->setText(QString::number(server->port()));
    events = 0;
    readies = 0;
    marks = 0;
    connect(stars, &Stars::anyEvent, this, [this](const AMsg &msg) {
        ++events;
        if (msg.cmd == QLatin1String("Mark"))
            ++marks;
    });
    connect(stars, &Stars::starsIsReady, this, [this] { ++readies; });
}

void TestHostile::cleanup()
{
    delete stars;
    stars = nullptr;
    delete server;
    server = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestHostile::misbehavingServer_data()
{
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("keyLine");
    QTest::addColumn<int>("eventCount");

    const int disconnected = ConnectStat::Disconnected;
    const int connecting = ConnectStat::Connecting;
    const int connected = ConnectStat::Connected;
    const QByteArray none;
    const QByteArray accept = "System>N Ok:\n";
    const QByteArray flood = repeated("Dev>N _Flood 1 2 3\n", FloodLines);
    const QByteArray hellos = repeated("C>N Hello\n", FloodLines);
    const QByteArray nulStorm = QByteArray(1 << 20, '\0') + '\n' + repeated(QByteArray("\0\n", 2), FloodLines);

    // The log-in, malformed.
    QTest::newRow("no key index, acceptance first") << QByteArrayList{ accept, WaitKey } << connecting << QByteArray("N n0") << 0;
    QTest::newRow("garbage index") << QByteArrayList{ "x7!\n", WaitKey } << connecting << QByteArray("N n0") << 0;
    QTest::newRow("negative index") << QByteArrayList{ "-1\n", WaitKey } << connecting << QByteArray("N n2") << 0;
    QTest::newRow("most negative index") << QByteArrayList{ "-2147483648\n", WaitKey } << connecting << QByteArray("N n1") << 0;
    QTest::newRow("huge index") << QByteArrayList{ "99999999999999999999999\n", WaitKey } << connecting << QByteArray("N n0") << 0;
    QTest::newRow("index one past int") << QByteArrayList{ "2147483648\n", WaitKey } << connecting << QByteArray("N n0") << 0;
    QTest::newRow("empty index line") << QByteArrayList{ "\n", WaitKey } << connecting << QByteArray("N n0") << 0;
    QTest::newRow("only CR, then LF") << QByteArrayList{ "\r\n", WaitKey } << connecting << QByteArray("N n0") << 0;
    QTest::newRow("CR as the line end") << QByteArrayList{ "1\r1\r1\r" } << disconnected << none << 0;
    QTest::newRow("index split over packets") << QByteArrayList{ "1", "0", "\n", WaitKey } << connecting << QByteArray("N n1") << 0;
    QTest::newRow("index and acceptance glued") << QByteArrayList{ "2\n" + accept, WaitKey } << connected << QByteArray("N n2") << 0;
    QTest::newRow("refusal") << QByteArrayList{ "0\n", WaitKey, "System>N Er: log-in refused: wrong key\n" } << disconnected << none << 0;
    QTest::newRow("acceptance for another node") << QByteArrayList{ "0\n", WaitKey, "System>M Ok:\n" } << disconnected << none << 0;
    QTest::newRow("acceptance for a longer name") << QByteArrayList{ "0\n", WaitKey, "System>NN Ok:\n" } << disconnected << none << 0;
    QTest::newRow("lower-case ok") << QByteArrayList{ "0\n", WaitKey, "System>N ok:\n" } << disconnected << none << 0;
    QTest::newRow("leading blank") << QByteArrayList{ "0\n", WaitKey, " System>N Ok:\n" } << disconnected << none << 0;
    QTest::newRow("refusal, then acceptance and events") << QByteArrayList{ "0\n", WaitKey, "no\n" + accept + "Dev>N _A\n" } << disconnected << none << 0;
    QTest::newRow("acceptance split over packets") << QByteArrayList{ "0\n", WaitKey, "Sys", "tem>N O", "k:", "\n" } << connected << none << 0;
    QTest::newRow("acceptance with CR LF and a trailer") << QByteArrayList{ "0\n", WaitKey, "System>N Ok: hi\r\n" } << connected << none << 0;
    QTest::newRow("second acceptance") << QByteArrayList{ LogIn, accept, Mark } << connected << none << 1;
    QTest::newRow("key index after log-in") << QByteArrayList{ LogIn, "3\n", Mark } << connected << none << 1;

    // Floods and sizes.
    QTest::newRow("100k lines glued before log-in") << QByteArrayList{ flood } << disconnected << none << 0;
    QTest::newRow("100k events glued") << QByteArrayList{ LogIn, flood, Mark } << connected << none << FloodLines + 1;
    QTest::newRow("100k Hello asks glued") << QByteArrayList{ LogIn, hellos, Mark } << connected << none << 1;
    QTest::newRow("64 MiB key index line") << QByteArrayList{ QByteArray(HugeLine, '7') + '\n', WaitKey } << connecting << QByteArray("N n0") << 0;
    QTest::newRow("64 MiB message line") << QByteArrayList{ LogIn, "Dev>N _Big " + QByteArray(HugeLine, 'x') + '\n', Mark } << connected << none << 2;
    QTest::newRow("64 MiB without a line feed, then dropped") << QByteArrayList{ LogIn, QByteArray(HugeLine, 'x'), Drop } << disconnected << none << 0;
    QTest::newRow("NUL storm before log-in") << QByteArrayList{ nulStorm } << disconnected << none << 0;
    QTest::newRow("NUL storm after log-in") << QByteArrayList{ LogIn, nulStorm + QByteArray("Dev>N _A\0x\n", 11), Mark } << connected << none << 2;
    QTest::newRow("binary junk before log-in") << QByteArrayList{ junk(1 << 20, 1) } << disconnected << none << 0;
    QTest::newRow("binary junk after log-in") << QByteArrayList{ LogIn, junk(1 << 20, 2), "\n", Mark } << connected << none << -1;

    // Disconnects at every point.
    QTest::newRow("drop before the index") << QByteArrayList{ Drop } << disconnected << none << 0;
    QTest::newRow("close before the index") << QByteArrayList{ Close } << disconnected << none << 0;
    QTest::newRow("drop inside the index") << QByteArrayList{ "12", Drop } << disconnected << none << 0;
    QTest::newRow("drop after the index") << QByteArrayList{ "1\n", Drop } << disconnected << none << 0;
    QTest::newRow("drop after the key line") << QByteArrayList{ "1\n", WaitKey, Drop } << disconnected << QByteArray("N n1") << 0;
    QTest::newRow("close after the key line") << QByteArrayList{ "1\n", WaitKey, Close } << disconnected << QByteArray("N n1") << 0;
    QTest::newRow("drop mid-acceptance") << QByteArrayList{ "1\n", WaitKey, "System>N O", Drop } << disconnected << none << 0;
    QTest::newRow("drop right after acceptance") << QByteArrayList{ LogIn, Drop } << disconnected << none << 0;
    QTest::newRow("drop mid-message") << QByteArrayList{ LogIn, "Dev>N _Ala", Drop } << disconnected << none << 0;
    QTest::newRow("close mid-message") << QByteArrayList{ LogIn, "Dev>N _Ala", Close } << disconnected << none << 0;
    QTest::newRow("drop in a flood") << QByteArrayList{ LogIn, flood, Drop } << disconnected << none << -1;

    // A server that does not read what the client writes.
    QTest::newRow("never reads, Hello flood") << QByteArrayList{ LogIn, Stall, hellos, Mark, Resume } << connected << none << 1;
    QTest::newRow("never reads, then drops") << QByteArrayList{ LogIn, Stall, hellos, Mark, Drop } << disconnected << none << 1;
}

// Whatever the server did, the client is in the expected state, answers while connected
// and logs in cleanly afterwards.
void TestHostile::misbehavingServer()
{
    QFETCH(QByteArrayList, script);
    QFETCH(int, state);
    QFETCH(QByteArray, keyLine);
    QFETCH(int, eventCount);

    stars->connectToStars();
    QVERIFY(server->waitForClient());
    for (const QByteArray &step : script) {
        runStep(step);
        if (QTest::currentTestFailed())
            return;
        if (step == WaitKey && !keyLine.isEmpty())
            QCOMPARE(server->lines().value(0), keyLine);
    }
    QTRY_COMPARE_WITH_TIMEOUT(stars->connectionState(), state, LongWait);
    if (eventCount >= 0)
        QCOMPARE(events, eventCount);
    const int readiesBefore = readies;

    if (state == ConnectStat::Connected) {
        probeHello();
        QCOMPARE(readies, readiesBefore);
    }
    server->resumeReading();
    server->dropClient();
    QTRY_COMPARE(stars->connectionState(), int(ConnectStat::Disconnected));
    connectAgain();
    QVERIFY(logIn(*server, *stars));
    probeHello();
}

void TestHostile::runStep(const QByteArray &step)
{
    if (step == WaitKey) {
        QVERIFY(server->waitForLines(1, LongWait));
    } else if (step == LogIn) {
        QVERIFY(logIn(*server, *stars));
    } else if (step == Drop) {
        server->dropClient();
    } else if (step == Close) {
        server->closeClient();
        QVERIFY(server->waitForClientGone());
    } else if (step == Stall) {
        server->stopReading();
    } else if (step == Resume) {
        server->resumeReading();
    } else if (step == Mark) {
        const int before = marks;
        server->send("Dev>N _Mark\n");
        QTRY_VERIFY_WITH_TIMEOUT(marks > before, LongWait);
    } else {
        server->send(step);
    }
}

// A Hello ask with its own channel gets its answer, after whatever was queued before it.
void TestHostile::probeHello()
{
    server->send("C.probe>N Hello\n");
    const QByteArray answer = "N>C.probe" + HelloAnswer + '\n';
    QTRY_VERIFY_WITH_TIMEOUT(server->received().endsWith(answer), LongWait);
}

// The client may still be closing the last connection; a request only starts once it is done.
void TestHostile::connectAgain()
{
    QTRY_VERIFY_WITH_TIMEOUT((stars->connectToStars(), server->hasClient()), LongWait);
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
