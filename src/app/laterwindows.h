// Windows whose behaviour arrives with later work. Each exists once, is
// created in the program's creation order and follows language changes, so
// the main window can already address it under its own name.
#pragma once

#include <QDialog>
#include <QWidget>

#define SONALYX_LATER_WINDOW(Name, Base)                                                            \
    class Name : public Base {                                                                      \
    public:                                                                                         \
        explicit Name(QWidget *parent = nullptr) : Base(parent) { setObjectName(#Name); }           \
        void SetLanguage(char) {}                                                                   \
    };

SONALYX_LATER_WINDOW(TEichDlg, QDialog)    // calibration
SONALYX_LATER_WINDOW(TKorEdit, QDialog)    // correction file editor
SONALYX_LATER_WINDOW(TDCOffset, QDialog)   // input DC offset

#undef SONALYX_LATER_WINDOW
