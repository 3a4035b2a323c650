// Main window: its side of the system mixer. The recording-source menu
// (Mix01..Mix181 under WaveInChannel1), the input captions of both pages,
// mixer support on or off (MixerSupport1), what the main window sets in the
// mixer each time it is activated, and the mixer's reports of changes made
// elsewhere, which move the volume bars.
#include "app/forms.h"
#include "app/analyserpage.h"
#include "app/mainform.h"
#include "app/sweeppage.h"
#include "audio/devices.h"
#include "audio/mixer/mixer.h"
#include "generator/wavegen.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>

#include <algorithm>

using app::MS;

void TMainForm::connectMixer()
{
    for (int i = 0; i < 19; ++i)
        connect(Mix[i], &QAction::triggered, this, [this, i] { SelectInputChannel(i); });
    connect(MixerSupport1, &QAction::triggered, this, &TMainForm::MixerSupport1Click);
}

void TMainForm::ShowMixerSupport()
{
    audio::MixerControl &mixer = audio::Mixer();
    const bool on = mixer.MixOn();
    MixerSupport1->setText(on ? "Mixer Support ON" : "Mixer Support OFF");
    app::AnalyserPage *a = analyser_;
    app::SweepPage *sw = sweepPage_;
    for (QWidget *w : std::initializer_list<QWidget *>{sw->ScrollBar1, sw->ScrollBar2, a->ScrollBar3, sw->Label1,
                                                       a->Label3, sw->Label8, sw->Label10})
        w->setEnabled(on);
    WaveInChannel1->setEnabled(on);
    if (app::Wavegen)
        app::Wavegen->SetMixerControlsEnabled(on);
    QString name;
    if (on) {
        std::vector<std::string> names;
        std::vector<std::uint32_t> values;
        int selected = 0;
        const int items = mixer.GetRecordSources(names, values, selected);
        const int ch = fields_.InputChannel;
        name = QString::fromStdString(ch >= 0 && ch < items ? names[static_cast<std::size_t>(ch)]
                                                            : mixer.RecordSourceName(ch));
    } else {
        // The program runs on Linux: the desktop's mixer, not the Windows one.
        name = MS.Language == 'D' ? QString::fromUtf8("über System-Mixer") : QStringLiteral("via System Mixer");
    }
    // A mixer's "&" is a character of its name, not a keyboard shortcut.
    a->GroupBox1->setTitle(" Input: " + QString(name).replace('&', "&&") + " ");
    sw->Wobinptxt->setText(" Inp: " + name + " ");
}

void TMainForm::MixerActivate()
{
    audio::MixerControl &mixer = audio::Mixer();
    // 1. reports of the mixer
    mixer.SetHooks({[this] { MixSelInchange(); },
                    [this](const audio::TsrcCtr &c) { MixVolInchange(c); },
                    [this] { MixMasterVolOutchange(); }});
    // 2. only the wave output is heard, at the output volume
    mixer.ResetPlayMixer(audio::PercentToMixerVolume(fields_.OutputVolume));
    // 3. the recording source: the one chosen, or the mixer's own
    makeInChannelRadio();
    if (fields_.InputChannel == -1) {
        std::vector<std::string> names;
        std::vector<std::uint32_t> values;
        int selected = 0;
        fields_.InputChannel = mixer.GetRecordSources(names, values, selected) > 0 ? selected
                                                                                  : std::max(0, mixer.FindLineSource());
    }
    if (fields_.InputChannel >= 0 && fields_.InputChannel < 19)
        SelectInputChannel(fields_.InputChannel);
    ShowMixerSupport();
}

void TMainForm::makeInChannelRadio()
{
    audio::MixerControl &mixer = audio::Mixer();
    std::vector<std::string> names;
    std::vector<std::uint32_t> values;
    int selected = 0;
    int count = mixer.GetRecordSources(names, values, selected);
    if (count == 0) {
        // No source selector: the recording sources themselves.
        count = std::min(mixer.RecordSourceCount(), 19);
        for (int i = 0; i < count; ++i)
            names.push_back(mixer.RecordSourceName(i));
    }
    for (int i = 0; i < 19; ++i) {
        Mix[i]->setVisible(i < count);
        if (i < count)
            Mix[i]->setText(QString::fromStdString(names[static_cast<std::size_t>(i)]).replace('&', "&&"));
        Mix[i]->setChecked(i == fields_.InputChannel);
    }
}

void TMainForm::SelectInputChannel(int i)
{
    if (i < 0 || i >= 19)
        return;
    audio::MixerControl &mixer = audio::Mixer();
    const int got = mixer.SelectRecordSource(i);
    // Without a source selector the sources are chosen by number alone.
    fields_.InputChannel = got >= 0 ? got : (i < mixer.RecordSourceCount() ? i : 0);
    mixer.ClearSourceMask();
    mixer.AddToSourceMask(fields_.InputChannel);
    mixer.SetRecordVolume(audio::PercentToMixerVolume(fields_.InputVolume), fields_.InputChannel);
    makeInChannelRadio();
    ShowMixerSupport();
}

void TMainForm::MixSelInchange()
{
    audio::MixerControl &mixer = audio::Mixer();
    std::vector<std::string> names;
    std::vector<std::uint32_t> values;
    int selected = 0;
    if (mixer.GetRecordSources(names, values, selected) == 0 || selected == fields_.InputChannel)
        return;
    // Another program chose the source: follow it, with that source's volume.
    fields_.InputChannel = selected;
    mixer.ClearSourceMask();
    mixer.AddToSourceMask(selected);
    if (const int v = mixer.GetRecordVolume(selected); v >= 0)
        fields_.InputVolume = static_cast<std::uint16_t>(audio::MixerVolumeToPercent(static_cast<std::uint16_t>(v)));
    makeInChannelRadio();
    ShowMixerSupport();
    ShowVolumes();
}

void TMainForm::MixVolInchange(const audio::TsrcCtr &control)
{
    fields_.InputVolume =
        static_cast<std::uint16_t>(audio::MixerVolumeToPercent(audio::Mixer().GetControlValue(control)));
    ShowVolumes();
}

void TMainForm::MixMasterVolOutchange()
{
    fields_.OutputVolume = static_cast<std::uint16_t>(audio::MixerVolumeToPercent(audio::Mixer().GetMasterVolume()));
    ShowVolumes();
}

void TMainForm::MixerSupport1Click()
{
    audio::MixerControl &mixer = audio::Mixer();
    mixer.SetMixOn(!mixer.MixOn());
    if (mixer.MixOn())
        MixerActivate();
    ShowMixerSupport();
}
