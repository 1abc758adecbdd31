#ifndef SLOTSPY_H
#define SLOTSPY_H

#include <QByteArrayList>

class QObject;

// Records, while it lives, the signature of every slot of one object that a
// signal reaches through a connection made by name or by signature (the hook
// QtTest's own signal dumper uses). Connections made with function pointers
// do not pass through it.
class SlotSpy
{
public:
    explicit SlotSpy(QObject *receiver);
    ~SlotSpy();
    SlotSpy(const SlotSpy &) = delete;
    SlotSpy &operator=(const SlotSpy &) = delete;

    QByteArrayList calls() const { return recorded; }
    void clear() { recorded.clear(); }

private:
    static void slotBegins(QObject *receiver, int methodIndex, void **arguments);

    QObject *receiver;
    QByteArrayList recorded;
};

#endif // SLOTSPY_H
