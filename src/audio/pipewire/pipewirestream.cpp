#include "audio/pipewire/pipewirestream.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/param/props.h>

#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace audio::pipewire {

namespace {

// Longest wait for the session manager to link a new stream.
constexpr std::int64_t kLinkTimeoutNs = 5'000'000'000;
// How often the stall watch looks.
constexpr long kWatchNs = 250'000'000;

spa_audio_format SpaFormat(int bits)
{
    switch (bits) {
    case 8: return SPA_AUDIO_FORMAT_U8;
    case 16: return SPA_AUDIO_FORMAT_S16_LE;
    default: return SPA_AUDIO_FORMAT_S32_LE; // 24-bit samples travel in 32-bit containers
    }
}

} // namespace

struct PwStream::Hooks {
    spa_hook listener{};
    pw_stream_events events{};
};

std::uint64_t StatusBoard::claim(bool input)
{
    std::lock_guard lock(mutex_);
    current_[input] = ++next_;
    open_[input] = false;
    return next_;
}

void StatusBoard::publish(std::uint64_t ticket, const PipeWireStreamStatus &s)
{
    std::lock_guard lock(mutex_);
    if (current_[s.input] != ticket)
        return;
    status_[s.input] = s;
    open_[s.input] = true;
}

void StatusBoard::close(std::uint64_t ticket, bool input)
{
    std::lock_guard lock(mutex_);
    if (current_[input] == ticket)
        open_[input] = false;
}

PipeWireStreamStatus StatusBoard::read(bool input, bool &open) const
{
    std::lock_guard lock(mutex_);
    open = open_[input];
    return status_[input];
}

PwStream::PwStream(std::shared_ptr<PwConnection> connection, std::shared_ptr<StatusBoard> board, bool capture,
                   const WaveFormat &format)
    : connection_(std::move(connection)), capture_(capture), format_(format), hooks_(std::make_unique<Hooks>()),
      board_(std::move(board))
{
    status_.input = capture;
    status_.requestedRate = format.nSamplesPerSec;
    status_.clockName.reserve(64);
}

PwStream::~PwStream()
{
    if (stream_ || timer_) {
        LoopLock lock(*connection_);
        release();
    }
}

int PwStream::open(const PwNode &target)
{
    LoopLock lock(*connection_);
    if (!connection_->alive())
        return PIPEWIRE_NO_SERVER;
    if (phase_ != Phase::Idle)
        return MMSYSERR_ERROR;
    {
        std::lock_guard data(mutex_);
        status_.nodeName = target.name;
        status_.nodeId = target.id;
    }

    const unsigned rate = format_.nSamplesPerSec;
    pw_properties *props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, capture_ ? "Capture" : "Playback",
        PW_KEY_MEDIA_ROLE, "Production", PW_KEY_NODE_NAME, capture_ ? "sonalyx-capture" : "sonalyx-playback",
        PW_KEY_MEDIA_NAME, capture_ ? "Measurement input" : "Measurement output",
        PW_KEY_TARGET_OBJECT, target.name.c_str(), PW_KEY_NODE_DONT_RECONNECT, "true",
        PW_KEY_STREAM_DONT_REMIX, "true",
        // The session manager must not put back a volume or a target that a
        // desktop mixer once gave a stream of this program.
        "state.restore-props", "false", "state.restore-target", "false", nullptr);
    // A request: the graph takes it only where its allowed rates let it;
    // otherwise the server resamples, which status() reports.
    pw_properties_setf(props, PW_KEY_NODE_RATE, "1/%u", rate);
    pw_properties_setf(props, PW_KEY_NODE_LATENCY, "%u/%u", LatencyFrames(rate), rate);
    stream_ = pw_stream_new(connection_->core(), capture_ ? "sonalyx capture" : "sonalyx playback", props);
    if (!stream_)
        return PIPEWIRE_STREAM_FAILED;

    Hooks &h = *hooks_;
    h.events.version = PW_VERSION_STREAM_EVENTS;
    h.events.state_changed = [](void *data, pw_stream_state, pw_stream_state state, const char *error) {
        static_cast<PwStream *>(data)->onStateChanged(state, error);
    };
    h.events.param_changed = [](void *data, std::uint32_t id, const spa_pod *param) {
        static_cast<PwStream *>(data)->onParamChanged(id, param);
    };
    h.events.io_changed = [](void *data, std::uint32_t id, void *area, std::uint32_t) {
        static_cast<PwStream *>(data)->onIoChanged(id, area);
    };
    h.events.process = [](void *data) { static_cast<PwStream *>(data)->onProcess(); };
    pw_stream_add_listener(stream_, &h.listener, &h.events, this);

    spa_audio_info_raw info{};
    info.format = SpaFormat(format_.wBitsPerSample);
    info.rate = rate;
    info.channels = format_.nChannels;
    if (info.channels == 1) {
        info.position[0] = SPA_AUDIO_CHANNEL_MONO;
    } else {
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
    }
    std::uint8_t buffer[1024];
    spa_pod_builder b{};
    spa_pod_builder_init(&b, buffer, sizeof buffer);
    const spa_pod *params[1] = {spa_format_audio_raw_build(&b, SPA_PARAM_EnumFormat, &info)};

    connection_->addWatcher(this);
    phase_ = Phase::Linking;
    // The cycles run on the data thread: the server need not wait for a
    // loop thread that a busy machine holds up.
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                    PW_STREAM_FLAG_DONT_RECONNECT | PW_STREAM_FLAG_RT_PROCESS);
    if (pw_stream_connect(stream_, capture_ ? PW_DIRECTION_INPUT : PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params,
                          1) < 0) {
        release();
        phase_ = Phase::Closed;
        return PIPEWIRE_STREAM_FAILED;
    }
    timer_ = pw_loop_add_timer(connection_->loop(), [](void *data, std::uint64_t) {
        static_cast<PwStream *>(data)->onTimer();
    }, this);
    if (timer_) {
        timespec every{0, kWatchNs};
        pw_loop_update_timer(connection_->loop(), timer_, &every, &every, false);
    }

    timespec deadline{};
    pw_thread_loop_get_time(connection_->threadLoop(), &deadline, kLinkTimeoutNs);
    while (phase_ == Phase::Linking)
        if (pw_thread_loop_timed_wait_full(connection_->threadLoop(), &deadline) != 0)
            break;
    if (phase_ == Phase::Linking)
        openError_ = PIPEWIRE_NOT_LINKED;
    if (phase_ != Phase::Linked) {
        release();
        phase_ = Phase::Closed;
        return openError_;
    }

    // Unity gain, unmuted: the stream carries the samples as they are.
    float ones[SPA_AUDIO_MAX_CHANNELS];
    std::fill(std::begin(ones), std::end(ones), 1.0f);
    float one = 1.0f, unmuted = 0.0f;
    pw_stream_set_control(stream_, SPA_PROP_volume, 1, &one, SPA_PROP_channelVolumes, info.channels, ones,
                          SPA_PROP_mute, 1, &unmuted, 0);
    return MMSYSERR_NOERROR;
}

