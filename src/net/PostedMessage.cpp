#include "net/PostedMessage.h"

#include <QCoreApplication>

void PostMessageTo(QObject *target, unsigned msg, uintptr_t wParam, intptr_t lParam, uint64_t tag)
{
    TMessage record;
    record.Msg = msg;
    record.WParam = wParam;
    record.LParam = lParam;
    QCoreApplication::postEvent(target, new TPostedMessage(record, tag));
}
