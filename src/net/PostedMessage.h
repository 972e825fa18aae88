#pragma once
// Window messages on the Qt event queue. A message is a custom QEvent of type QEvent::User plus
// its offset from WM_USER, posted with QCoreApplication::postEvent, so messages keep their number
// and their posting order. A socket notice packs its notice code in the low word of LParam and its
// Winsock error in the high word, as WSAAsyncSelect does.
#include <QEvent>

#include <cstdint>

constexpr unsigned WM_USER = 1024;
constexpr unsigned kMsgLookupDone = WM_USER;       // 1024: host lookup finished
constexpr unsigned kMsgSocketNotice = WM_USER + 1; // 1025: socket notice
constexpr unsigned kLastMessage = WM_USER + 1023;

struct TMessage {
    unsigned Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

constexpr intptr_t MakeNoticeParam(int notice, int error)
{
    return intptr_t((notice & 0xFFFF) | ((error & 0xFFFF) << 16));
}
constexpr int NoticeOf(intptr_t lParam) { return int(lParam & 0xFFFF); }
constexpr int ErrorOf(intptr_t lParam) { return int((lParam >> 16) & 0xFFFF); }

inline QEvent::Type EventTypeOf(unsigned msg) { return QEvent::Type(QEvent::User + int(msg - WM_USER)); }
inline bool IsMessageEvent(const QEvent *event)
{
    return event->type() >= QEvent::User && event->type() <= QEvent::User + int(kLastMessage - WM_USER);
}

// One queued message. `tag` travels beside the record: it says which socket or lookup the
// message belongs to (stale ones are dropped).
class TPostedMessage : public QEvent {
public:
    explicit TPostedMessage(const TMessage &msg, uint64_t tagValue = 0)
        : QEvent(EventTypeOf(msg.Msg)), message(msg), tag(tagValue)
    {
    }
    TMessage message;
    uint64_t tag;
};

// Thread-safe: QCoreApplication::postEvent may be called from any thread.
void PostMessageTo(QObject *target, unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0,
                   uint64_t tag = 0);
