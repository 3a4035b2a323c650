#include "help/helpsystem.h"

#include "help/helptopics.h"
#include "help/helpwindow.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QTabWidget>

namespace help {

namespace {

QPointer<THelpWindow> window;
char language = 'D';

QString shortClassName(const QObject *o)
{
    return QString::fromLatin1(o->metaObject()->className()).section("::", -1);
}

// The innermost widget, walking outwards, that a topic documents: a tab
// widget stands for its current page, so the main window's F1 follows the
// page on show.
const Topic *topicFor(const QWidget *w)
{
    for (; w; w = w->parentWidget()) {
        if (const Topic *t = TopicByWindowName(w->objectName()))
            return t;
        if (const Topic *t = TopicByWindowName(shortClassName(w)))
            return t;
        if (const auto *tabs = qobject_cast<const QTabWidget *>(w); tabs && tabs->currentWidget())
            if (const Topic *t = TopicByWindowName(tabs->currentWidget()->objectName()))
                return t;
    }
    return nullptr;
}

void show(const Topic &topic)
{
    // A modal dialog blocks every window but its own children: the help
    // window is lent to it while it runs, so its page can be read and used.
    QWidget *owner = QApplication::activeModalWidget();
    if (owner && owner == window)
        owner = nullptr;
    if (!window) {
        window = new THelpWindow(owner);
        window->SetLanguage(language);
    } else if (window->parentWidget() != owner) {
        const QRect geometry = window->geometry();
        window->setParent(owner, Qt::Window);
        window->setGeometry(geometry);
    }
    window->ShowPage(QString::fromLatin1(topic.page));
    window->show();
    window->raise();
    window->activateWindow();
}

class F1Filter : public QObject {
public:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress || !o->isWidgetType())
            return false;
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->key() != Qt::Key_F1 || k->modifiers() != Qt::NoModifier)
            return false;
        // The first receiver (the focus widget) takes it, so the event never
        // travels on to the window.
        ShowForWidget(static_cast<QWidget *>(o));
        return true;
    }
};

QPointer<F1Filter> filter;

} // namespace

// Receives the helpRequested signals of windows that only know their context.
class HelpRelay : public QObject {
    Q_OBJECT
public slots:
    void onContext(int context) { ShowForWidget(qobject_cast<QWidget *>(sender()), context); }
    void onName(const QString &name)
    {
        if (TopicByName(name))
            ShowTopic(name);
        else
            ShowForWidget(qobject_cast<QWidget *>(sender()));
    }
};

namespace {
HelpRelay *relay()
{
    static HelpRelay r;
    return &r;
}
} // namespace

void Install()
{
    platform::SetHelpHandler([](int context) { ShowContext(context); });
    if (!filter && qApp) {
        filter = new F1Filter;
        qApp->installEventFilter(filter);
    }
}

void Shutdown()
{
    delete window;
    delete filter;
    platform::SetHelpHandler({});
}

void SetLanguage(char l)
{
    language = l;
    if (window)
        window->SetLanguage(l);
}

void ShowContents() { show(ContentsTopic()); }

void ShowTopic(const QString &name)
{
    const Topic *t = TopicByName(name);
    show(t ? *t : ContentsTopic());
}

void ShowContext(int context)
{
    const Topic *t = TopicByContext(context);
    show(t ? *t : ContentsTopic());
}

void ShowForWidget(const QWidget *widget, int context)
{
    const Topic *t = TopicByContext(context);
    if (!t)
        t = topicFor(widget);
    show(t ? *t : ContentsTopic());
}

void ConnectHelpSignal(QObject *w)
{
    const QMetaObject *m = w->metaObject();
    if (m->indexOfSignal("helpRequested(int)") >= 0)
        QObject::connect(w, SIGNAL(helpRequested(int)), relay(), SLOT(onContext(int)), Qt::UniqueConnection);
    if (m->indexOfSignal("helpRequested(QString)") >= 0)
        QObject::connect(w, SIGNAL(helpRequested(QString)), relay(), SLOT(onName(QString)), Qt::UniqueConnection);
}

THelpWindow *Window() { return window; }

void WaitUntilClosed()
{
    if (!window || !window->isVisible())
        return;
    QEventLoop loop;
    QObject::connect(qApp, &QApplication::lastWindowClosed, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace help

#include "helpsystem.moc"
