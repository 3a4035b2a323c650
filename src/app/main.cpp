// Program entry: title, the windows in their order, the message loop.
#include "app/forms.h"
#include "app/mainform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Sonalyx");
    if (!app::CreateWindows()) {
        app::DestroyWindows();
        return 1;
    }
    app::MainForm->show();
    int rc = QApplication::exec();
    app::DestroyWindows();
    return rc;
}
