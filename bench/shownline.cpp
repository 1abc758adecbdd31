// Linked beside the panel's own entry routine to make a program that writes
// one line on its standard output when its first top-level window is exposed:
// on the offscreen platform there is no display server to watch from outside,
// so startwatch --ready-line waits for that line instead.
#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

#include <unistd.h>

namespace {

class FirstExposure : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && watched->isWindowType() &&
            static_cast<QWindow *>(watched)->isTopLevel()) {
            static const char line[] = "shown\n";
            (void)!write(STDOUT_FILENO, line, sizeof line - 1);
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

// Runs inside the application object's constructor, before the entry routine
// goes on to build the window.
void watchFirstExposure()
{
    QCoreApplication::instance()->installEventFilter(
        new FirstExposure(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchFirstExposure)
