#include "slotspy.h"

#include <QMetaMethod>
#include <QObject>

// The toolkit exports this hook without a public header; the layout is the
// one of its private qobject_p.h for Qt 5.
struct QSignalSpyCallbackSet
{
    typedef void (*BeginCallback)(QObject *caller, int signal_or_method_index, void **argv);
    typedef void (*EndCallback)(QObject *caller, int signal_or_method_index);
    BeginCallback signal_begin_callback, slot_begin_callback;
    EndCallback signal_end_callback, slot_end_callback;
};
Q_CORE_EXPORT void qt_register_signal_spy_callbacks(QSignalSpyCallbackSet *callback_set);

namespace {
SlotSpy *activeSpy = nullptr;
QSignalSpyCallbackSet callbacks = {nullptr, nullptr, nullptr, nullptr};
} // namespace

SlotSpy::SlotSpy(QObject *receiver) : receiver(receiver)
{
    activeSpy = this;
    callbacks.slot_begin_callback = &SlotSpy::slotBegins;
    qt_register_signal_spy_callbacks(&callbacks);
}

SlotSpy::~SlotSpy()
{
    qt_register_signal_spy_callbacks(nullptr);
    activeSpy = nullptr;
}

void SlotSpy::slotBegins(QObject *receiver, int methodIndex, void **)
{
    if (activeSpy && receiver == activeSpy->receiver)
        activeSpy->recorded.append(receiver->metaObject()->method(methodIndex).methodSignature());
}
