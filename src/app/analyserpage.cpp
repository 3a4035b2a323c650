// Analyser page of the main window: entering and leaving the page, its
// FFT size, window and run mode choices.
#include "app/forms.h"
#include "app/mainform.h"
#include "platform/radiogroup.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <algorithm>

using app::MS;

void TMainForm::EnterAnalyserPage()
{
    MS.LeftSpectrum.assign(65536, 0.0f);
    MS.RightSpectrum.assign(65536, 0.0f);
    MS.LeftSum.assign(65536, 0.0f);
    MS.RightSum.assign(65536, 0.0f);
    UpDown1->hide();
    UpDown1->setEnabled(false);
    Label14->hide();
    Label14->setEnabled(false);
    MS.AnalyserRunning = false;
    RunningGroup->setItemIndex(1);
    FFTwinGroup->setItemIndex(MS.FftWindow);
    int sizeItem = 0;
    for (int i = 0; i < 4; ++i)
        if (MS.FftSize == (2048 << i))
            sizeItem = i;
    FFTpointsgroup->setItemIndex(sizeItem);
    ShowDeviceStatus();
    Analyse1->setEnabled(true);
    if (MS.AnalyserRange.LevelMax <= MS.AnalyserRange.LevelMin) {
        MS.AnalyserRange.LevelMax = 0;
        MS.AnalyserRange.LevelMin = -110;
    }
    if (MS.AnalyserRange.FreqMax <= MS.AnalyserRange.FreqMin) {
        MS.AnalyserRange.FreqMin = 10;
        MS.AnalyserRange.FreqMax = 24000;
    }
    MeasureLeft->setChecked(true);
    MeasureRight->setChecked(true);
    MS.MeasureLeftOn = MS.MeasureRightOn = true;
    ShowCalibrationState();
    MS.AnalyserPageShown = true;
}

void TMainForm::LeaveAnalyserPage()
{
    MS.LeftSpectrum = {};
    MS.RightSpectrum = {};
    MS.LeftSum = {};
    MS.RightSum = {};
    MS.AnalyserPageShown = false;
    MS.AnalyserRunning = false;
}

void TMainForm::FFTpointsgroupClick(int index)
{
    MS.FftSize = index >= 0 && index <= 3 ? (2048 << index) : 2048;
    if (!MS.LeftSum.empty()) {
        std::fill(MS.LeftSum.begin(), MS.LeftSum.end(), 0.0f);
        std::fill(MS.RightSum.begin(), MS.RightSum.end(), 0.0f);
    }
}

void TMainForm::FFTwinGroupClick(int index)
{
    if (index >= 0 && index <= 8)
        MS.FftWindow = index;
}

void TMainForm::RunningGroupClick(int index)
{
    MS.RunMode = index;
    if (index == 2) {
        MS.Averages = 1;
        AverVal->setValue(1);
    }
}
