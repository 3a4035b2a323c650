#include "audio/pipewire/pipewiremixer.h"

#include "audio/pipewire/pipewireconnection.h"
#include "audio/soundinterface.h"

#include <pipewire/pipewire.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>

#include <QObject>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace audio::pipewire {

namespace {

constexpr std::uint32_t kVolumeControl = 1;
constexpr std::uint32_t kSourceLine = 0x1000;
constexpr std::uint32_t kMaxChannels = 64;
// Longest wait for the node's volumes after opening.
constexpr int kPropsWaitMs = 1000;

} // namespace

std::uint32_t MixerValueOfVolume(float volume)
{
    if (!(volume > 0.0f))
        return 0;
    return static_cast<std::uint32_t>(std::lround(std::min(1.0, std::cbrt(double(volume))) * 65535.0));
}

float VolumeOfMixerValue(std::uint32_t value)
{
    const double v = std::min<std::uint32_t>(value, 65535) / 65535.0;
    return static_cast<float>(v * v * v);
}

namespace {

class PwMixer final : public MixerDevice, public PwWatcher {
public:
    PwMixer(std::shared_ptr<PwConnection> connection, const PwNode &node)
        : connection_(std::move(connection)), nodeId_(node.id), nodeName_(node.name), description_(node.description)
    {
    }

    ~PwMixer() override
    {
        {
            LoopLock lock(*connection_);
            connection_->removeWatcher(this);
            if (proxy_) {
                spa_hook_remove(&listener_);
                pw_proxy_destroy(proxy_);
            }
        }
        relay_.reset(); // calls still queued for the UI thread go with it
    }

