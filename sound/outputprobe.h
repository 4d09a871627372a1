#pragma once

#include <QObject>
#include <QTimer>

#include "sound/soundoutput.h"

struct pa_context;
struct pa_mainloop;

// Finds out where sounds go: asks the sound server (PulseAudio, or PipeWire's service for its
// clients) for its default output and follows its changes; without a server, tries whether an
// ALSA device can be opened. The server's client library runs on a main loop of its own that
// the probe turns without blocking from a timer, so everything stays on the GUI thread. A
// server that goes is tried again every RetryMs, with a new connection each time.
class OutputProbe : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(OutputProbe)

public:
    static constexpr int PollMs = 200;
    static constexpr int RetryMs = 500;
    // PulseAudio's and PipeWire's stand-in sink when there is no device: it plays into nothing.
    static constexpr const char *DummySink = "auto_null";

    explicit OutputProbe(QObject *parent = nullptr);
    ~OutputProbe() override;

    // Connects to the server; the first finding follows within a poll or two.
    void start();

signals:
    // The output changed; never emitted twice in a row for the same finding.
    void found(const SoundOutput &output);

private:
    void poll();
    void connectToServer();
    void dropContext();
    void serverGone();
    void askServer();
    void report(SoundOutput::State state, const QString &text);

    // The client library's callbacks, which reach back into the probe.
    struct Callbacks;

    pa_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    // The context failed inside one of its own callbacks; it is freed after the loop returns.
    bool contextFailed = false;
    bool serverReady = false;
    bool sinkFound = false;
    QTimer pollTimer;
    QTimer retryTimer;
    SoundOutput last;
};
