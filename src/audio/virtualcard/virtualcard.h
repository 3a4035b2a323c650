// Internal: one virtual loopback card - its input and output side, the
// device-under-test model between them, and the thread that paces the card
// and delivers completions. Reached through VirtualCardBackend's devices.
//
// Threads: the open/prepare/add/write/reset/close calls come from the UI
// thread (output calls also from inside the output callback); the card's own
// thread moves the samples, posts MM_WIM_DATA for full input buffers and calls
// the output callback for played buffers. One mutex guards the state; it is
// never held while the output callback runs.
#pragma once

#include "audio/virtualcard/deviceundertest.h"
#include "audio/virtualcard/loopbacktestsignal.h"
#include "audio/soundinterface.h"
#include "audio/virtualcard/virtualcardconfig.h"
#include "audio/virtualcard/virtualmixer.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace audio {

class VirtualCard : public std::enable_shared_from_this<VirtualCard> {
public:
    // A card with its thread running. The thread holds the card too, so the
    // card stays while its thread runs in it: when the last reference handed
    // out here goes - also on the card's own thread, from inside an output
    // callback - the thread is told to end (and joined where that is not
    // its own thread), and the card goes with the thread's reference.
    static std::shared_ptr<VirtualCard> Create(const VirtualCardConfig &config, int number);
    VirtualCard(const VirtualCardConfig &config, int number); // use Create
    ~VirtualCard();
    VirtualCard(const VirtualCard &) = delete;
    VirtualCard &operator=(const VirtualCard &) = delete;

    const std::string &name() const { return name_; }
    // The card's mixer; its recording volume scales the input.
    const std::shared_ptr<VirtualMixer> &mixer() const { return mixer_; }
    int query(const WaveFormat &format) const;
    int prepare(WaveHeader &h, bool input);
    int unprepare(WaveHeader &h);

    int openInput(const WaveFormat &format, QObject *target);
    int inputAdd(WaveHeader &h);
    int inputStart();
    int inputReset();
    int inputClose();
    void inputDestroy(); // closes whatever state the device is in, posting nothing

    int openOutput(const WaveFormat &format, OutputCallback callback);
    int outputPause();
    int outputRestart();
    int outputWrite(WaveHeader &h);
    int outputReset();
    int outputClose();
    void outputDestroy();
    // Frames taken from the output buffers since the output was opened.
    std::uint64_t outputPosition() const;
    // Where the first frame recorded since inputStart() and the first frame
    // played since the open lie on the card's clock: its frame count, which
    // moves the output and the input in step. The card adds no offset of
    // its own: an output frame reaches the inputs in the frame it is played
    // in, DELAY (and DUTDELAY) frames later. MMSYSERR_NOTSUPPORTED before
    // the first frame.
    int inputStartTime(StreamStart &start) const;
    int outputStartTime(StreamStart &start) const;

private:
    static constexpr int kQueue = 32;
    using Clock = std::chrono::steady_clock;

    struct Queue {
        WaveHeader *items[kQueue] = {};
        int head = 0, count = 0;
        bool push(WaveHeader *h)
        {
            if (count == kQueue)
                return false;
            items[(head + count++) % kQueue] = h;
            return true;
        }
        WaveHeader *front() const { return count ? items[head] : nullptr; }
        WaveHeader *pop()
        {
            WaveHeader *h = items[head];
            head = (head + 1) % kQueue;
            --count;
            return h;
        }
    };

    void run();
    // Ends the thread: joined from another thread, left to end by itself on its own.
    void shutdown();
    // Open refused: a format the card does not take, a vanished card, or a
    // format it was told to fail. Lock held.
    int refuseOpen(const WaveFormat &format) const;
    // The card goes away: queued capture buffers come back with DEVICE_LOST,
    // playing buffers come back, and nothing opens or queues any more. Lock held.
    void vanish();
    // Processes up to `frames` frames of the card clock; returns the number done.
    long long process(long long frames, bool recording, std::unique_lock<std::mutex> &lock);
    void nextOutputFrame(double &left, double &right);
    void completeOutput(WaveHeader *h);
    void callOutputCallbacks(std::unique_lock<std::mutex> &lock);
    void waitForCallbacks(std::unique_lock<std::mutex> &lock);

    const VirtualCardConfig config_;
    const std::string name_;
    const std::shared_ptr<VirtualMixer> mixer_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;   // card thread: something changed
    std::condition_variable idle_;   // callers: callbacks finished
    bool quit_ = false;

    // Input side.
    bool inOpen_ = false;
    bool inStarted_ = false;
    WaveFormat inFormat_;
    QObject *inTarget_ = nullptr;
    Queue inQueue_;

    // Output side.
    bool outOpen_ = false;
    bool outPaused_ = false;
    WaveFormat outFormat_;
    OutputCallback outCallback_;
    Queue outQueue_;
    std::uint32_t outPos_ = 0;       // byte position in the front buffer
    std::uint32_t outLoopsLeft_ = 0; // plays of the front buffer still due
    std::uint64_t outPlayed_ = 0;    // frames taken from the buffers since open
    double outAcc_ = 0.0;            // fractional output frames when the rates differ
    double outLeft_ = 0.0, outRight_ = 0.0; // last output frame taken
    WaveHeader *done_[2 * kQueue] = {};     // played buffers awaiting their callback
    int doneCount_ = 0;
    std::thread::id callbackThread_; // the thread running output callbacks, if any

    // Card clock: frames processed since the anchor time at the clock rate.
    bool clockRecording_ = false;
    double clockRate_ = 0.0;
    bool reanchor_ = true;
    Clock::time_point anchor_;
    long long clockFrames_ = 0;

    // Frames of the card clock since the card was made, and the frames in
    // which the first recorded frame since the start and the first played
    // frame since the open went through it (-1: not yet).
    long long ticks_ = 0;
    long long inStartTick_ = -1, outStartTick_ = -1;

    long long blocksDone_ = 0; // capture blocks delivered
    bool vanished_ = false;

    DeviceUnderTest dut_;
    LoopbackTestSignal signal_;

    std::thread thread_;
};

} // namespace audio
