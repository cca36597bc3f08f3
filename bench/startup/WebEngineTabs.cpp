// The smallest Qt WebEngine program that shows the start-up benchmark's
// pages: one window, one tab per address given, nothing else. It tells how
// much of the program's start-up cost is the engine itself.

#include <QApplication>
#include <QTabWidget>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTabWidget tabs;
    tabs.setWindowTitle(QStringLiteral("Qt WebEngine tabs"));
    tabs.resize(680, 446);
    const QStringList addresses = app.arguments().mid(1);
    for (const QString& address : addresses)
        tabs.addTab(new QWebEngineView(&tabs), address);
    // Shown first and loaded after, as the program does it.
    tabs.show();
    for (int i = 0; i < tabs.count(); ++i)
        static_cast<QWebEngineView*>(tabs.widget(i))->load(QUrl(addresses[i]));
    return app.exec();
}