    // Binds the node and reads its volumes (UI thread).
    bool open()
    {
        LoopLock lock(*connection_);
        if (!connection_->alive() || !connection_->hasNode(nodeId_))
            return false;
        proxy_ = static_cast<pw_proxy *>(
            pw_registry_bind(connection_->registry(), nodeId_, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
        if (!proxy_)
            return false;
        events_.version = PW_VERSION_NODE_EVENTS;
        events_.param = [](void *data, int, std::uint32_t id, std::uint32_t, std::uint32_t, const spa_pod *param) {
            static_cast<PwMixer *>(data)->onParam(id, param);
        };
        pw_node_add_listener(reinterpret_cast<pw_node *>(proxy_), &listener_, &events_, this);
        std::uint32_t ids[] = {SPA_PARAM_Props};
        pw_node_subscribe_params(reinterpret_cast<pw_node *>(proxy_), ids, 1);
        pw_node_enum_params(reinterpret_cast<pw_node *>(proxy_), 0, SPA_PARAM_Props, 0, UINT32_MAX, nullptr);
        connection_->addWatcher(this);
        connection_->roundtrip();
        for (int waited = 0; volumes_.empty() && !lost_ && waited < kPropsWaitMs; waited += 10) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            lock.relock();
        }
        return !volumes_.empty() && !lost_;
    }

    std::string name() const override { return "PipeWire " + nodeName_ + " capture"; }
    int destinations() override { return isLost() ? 0 : 1; }

    int lineInfoByDestination(int destination, MixerLine &line) override
    {
        if (isLost())
            return MIXERR_DEVICE_LOST;
        if (destination != 0)
            return MMSYSERR_INVALPARAM;
        line = MixerLine{};
        line.lineId = 0;
        line.flags = MIXERLINE_LINEF_ACTIVE;
        line.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        line.channels = 2;
        line.connections = 1;
        line.shortName = line.name = "Capture";
        return MMSYSERR_NOERROR;
    }

    int lineInfoBySource(int destination, int source, MixerLine &line) override
    {
        if (isLost())
            return MIXERR_DEVICE_LOST;
        if (destination != 0 || source != 0)
            return MMSYSERR_INVALPARAM;
        line = MixerLine{};
        line.lineId = kSourceLine;
        line.flags = MIXERLINE_LINEF_ACTIVE;
        line.componentType = MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
        line.channels = 2;
        line.controls = 1;
        line.shortName = line.name = description_;
        return MMSYSERR_NOERROR;
    }

    int lineControls(std::uint32_t lineId, std::vector<MixerControlRecord> &controls) override
    {
        if (isLost())
            return MIXERR_DEVICE_LOST;
        controls.clear();
        if (lineId == 0)
            return MMSYSERR_NOERROR;
        if (lineId != kSourceLine)
            return MMSYSERR_INVALPARAM;
        MixerControlRecord c;
        c.controlId = kVolumeControl;
        c.controlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
        c.shortName = c.name = "Volume";
        controls.push_back(c);
        return MMSYSERR_NOERROR;
    }

    int getValues(std::uint32_t id, std::vector<std::uint32_t> &values) override
    {
        LoopLock lock(*connection_);
        if (lost_)
            return MIXERR_DEVICE_LOST;
        if (id != kVolumeControl)
            return MMSYSERR_INVALPARAM;
        values = {valueOf(volumes_)};
        return MMSYSERR_NOERROR;
    }

    int getListTexts(std::uint32_t, std::vector<std::string> &) override
    {
        return isLost() ? MIXERR_DEVICE_LOST : MMSYSERR_INVALPARAM;
    }

    int setValues(std::uint32_t id, const std::vector<std::uint32_t> &values) override
    {
        LoopLock lock(*connection_);
        if (lost_)
            return MIXERR_DEVICE_LOST;
        if (id != kVolumeControl || values.empty())
            return MMSYSERR_INVALPARAM;
        std::vector<float> wanted;
        if (!foreign_.empty() && values[0] == valueOf(foreign_)) {
            wanted = foreign_; // what was set elsewhere, exactly
        } else {
            const float target = VolumeOfMixerValue(values[0]);
            for (const float b : balance_)
                wanted.push_back(target * b);
        }
        std::uint8_t buffer[1024];
        spa_pod_builder b{};
        spa_pod_builder_init(&b, buffer, sizeof buffer);
        spa_pod_frame f{};
        spa_pod_builder_push_object(&b, &f, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
        spa_pod_builder_prop(&b, SPA_PROP_channelVolumes, 0);
        spa_pod_builder_array(&b, sizeof(float), SPA_TYPE_Float, static_cast<std::uint32_t>(wanted.size()),
                              wanted.data());
        const auto *pod = static_cast<const spa_pod *>(spa_pod_builder_pop(&b, &f));
        if (pw_node_set_param(reinterpret_cast<pw_node *>(proxy_), SPA_PARAM_Props, 0, pod) < 0)
            return MMSYSERR_ERROR;
        if (!connection_->roundtrip())
            return lost_ ? MIXERR_DEVICE_LOST : MMSYSERR_ERROR;
        // Told at once (the server's echo of it changes nothing more).
        if (take(wanted, false))
            post(MM_MIXM_CONTROL_CHANGE, kVolumeControl);
        return MMSYSERR_NOERROR;
    }

    void setNotify(Notify notify) override { notify_ = std::move(notify); }

    void graphChanged() override
    {
        if (!lost_ && (!connection_->alive() || !connection_->hasNode(nodeId_))) {
            lost_ = true;
            post(MM_MIXM_DEVICE_LOST, 0);
        }
    }

private:
    bool isLost()
    {
        LoopLock lock(*connection_);
        return lost_;
    }

    static std::uint32_t valueOf(const std::vector<float> &volumes)
    {
        return volumes.empty() ? 0 : MixerValueOfVolume(*std::max_element(volumes.begin(), volumes.end()));
    }

    // Takes new channel volumes (loop lock held); whether they changed.
    bool take(const std::vector<float> &volumes, bool fromElsewhere)
    {
        if (volumes == volumes_)
            return false;
        volumes_ = volumes;
        const float loudest = *std::max_element(volumes.begin(), volumes.end());
        if (loudest > 0.0f) {
            balance_.clear();
            for (const float v : volumes)
                balance_.push_back(v / loudest);
        } else if (balance_.size() != volumes.size()) {
            balance_.assign(volumes.size(), 1.0f);
        }
        if (fromElsewhere)
            foreign_ = volumes;
        return true;
    }

    // Loop thread, loop lock held.
    void onParam(std::uint32_t id, const spa_pod *param)
    {
        if (id != SPA_PARAM_Props || !param || !spa_pod_is_object(param))
            return;
        const spa_pod_prop *prop = spa_pod_find_prop(param, nullptr, SPA_PROP_channelVolumes);
        if (!prop)
            return;
        float values[kMaxChannels];
        const std::uint32_t n = spa_pod_copy_array(&prop->value, SPA_TYPE_Float, values, kMaxChannels);
        if (n == 0)
            return;
        const bool first = volumes_.empty();
        if (take(std::vector<float>(values, values + n), true) && !first)
            post(MM_MIXM_CONTROL_CHANGE, kVolumeControl);
        connection_->signal();
    }

    // Hands a notification to the UI thread (loop lock held).
    void post(unsigned message, std::uint32_t id)
    {
        QMetaObject::invokeMethod(
            relay_.get(),
            [this, message, id] {
                if (notify_)
                    notify_(message, id);
            },
            Qt::QueuedConnection);
    }

    const std::shared_ptr<PwConnection> connection_;
    const std::uint32_t nodeId_;
    const std::string nodeName_, description_;
    std::unique_ptr<QObject> relay_ = std::make_unique<QObject>(); // lives on the UI thread
    Notify notify_;                                                // UI thread

    // Loop lock:
    pw_proxy *proxy_ = nullptr;
    spa_hook listener_{};
    pw_node_events events_{};
    bool lost_ = false;
    std::vector<float> volumes_; // as the server last told, or as written
    std::vector<float> balance_; // each channel against the loudest
    std::vector<float> foreign_; // as last set by someone else
};

} // namespace

std::unique_ptr<MixerDevice> OpenPipeWireMixer(std::shared_ptr<PwConnection> connection, const PwNode &node)
{
    if (!connection || node.sink)
        return nullptr;
    auto mixer = std::make_unique<PwMixer>(std::move(connection), node);
    if (!mixer->open())
        return nullptr;
    return mixer;
}

} // namespace audio::pipewire
