#include "stars/connectstat.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The signals of one ConnectStat, counted from the moment of construction.
struct Requests
{
    explicit Requests(ConnectStat *stat)
        : connect(stat, SIGNAL(askConnect()))
        , disconnect(stat, SIGNAL(askDisconnect()))
    {
    }
    bool isValid() const { return connect.isValid() && disconnect.isValid(); }

    QSignalSpy connect;
    QSignalSpy disconnect;
};

} // namespace

class TestConnectStat : public QObject
{
    Q_OBJECT

private slots:
    void newObjectTouchesNoWidget();
    void shows_data();
    void shows();
    void settingAgainRepaints();
    void outOfRangeKeepsTheLook();
    void click_data();
    void click();
    void mouseClick();
    void onlyLabel();
    void onlyButton();
};

void TestConnectStat::newObjectTouchesNoWidget()
{
    ConnectStat stat;
    QCOMPARE(stat.state(), int(ConnectStat::Disconnected));
    stat.setState(ConnectStat::Connected);
    QCOMPARE(stat.state(), int(ConnectStat::Connected));

    QLabel label(QStringLiteral("form text"));
    QPushButton button(QStringLiteral("form button"));
    stat.setWidgets(&label, &button);
    QCOMPARE(label.text(), QStringLiteral("form text"));
    QCOMPARE(button.text(), QStringLiteral("form button"));
}

void TestConnectStat::shows_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("labelText");
    QTest::addColumn<QString>("labelStyle");
    QTest::addColumn<QString>("buttonText");
    QTest::addColumn<QString>("buttonStyle");

    QTest::newRow("disconnected") << int(ConnectStat::Disconnected) << QStringLiteral("Disconnected")
                                  << QStringLiteral("background-color: rgb(176, 192, 192);")
                                  << QStringLiteral("Connect") << QStringLiteral("background-color: rgb(96, 255, 181);");
    QTest::newRow("connecting") << int(ConnectStat::Connecting) << QStringLiteral("Connecting")
                                << QStringLiteral("background-color: rgb(255, 243, 162);")
                                << QStringLiteral("Connecting") << QStringLiteral("background-color: rgb(240, 240, 240);");
    QTest::newRow("connected") << int(ConnectStat::Connected) << QStringLiteral("Connected")
                               << QStringLiteral("background-color: rgb(211, 255, 241);")
                               << QStringLiteral("Disconnect") << QStringLiteral("background-color: rgb(255, 255, 128);");
}

void TestConnectStat::shows()
{
    QFETCH(int, state);
    QFETCH(QString, labelText);
    QFETCH(QString, labelStyle);
    QFETCH(QString, buttonText);
    QFETCH(QString, buttonStyle);

    ConnectStat stat;
    QLabel label;
    QPushButton button;
    stat.setWidgets(&label, &button);
    Requests requests(&stat);
    QVERIFY(requests.isValid());

    stat.setState(state);
    QCOMPARE(stat.state(), state);
    QCOMPARE(label.text(), labelText);
    QCOMPARE(label.styleSheet(), labelStyle);
    QCOMPARE(button.text(), buttonText);
    QCOMPARE(button.styleSheet(), buttonStyle);
    QCOMPARE(requests.connect.count(), 0);
    QCOMPARE(requests.disconnect.count(), 0);
}

void TestConnectStat::settingAgainRepaints()
{
    ConnectStat stat;
    QLabel label;
    QPushButton button;
    stat.setWidgets(&label, &button);
    stat.setState(ConnectStat::Connecting);
    label.setText(QStringLiteral("changed"));
    button.setStyleSheet(QString());

    stat.setState(ConnectStat::Connecting);
    QCOMPARE(label.text(), QStringLiteral("Connecting"));
    QCOMPARE(button.styleSheet(), QStringLiteral("background-color: rgb(240, 240, 240);"));
}

void TestConnectStat::outOfRangeKeepsTheLook()
{
    ConnectStat stat;
    QLabel label;
    QPushButton button;
    stat.setWidgets(&label, &button);
    stat.setState(ConnectStat::Connected);

    for (const int state : {5, -1, 3}) {
        stat.setState(state);
        QCOMPARE(stat.state(), state);
        QCOMPARE(label.text(), QStringLiteral("Connected"));
        QCOMPARE(button.text(), QStringLiteral("Disconnect"));
        QCOMPARE(label.styleSheet(), QStringLiteral("background-color: rgb(211, 255, 241);"));
    }
}

void TestConnectStat::click_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("connects");
    QTest::addColumn<int>("disconnects");

    QTest::newRow("disconnected") << int(ConnectStat::Disconnected) << 1 << 0;
    QTest::newRow("connecting") << int(ConnectStat::Connecting) << 0 << 1;
    QTest::newRow("connected") << int(ConnectStat::Connected) << 0 << 1;
    QTest::newRow("out of range") << 5 << 0 << 1;
    QTest::newRow("negative") << -1 << 0 << 1;
}

void TestConnectStat::click()
{
    QFETCH(int, state);
    QFETCH(int, connects);
    QFETCH(int, disconnects);

    ConnectStat stat;
    QLabel label;
    QPushButton button;
    stat.setWidgets(&label, &button);
    stat.setState(state);
    Requests requests(&stat);
    QVERIFY(requests.isValid());

    button.click();
    QCOMPARE(requests.connect.count(), connects);
    QCOMPARE(requests.disconnect.count(), disconnects);
}

void TestConnectStat::mouseClick()
{
    ConnectStat stat;
    QPushButton button;
    stat.setWidgets(nullptr, &button);
    stat.setState(ConnectStat::Disconnected);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    Requests requests(&stat);

    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(requests.connect.count(), 1);
    QCOMPARE(requests.disconnect.count(), 0);
}

void TestConnectStat::onlyLabel()
{
    ConnectStat stat;
    QLabel label;
    QTest::ignoreMessage(QtWarningMsg, "QObject::connect: Cannot connect (nullptr)::clicked() to ConnectStat::connectBClicked()");
    stat.setWidgets(&label, nullptr);
    stat.setState(ConnectStat::Disconnected);
    QCOMPARE(label.text(), QStringLiteral("Disconnected"));
    QCOMPARE(label.styleSheet(), QStringLiteral("background-color: rgb(176, 192, 192);"));
}

void TestConnectStat::onlyButton()
{
    ConnectStat stat;
    QPushButton button;
    stat.setWidgets(nullptr, &button);
    Requests requests(&stat);
    stat.setState(ConnectStat::Connected);
    QCOMPARE(button.text(), QStringLiteral("Disconnect"));
    button.click();
    QCOMPARE(requests.disconnect.count(), 1);
}

QTEST_MAIN(TestConnectStat)
#include "tst_connectstat.moc"
