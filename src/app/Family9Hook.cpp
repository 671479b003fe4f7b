#include "app/Family9Hook.h"

#include "access/SR_517.h"
#include "app/SearchEngine.h"

#include <QPointer>

namespace zadari {

void WireFamily9Search(TSearchEngine& engine, IT517Series& client) {
    IT517Series* c = &client;
    const QPointer<TSearchEngine> guard(&engine);
    engine.family9Search = [c, guard](std::uint16_t port,
                                      const TSearchEngine::TMergeCallback& merge) {
        // The listener outlives this cycle; it must not call into an engine that has gone.
        c->Search(port, [guard, merge](const TDevInfo& record) {
            if (guard)
                merge(record);
        });
    };
}

} // namespace zadari
