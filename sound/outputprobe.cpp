#include "sound/outputprobe.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>
#include <pulse/pulseaudio.h>

Q_LOGGING_CATEGORY(lcOutput, "velmar.sound.output")

namespace {

const char *const ClientName = "Velmar sound watch";

void quietAlsaError(const char *, int, const char *, int, const char *, ...)
{
}

// Without a sound server, sounds go straight to ALSA's default device. A device that is busy
// exists and plays once it is free, so it counts as there.
SoundOutput alsaOutput()
{
    // ALSA prints every failed open on standard error; the probe tries often.
    const snd_lib_error_handler_t previous = snd_lib_error;
    snd_lib_error_set_handler(quietAlsaError);
    snd_pcm_t *pcm = nullptr;
    const int error = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error == 0)
        snd_pcm_close(pcm);
    snd_lib_error_set_handler(previous);
    if (error == 0 || error == -EBUSY)
        return {SoundOutput::State::Usable, QStringLiteral("ALSA default device")};
    return {SoundOutput::State::Lost,
            QStringLiteral("no sound server, and no ALSA device (%1)").arg(QString::fromLocal8Bit(snd_strerror(error)))};
}

} // namespace

struct OutputProbe::Callbacks
{
    static void contextState(pa_context *c, void *self);
    static void serverEvent(pa_context *c, pa_subscription_event_type_t type, uint32_t index, void *self);
    static void serverInfo(pa_context *c, const pa_server_info *info, void *self);
    static void sinkInfo(pa_context *c, const pa_sink_info *info, int eol, void *self);
};

OutputProbe::OutputProbe(QObject *parent)
    : QObject(parent)
    , loop(pa_mainloop_new())
{
    pollTimer.setInterval(PollMs);
    connect(&pollTimer, &QTimer::timeout, this, &OutputProbe::poll);
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(RetryMs);
    connect(&retryTimer, &QTimer::timeout, this, &OutputProbe::connectToServer);
}

OutputProbe::~OutputProbe()
{
    dropContext();
    pa_mainloop_free(loop);
}

void OutputProbe::start()
{
    pollTimer.start();
    connectToServer();
}

// Runs whatever the client library has pending (replies, events, a closed connection) and
// returns at once.
void OutputProbe::poll()
{
    while (pa_mainloop_iterate(loop, 0, nullptr) > 0) {
    }
    if (contextFailed)
        serverGone();
}

// No automatic start of a server: the probe only looks. The server named by PULSE_SERVER or
// the client configuration is taken, as the media back end takes it.
void OutputProbe::connectToServer()
{
    dropContext();
    context = pa_context_new(pa_mainloop_get_api(loop), ClientName);
    if (!context) {
        serverGone();
        return;
    }
    pa_context_set_state_callback(context, &Callbacks::contextState, this);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        serverGone();
}

void OutputProbe::dropContext()
{
    contextFailed = false;
    if (!context)
        return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

void OutputProbe::serverGone()
{
    // Only a connection that worked is worth a line; the retries fail the same way each time.
    if (context && serverReady)
        qCDebug(lcOutput) << "sound server gone:" << pa_strerror(pa_context_errno(context));
    serverReady = false;
    dropContext();
    const SoundOutput alsa = alsaOutput();
    report(alsa.state, alsa.text);
    retryTimer.start();
}

void OutputProbe::askServer()
{
    if (pa_operation *op = pa_context_get_server_info(context, &Callbacks::serverInfo, this))
        pa_operation_unref(op);
}

void OutputProbe::report(SoundOutput::State state, const QString &text)
{
    const SoundOutput next {state, text};
    if (next == last)
        return;
    last = next;
    emit found(next);
}

void OutputProbe::Callbacks::contextState(pa_context *c, void *self)
{
    auto *probe = static_cast<OutputProbe *>(self);
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY:
        probe->serverReady = true;
        // Changes of the server (its default output) and of its sinks come as events.
        pa_context_set_subscribe_callback(c, &Callbacks::serverEvent, probe);
        if (pa_operation *op = pa_context_subscribe(
                c, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_SINK), nullptr, nullptr))
            pa_operation_unref(op);
        probe->askServer();
        return;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        probe->contextFailed = true;
        return;
    default:
        return;
    }
}

void OutputProbe::Callbacks::serverEvent(pa_context *, pa_subscription_event_type_t, uint32_t, void *self)
{
    static_cast<OutputProbe *>(self)->askServer();
}

void OutputProbe::Callbacks::serverInfo(pa_context *c, const pa_server_info *info, void *self)
{
    auto *probe = static_cast<OutputProbe *>(self);
    const QByteArray sink = info && info->default_sink_name ? QByteArray(info->default_sink_name) : QByteArray();
    if (sink.isEmpty()) {
        probe->report(SoundOutput::State::Lost, QStringLiteral("no device"));
        return;
    }
    if (sink == DummySink) {
        probe->report(SoundOutput::State::Lost, QStringLiteral("only the dummy output"));
        return;
    }
    probe->sinkFound = false;
    if (pa_operation *op = pa_context_get_sink_info_by_name(c, sink.constData(), &Callbacks::sinkInfo, probe))
        pa_operation_unref(op);
}

// A sink whose active port is known to be unplugged (headphones pulled out) plays into nothing.
void OutputProbe::Callbacks::sinkInfo(pa_context *, const pa_sink_info *info, int eol, void *self)
{
    auto *probe = static_cast<OutputProbe *>(self);
    if (!info) {
        if (eol != 0 && !probe->sinkFound)
            probe->report(SoundOutput::State::Lost, QStringLiteral("no device"));
        return;
    }
    probe->sinkFound = true;
    const QString description = QString::fromUtf8(info->description ? info->description : info->name);
    if (info->active_port && info->active_port->available == PA_PORT_AVAILABLE_NO)
        probe->report(SoundOutput::State::Lost, QStringLiteral("%1 is unplugged").arg(description));
    else
        probe->report(SoundOutput::State::Usable, description);
}
