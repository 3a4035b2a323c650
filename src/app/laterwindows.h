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

SONALYX_LATER_WINDOW(Tmixu, QWidget)       // system mixer

#undef SONALYX_LATER_WINDOW
