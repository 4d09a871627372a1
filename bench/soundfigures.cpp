#include "soundfigures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include "app/config.h"
#include "body/body.h"
#include "log/logarea.h"
#include "pulseserver.h"
#include "sound/sound.h"
#include "sound/soundwatch.h"
#include "stars/amsg.h"

namespace {

constexpr int LaterPlays = 5;
constexpr int WaitMs = 5000;
constexpr int FlapMs = 1000;

bool loadBenchConfig(const QTemporaryDir &dir, const QByteArray &keys)
{
    const QString path = dir.filePath(QStringLiteral("sound.cfg"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("CONNECT_TO_STARS 0\nEVENT Alarm alarm.wav 50\n" + keys);
    file.close();
    config = Config();
    config.loadFile(path);
    return QFile::copy(QStringLiteral(VELMAR_SOURCE_DIR "/examples/alarm.wav"), dir.filePath(QStringLiteral("alarm.wav")));
}

// One event through the main window's own slot, as the client hands it on.
double eventToPlayingMs(Body &body, SoundPlayer &player)
{
    AMsg event;
    event.cmd = QStringLiteral("Alarm");
    event.from = QStringLiteral("Dev");
    double ms = -1;
    QElapsedTimer clock;
    const QMetaObject::Connection playing = QObject::connect(&player, &SoundPlayer::stateChanged, &body, [&](SoundPlayer::State state) {
        if (state == SoundPlayer::PlayingState && ms < 0)
            ms = clock.nsecsElapsed() / 1e6;
    });
    clock.start();
    QMetaObject::invokeMethod(&body, "anyEvent", Q_ARG(AMsg, event));
    const bool played = QTest::qWaitFor([&] { return ms >= 0; }, WaitMs)
        && QTest::qWaitFor([&] { return player.state() == SoundPlayer::StoppedState; }, WaitMs);
    QObject::disconnect(playing);
    return played ? ms : -1;
}

int openFiles()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

} // namespace

PlayTimes measurePlays(bool prepared, const QByteArray &extraKeys, QString &error)
{
    PlayTimes times;
    QTemporaryDir dir;
    if (!QDir::setCurrent(dir.path()) || !loadBenchConfig(dir, (prepared ? "SOUND_WATCH 1\n" : "") + extraKeys)) {
        error = QStringLiteral("cannot write the configuration");
        return times;
    }
    Body body;
    body.show();
    SoundPlayer &player = body.findChild<Sound *>()->player();
    // The window is up once the events pending at its showing have run; a prepared player has
    // then loaded its file.
    QTest::qWait(0);
    if (prepared && !QTest::qWaitFor([&] { return player.mediaStatus() == QMediaPlayer::LoadedMedia; }, WaitMs))
        error = QStringLiteral("the prepared player did not load its file");
    times.firstMs = eventToPlayingMs(body, player);
    QVector<double> later;
    for (int i = 0; i < LaterPlays; ++i)
        later.append(eventToPlayingMs(body, player));
    std::sort(later.begin(), later.end());
    times.laterMs = later.at(later.size() / 2);
    return times;
}

WatchRun measureWatch(int flaps, QString &error)
{
    WatchRun run;
    error = PulseServer::unavailable();
    PulseServer pulse;
    QTemporaryDir dir;
    if (!error.isEmpty() || !pulse.start() || !QDir::setCurrent(dir.path()) || !loadBenchConfig(dir, "SOUND_WATCH 1\n")) {
        error += QStringLiteral(" (no PulseAudio server)");
        return run;
    }
    Body body;
    auto *watch = body.findChild<SoundWatch *>();
    QStringList lines;
    QObject::connect(watch, &SoundWatch::log, &body, [&lines](const QString &line) { lines << line; });
    if (!QTest::qWaitFor([&] { return lines.size() == 1; }, WaitMs)) {
        error = QStringLiteral("no output found");
        return run;
    }
    QElapsedTimer clock;
    clock.start();
    pulse.kill();
    if (QTest::qWaitFor([&] { return lines.size() == 2; }, WaitMs))
        run.lostSeconds = clock.elapsed() / 1e3;
    // From the moment the new server accepts connections.
    pulse.start();
    clock.start();
    if (QTest::qWaitFor([&] { return lines.size() == 3; }, WaitMs))
        run.backSeconds = clock.elapsed() / 1e3;

    run.filesBefore = openFiles();
    const int before = lines.size();
    for (int flap = 0; flap < flaps; ++flap) {
        if (flap % 2 == 0)
            pulse.kill();
        else
            pulse.start();
        QTest::qWait(FlapMs);
    }
    if (flaps % 2 == 1)
        pulse.start();
    if (flaps == 0)
        return run;
    if (!QTest::qWaitFor([&] { return watch->canBeHeard() && lines.size() > before; }, WaitMs))
        error = QStringLiteral("the output did not come back after the last change");
    QTest::qWait(FlapMs);
    run.filesAfter = openFiles();
    run.linesPerChange = double(lines.size() - before) / (flaps + flaps % 2);
    return run;
}
