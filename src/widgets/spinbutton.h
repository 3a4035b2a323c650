// A pair of small up/down arrow buttons in one control, as the diagram's
// level buttons use them: the upper half clicks "up", the lower half "down".
// With the keyboard focus, the Up and Down keys click them.
#pragma once

#include <QWidget>

class SpinButton : public QWidget {
    Q_OBJECT
public:
    explicit SpinButton(QWidget *parent = nullptr);

signals:
    void upClick();
    void downClick();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int pressed_ = 0; // 1 upper half held, -1 lower half held
};
