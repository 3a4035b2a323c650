// The About box: product name and version.
#pragma once

#include <QDialog>

class QLabel;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
    void SetLanguage(char language);

    QLabel *ProductName = nullptr;
    QLabel *Version = nullptr;
    QLabel *Comments = nullptr;
};