void PwStream::destroy()
{
    LoopLock lock(*connection_);
    phase_ = Phase::Closed;
    release();
}

void PwStream::release()
{
    connection_->removeWatcher(this);
    if (timer_) {
        pw_loop_destroy_source(connection_->loop(), timer_);
        timer_ = nullptr;
    }
    if (stream_) {
        // Waits until the data thread is out of process(), and takes our
        // listener off the stream.
        pw_stream_destroy(stream_);
        stream_ = nullptr;
    }
    std::lock_guard data(mutex_);
    position_ = nullptr;
    linked_ = false;
    if (board_ && ticket_)
        board_->close(ticket_, capture_);
}

PipeWireStreamStatus PwStream::status()
{
    std::lock_guard data(mutex_);
    return status_;
}

void PwStream::fail(int code, const char *why)
{
    if (phase_ == Phase::Linking) {
        phase_ = Phase::Failed;
        openError_ = code;
        qWarning("PipeWire %s to %s not opened: %s", capture_ ? "capture" : "playback", status_.nodeName.c_str(), why);
        connection_->signal();
    } else if (phase_ == Phase::Linked) {
        phase_ = Phase::Failed;
        std::lock_guard data(mutex_);
        linked_ = false;
        lostOnce_ = true;
        if (board_)
            board_->close(ticket_, capture_);
        qWarning("PipeWire %s on %s stopped: %s", capture_ ? "capture" : "playback", status_.nodeName.c_str(), why);
        lost();
    }
}

void PwStream::graphChanged()
{
    if (phase_ != Phase::Linking && phase_ != Phase::Linked)
        return;
    if (!connection_->alive())
        return fail(PIPEWIRE_NO_SERVER, "the server is gone");
    std::uint32_t target;
    {
        std::lock_guard data(mutex_);
        target = status_.nodeId;
    }
    if (!connection_->hasNode(target))
        return fail(PIPEWIRE_NODE_NOT_FOUND, "the node is gone");
    const std::uint32_t self = pw_stream_get_node_id(stream_);
    if (self == SPA_ID_INVALID)
        return;
    int toTarget = 0;
    for (const PwLink &l : connection_->links()) {
        const std::uint32_t ours = capture_ ? l.inputNode : l.outputNode;
        if (ours != self)
            continue;
        if ((capture_ ? l.outputNode : l.inputNode) != target)
            return fail(PIPEWIRE_LINKED_ELSEWHERE, "linked to another node");
        ++toTarget;
    }
    if (phase_ == Phase::Linking && toTarget > 0) {
        phase_ = Phase::Linked;
        {
            std::lock_guard data(mutex_);
            linked_ = true;
            lastCycle_ = Clock::now();
            if (board_) {
                ticket_ = board_->claim(capture_);
                board_->publish(ticket_, status_);
            }
        }
        connection_->signal();
    } else if (phase_ == Phase::Linked && toTarget == 0) {
        fail(PIPEWIRE_NOT_LINKED, "the link to the node is gone");
    }
}

