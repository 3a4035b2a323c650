// Main window: the recording and output volume bars. The recording volume has
// a bar on the analyser page (ScrollBar3, left = 0 %) and one on the sweep
// page (ScrollBar1, top = 100 %); the output volume has the sweep page's
// ScrollBar2 (top = 100 %) and the generator window's analog volume. Each
// pair moves together, drives the system mixer and, for the recording
// volume, decides whether the input counts as calibrated.
#include "app/analyserpage.h"
#include "app/forms.h"
#include "app/mainform.h"
#include "app/sweeppage.h"
#include "audio/mixer/mixer.h"
#include "generator/wavegen.h"

#include <QLabel>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

namespace {

QString Percent(int value) { return QString::number(value) + "%"; }

} // namespace

void TMainForm::connectVolumeBars()
{
    connect(sweepPage_->ScrollBar1, &QScrollBar::valueChanged, this, &TMainForm::ScrollBar1Scroll);
    connect(sweepPage_->ScrollBar2, &QScrollBar::valueChanged, this, &TMainForm::ScrollBar2Scroll);
    connect(analyser_->ScrollBar3, &QScrollBar::valueChanged, this, &TMainForm::ScrollBar3Scroll);
}

void TMainForm::ShowVolumes()
{
    const int in = std::clamp<int>(fields_.InputVolume, 0, 100);
    const int out = std::clamp<int>(fields_.OutputVolume, 0, 100);
    app::SweepPage *sweep = sweepPage_;
    {
        const QSignalBlocker b1(sweep->ScrollBar1), b2(sweep->ScrollBar2), b3(analyser_->ScrollBar3);
        sweep->ScrollBar1->setValue(100 - in);
        analyser_->ScrollBar3->setValue(in);
        sweep->ScrollBar2->setValue(100 - out);
    }
    analyser_->Label3->setText(Percent(in));
    sweep->Label8->setText(Percent(in));
    sweep->Label1->setText(Percent(out));
    if (app::Wavegen)
        app::Wavegen->SetAnalogVolume(out);
    ShowCalibrationState();
}

void TMainForm::setInputVolume(int percent)
{
    fields_.InputVolume = static_cast<std::uint16_t>(std::clamp(percent, 0, 100));
    audio::Mixer().SetRecordVolume(audio::PercentToMixerVolume(fields_.InputVolume), fields_.InputChannel);
    ShowVolumes();
}

void TMainForm::setOutputVolume(int percent)
{
    fields_.OutputVolume = static_cast<std::uint16_t>(std::clamp(percent, 0, 100));
    audio::Mixer().SetMasterVolume(audio::PercentToMixerVolume(fields_.OutputVolume));
    ShowVolumes();
}

void TMainForm::ScrollBar1Scroll(int position) { setInputVolume(100 - position); }

void TMainForm::ScrollBar2Scroll(int position) { setOutputVolume(100 - position); }

void TMainForm::ScrollBar3Scroll(int position) { setInputVolume(position); }

void TMainForm::GeneratorVolumeChanged(int percent) { setOutputVolume(percent); }
