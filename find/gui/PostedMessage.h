#pragma once

#include <QEvent>

namespace lurvik {

// A message a worker thread posts to its own window (a search's 2029 and 2030), carried as one
// registered event type with the message number and its wParam. tag lets a window tell messages
// of its current search from those an earlier one left in the queue.
class PostedMessage : public QEvent {
public:
    PostedMessage(int message, int wParam, int tag = 0)
        : QEvent(type()), message(message), wParam(wParam), tag(tag) {}

    static QEvent::Type type() {
        static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
        return registered;
    }

    const int message;
    const int wParam;
    const int tag;
};

} // namespace lurvik
