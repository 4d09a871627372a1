#include "sound/sound.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "support.h"

namespace {

// Collects what the sound row writes to its debug category.
class SoundTrace
{
public:
    SoundTrace() : previous(qInstallMessageHandler(handle)) { current = this; }
    ~SoundTrace()
    {
        current = nullptr;
        qInstallMessageHandler(previous);
    }
    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        if (current && qstrcmp(context.category, "velmar.sound") == 0 && type == QtDebugMsg) {
            current->lines << msg;
            return;
        }
        current->previous(type, context, msg);
    }
    static inline SoundTrace *current = nullptr;
    QtMessageHandler previous;
};

QLineEdit *field(Sound &row, const char *name)
{
    return row.findChild<QLineEdit *>(QLatin1String(name));
}

void clickPlay(Sound &row)
{
    QTest::mouseClick(row.findChild<QPushButton *>(QStringLiteral("Play")), Qt::LeftButton);
}

} // namespace

class TestSound : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void eventList_data();
    void eventList();
    void volume_data();
    void volume();
    void mediaFollowsSoundFile();
    void activeIsNotConsulted();
    void emptySoundFile();
    void missingFile();
    void playsWav();
    void relativeFileFollowsWorkingDirectory();

private:
    QTemporaryDir dir;
    QString wav;
};

void TestSound::initTestCase()
{
    QVERIFY(dir.isValid());
    wav = dir.filePath(QStringLiteral("tone.wav"));
    QVERIFY(writeWav(wav));
}

void TestSound::eventList_data()
{
    QTest::addColumn<QString>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("one name") << "Alarm" << QStringList{"Alarm"};
    QTest::newRow("blanks at both ends") << "  Alarm  " << QStringList{"Alarm"};
    QTest::newRow("several blanks") << "Alarm    Fire" << QStringList{"Alarm", "Fire"};
    QTest::newRow("tabs and blanks") << "\tAlarm \t\tFire \t" << QStringList{"Alarm", "Fire"};
    QTest::newRow("line feed") << "Alarm\nFire" << QStringList{"Alarm", "Fire"};
    QTest::newRow("no-break space") << QString::fromUtf8("Alarm\u00a0Fire")
                                    << QStringList{"Alarm", "Fire"};
}

void TestSound::eventList()
{
    QFETCH(QString, names);
    QFETCH(QStringList, expected);
    Sound row(names, wav, "50", "Dev");
    QCOMPARE(row.events(), expected);
    QCOMPARE(field(row, "SoundEvents")->text(), names);

    // The list is fixed when the row is built; editing the field only changes the display.
    field(row, "SoundEvents")->setText("Other");
    QCOMPARE(row.events(), expected);
}

void TestSound::volume_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("above range") << "150" << 100;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("not a number") << "x" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("in range") << "40" << 40;
}

void TestSound::volume()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    Sound row("Alarm", "", "7", "");
    clickPlay(row);
    QCOMPARE(row.player().volume(), 7);

    field(row, "Volume")->setText(text);
    QCOMPARE(row.player().volume(), 7);
    clickPlay(row);
    QCOMPARE(row.player().volume(), expected);
}

void TestSound::mediaFollowsSoundFile()
{
    SoundTrace trace;
    const QString other = dir.filePath("other file.wav");
    QVERIFY(QFile::copy(wav, other));
    Sound row("Alarm", wav, "0", "");
    QVERIFY(row.player().media().isNull());

    row.play();
    QCOMPARE(row.player().media().request().url(), QUrl::fromLocalFile(wav));

    field(row, "SoundFile")->setText(other);
    QCOMPARE(row.player().media().request().url(), QUrl::fromLocalFile(wav));
    clickPlay(row);
    QCOMPARE(row.player().media().request().url(), QUrl::fromLocalFile(other));
    QVERIFY(row.player().media().request().url().isLocalFile());
}

void TestSound::activeIsNotConsulted()
{
    SoundTrace trace;
    Sound row("Alarm", wav, "30", "");
    auto *active = row.findChild<QCheckBox *>(QStringLiteral("Active"));
    QVERIFY(active->isChecked());
    active->setChecked(false);

    clickPlay(row);
    QCOMPARE(row.player().media().request().url(), QUrl::fromLocalFile(wav));
    QCOMPARE(row.player().volume(), 30);
}

void TestSound::emptySoundFile()
{
    SoundTrace trace;
    Sound row("Alarm", "", "50", "");
    clickPlay(row);
    QVERIFY(row.player().media().request().url().isEmpty());
    QCOMPARE(row.player().state(), QMediaPlayer::StoppedState);
    QVERIFY(trace.lines.isEmpty());
}

void TestSound::missingFile()
{
    Sound row("Alarm", dir.filePath("missing.wav"), "50", "");
    QSignalSpy errors(&row.player(), QOverload<QMediaPlayer::Error>::of(&QMediaPlayer::error));
    QVERIFY(errors.isValid());

    clickPlay(row);
    QVERIFY(errors.wait(10000));
    QTRY_COMPARE_WITH_TIMEOUT(row.player().state(), QMediaPlayer::StoppedState, 10000);
    QCOMPARE(QApplication::topLevelWidgets(), QWidgetList{&row});

    clickPlay(row);
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 2, 10000);
}

void TestSound::playsWav()
{
    SoundTrace trace;
    Sound row("Alarm", wav, "50", "");
    QSignalSpy states(&row.player(), &QMediaPlayer::stateChanged);
    QVERIFY(states.isValid());

    clickPlay(row);
    QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty(), 10000);
    QCOMPARE(states.first().first().value<QMediaPlayer::State>(), QMediaPlayer::PlayingState);
    QTRY_COMPARE_WITH_TIMEOUT(row.player().state(), QMediaPlayer::StoppedState, 10000);
    QCOMPARE(trace.lines, QStringList({"PlayingState", "StoppedState"}));
}

void TestSound::relativeFileFollowsWorkingDirectory()
{
    SoundTrace trace;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    Sound row("Alarm", QFileInfo(wav).fileName(), "50", "");
    QSignalSpy states(&row.player(), &QMediaPlayer::stateChanged);
    clickPlay(row);
    QVERIFY(QDir::setCurrent(previous));

    QCOMPARE(row.player().media().request().url(), QUrl::fromLocalFile(QFileInfo(wav).absoluteFilePath()));
    QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty(), 10000);
    QCOMPARE(states.first().first().value<QMediaPlayer::State>(), QMediaPlayer::PlayingState);
    QTRY_COMPARE_WITH_TIMEOUT(row.player().state(), QMediaPlayer::StoppedState, 10000);
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