void PwStream::onStateChanged(int state, const char *error)
{
    switch (state) {
    case PW_STREAM_STATE_ERROR:
        fail(PIPEWIRE_STREAM_FAILED, error ? error : "stream error");
        break;
    case PW_STREAM_STATE_UNCONNECTED:
        fail(PIPEWIRE_STREAM_FAILED, "disconnected");
        break;
    default:
        graphChanged();
        break;
    }
}

void PwStream::onParamChanged(std::uint32_t id, const spa_pod *param)
{
    if (id != SPA_PARAM_Format || !param)
        return;
    spa_audio_info_raw info{};
    if (spa_format_audio_raw_parse(param, &info) < 0)
        return;
    std::lock_guard data(mutex_);
    status_.negotiatedRate = info.rate;
    if (linked_ && board_)
        board_->publish(ticket_, status_);
}

void PwStream::onIoChanged(std::uint32_t id, void *area)
{
    if (id != SPA_IO_Position)
        return;
    std::lock_guard data(mutex_);
    position_ = static_cast<spa_io_position *>(area);
}

void PwStream::onProcess()
{
    std::lock_guard data(mutex_);
    lastCycle_ = Clock::now();
    bool changed = false;
    pw_time t{};
    if (pw_stream_get_time_n(stream_, &t, sizeof t) == 0 && t.rate.num > 0 &&
        status_.graphRate != t.rate.denom / t.rate.num) {
        status_.graphRate = t.rate.denom / t.rate.num;
        changed = true;
    }
    if (const spa_io_position *p = position_) {
        if (status_.quantum != p->clock.duration) {
            status_.quantum = static_cast<std::uint32_t>(p->clock.duration);
            changed = true;
        }
        const std::size_t n = strnlen(p->clock.name, sizeof p->clock.name);
        if (status_.clockName.compare(0, std::string::npos, p->clock.name, n) != 0) {
            status_.clockName.assign(p->clock.name, n);
            changed = true;
        }
    }
    if (changed && linked_ && board_)
        board_->publish(ticket_, status_); // rarely: the graph was set up anew
    if (linked_) {
        process();
        return;
    }
    // Not (or no longer) ours to use: keep the stream's buffers moving.
    while (pw_buffer *b = pw_stream_dequeue_buffer(stream_)) {
        if (capture_)
            pw_stream_queue_buffer(stream_, b);
        else
            queuePlayback(b, 0, cycleFrames(b));
    }
}

void PwStream::setActive(bool active)
{
    if (active_ == active || !stream_)
        return;
    active_ = active;
    pw_stream_set_active(stream_, active);
    std::lock_guard data(mutex_);
    lastCycle_ = Clock::now(); // the watch starts afresh
}

void PwStream::onTimer()
{
    watch();
    if (phase_ != Phase::Linked || !active_)
        return;
    bool stalled;
    {
        std::lock_guard data(mutex_);
        stalled = Clock::now() - lastCycle_ > std::chrono::milliseconds(kStallMs);
    }
    if (stalled)
        fail(DEVICE_LOST, "no cycles from the server");
}

unsigned PwStream::LatencyFrames(unsigned rate)
{
    unsigned frames = 256;
    while (frames < 8192 && std::uint64_t(frames) * 2 * 48000 <= std::uint64_t(1024) * rate * 3 / 2)
        frames *= 2;
    return frames;
}

std::uint32_t PwStream::cycleFrames(const pw_buffer *b) const
{
    const spa_data &d = b->buffer->datas[0];
    const std::uint32_t room = format_.nBlockAlign ? d.maxsize / format_.nBlockAlign : 0;
    const std::uint64_t want = b->requested ? b->requested : LatencyFrames(format_.nSamplesPerSec);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(want, room));
}

void PwStream::queuePlayback(pw_buffer *b, std::uint32_t filled, std::uint32_t total)
{
    spa_data &d = b->buffer->datas[0];
    const std::uint32_t stride = format_.nBlockAlign;
    if (!d.data || !d.chunk) {
        pw_stream_queue_buffer(stream_, b);
        return;
    }
    if (total > filled)
        std::memset(static_cast<char *>(d.data) + std::size_t(filled) * stride, silenceByte(),
                    std::size_t(total - filled) * stride);
    d.chunk->offset = 0;
    d.chunk->stride = static_cast<std::int32_t>(stride);
    d.chunk->size = total * stride;
    b->size = total;
    pw_stream_queue_buffer(stream_, b);
}

} // namespace audio::pipewire
